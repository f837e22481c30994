#pragma once

#include <QByteArray>
#include <QString>

// The one way a file the programs save (a commissioning report, an exported
// trend) reaches its name.
namespace quorva::transmitter {

// Writes `bytes` to `path` whole or not at all: a file that did not reach the
// disk entire is discarded unnamed, so whatever held the name before stays as
// it was. False with the system's error number (0 when it named none).
bool saveWhole(const QString& path, const QByteArray& bytes, int* errorNumber);

} // namespace quorva::transmitter
