#pragma once

#include "cli/output.h"
#include "transmitter/configwrite.h"
#include "transmitter/reading.h"

#include <QJsonObject>

// The JSON of a reading, as `read --json` prints it and `write --from` takes
// it back: the configuration fields' keys in one table, used both ways.
namespace quorva::cli {

// A configuration field by its JSON keys: the register value, exact, and the
// value as people read it (a number in the field's unit, or the item's text).
struct ConfigurationKey
{
    const char* key;
    const char* readable;
    const char* caption; // the window's, naming the field in messages
    int slot;
    qint32 transmitter::ReadingReport::*exact;
    // The item's text; none for a number in tenths (of °C).
    QString transmitter::ReadingReport::*text;
};
inline constexpr ConfigurationKey kConfigurationKeys[] = {
    {"zeroAdjustTenths", "zeroAdjust", "Zero", transmitter::Slot::ZeroAdjust,
     &transmitter::ReadingReport::zeroTenths, nullptr},
    {"sensorTypeIndex", "sensorType", "Tipo de Sensor", transmitter::Slot::SensorType,
     &transmitter::ReadingReport::sensorTypeIndex, &transmitter::ReadingReport::sensorType},
    {"rangeLowerTenths", "rangeLower", "V. Mín.", transmitter::Slot::RangeLower,
     &transmitter::ReadingReport::lowerTenths, nullptr},
    {"rangeUpperTenths", "rangeUpper", "V. Máx.", transmitter::Slot::RangeUpper,
     &transmitter::ReadingReport::upperTenths, nullptr},
    {"sensorErrorIndex", "sensorError", "Erro do Sensor", transmitter::Slot::SensorError,
     &transmitter::ReadingReport::sensorErrorIndex, &transmitter::ReadingReport::sensorError},
    {"outputDirectionIndex", "outputDirection", "Sinal de Saída",
     transmitter::Slot::OutputDirection, &transmitter::ReadingReport::outputDirectionIndex,
     &transmitter::ReadingReport::outputDirection},
};

// A reading with numbers as JSON numbers (23.5, -200, 1.01), texts as texts,
// and the exact register values beside them.
QJsonObject reportJson(const transmitter::ReadingReport& r);

// Adds the configuration fields of a file `read --json` printed, or one
// written by hand, to `edit`: kExitOk, or kExitUsage after its one error line.
int editFromFile(const QString& path, transmitter::ConfigurationEdit& edit, Output& o);

} // namespace quorva::cli
