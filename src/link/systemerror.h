#pragma once

#include <QByteArray>
#include <QString>

// The system's errors in the program's own language: the serial layer, the
// files the command line reads and writes and the simulator's link all meet
// them, and a technician reads Portuguese. And the one way a file the
// programs save (a report, an exported trend) is written.
namespace quorva::link {

// A system error number in Portuguese; a number without a text of its own
// is named by its number.
QString systemErrorText(int error);
// The error number whose system text (as strerror gives it, in the
// process's locale) `text` is; 0 when it is none.
int errorNumberOfText(const QString& text);

// Writes `bytes` to `path` whole or not at all: a file that did not reach the
// disk entire is discarded unnamed, so whatever held the name before stays as
// it was. False with the system's error number (0 when it named none).
bool saveWhole(const QString& path, const QByteArray& bytes, int* errorNumber);

} // namespace quorva::link
