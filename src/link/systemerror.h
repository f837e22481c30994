#pragma once

#include <QString>

// The system's errors in the program's own language: the serial layer, the
// files the command line reads and writes and the simulator's link all meet
// them, and a technician reads Portuguese.
namespace quorva::link {

// A system error number in Portuguese; a number without a text of its own
// is named by its number.
QString systemErrorText(int error);
// The error number whose system text (as strerror gives it, in the
// process's locale) `text` is; 0 when it is none.
int errorNumberOfText(const QString& text);

} // namespace quorva::link
