#include "sensortable.h"

namespace quorva::transmitter {

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
    for (const KnownModel& model : kKnownModels) {
        if (model.code == modelCode)
            return model.options;
    }
    return kCurrentOutputOptions;
}

} // namespace quorva::transmitter
