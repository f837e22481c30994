#pragma once

#include "transmitter/sensortable.h"

#include <QList>
#include <QStringList>
#include <optional>

// The configuration's choices by name, as the command line and a file give
// them, and each field's value as the window shows it.
namespace quorva::cli {

// A choice given by index or by one of an item's names (any case).
std::optional<int> resolveChoice(const QString& given, const QList<QStringList>& namesByItem);

// The names each choice is given by, on the command line and in a file:
// the sensor's (and the pressure input's), the texts of every model's items
// and keywords.
QList<QStringList> choiceNames(int slot);

// A configuration value in its field's own units and format, as the window
// shows it: "-0,5", "1370", "Termopar K", "20 a 4 mA".
QString fieldText(int slot, qint32 value, const transmitter::ModelOptions& model);

} // namespace quorva::cli
