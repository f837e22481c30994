#include "sensortable.h"

namespace quorva::transmitter {

namespace {
constexpr ModelOptions kCurrentOutput{
    {"Nenhum", "Sinal de Saída <  4 mA", "Sinal de Saída > 20 mA"}, {"4 a 20 mA", "20 a 4 mA"}, ""};
constexpr ModelOptions kModelA{kCurrentOutput.sensorErrorItems, kCurrentOutput.directionItems,
                               "TRV-A"};
constexpr ModelOptions kModelB{kCurrentOutput.sensorErrorItems, kCurrentOutput.directionItems,
                               "TRV-B"};
constexpr ModelOptions kModelC{{"Nenhum", "Sinal de Saída Mínimo", "Sinal de Saída Máximo"},
                               {"0 a 10 V", "10 a 0 V"},
                               "TRV-C"};
} // namespace

QStringList sensorTypeNames()
{
    QStringList names;
    for (const SensorRange& sensor : kSensorTypes)
        names << QString::fromUtf8(sensor.name);
    return names;
}

UnitCaptions unitsForSensorType(int index)
{
    if (index == kPressureSensorType)
        return {QStringLiteral("Pressão"), QString()};
    if (index == kNoSensorType)
        return {};
    return {QStringLiteral("°C"), QStringLiteral("°C")};
}

const SensorRange* sensorRangeFor(int index)
{
    if (index < 0 || index >= int(kSensorTypes.size()))
        return nullptr;
    return &kSensorTypes[size_t(index)];
}

bool rangeCaptionsFor(int index, RangeCaptions& captions)
{
    if (index == kNoSensorType) {
        captions = {};
        return true;
    }
    const SensorRange* s = sensorRangeFor(index);
    if (!s)
        return false;
    captions = {QString::fromUtf8(s->rangeText), QString::fromUtf8(s->spanText),
                QString::number(s->lowest), QString::number(s->highest)};
    return true;
}

const ModelOptions& optionsForModel(qint32 modelCode)
{
    switch (modelCode) {
    case 420:
        return kModelA;
    case 421:
        return kModelB;
    case 10:
        return kModelC;
    default:
        return kCurrentOutput;
    }
}

} // namespace quorva::transmitter
