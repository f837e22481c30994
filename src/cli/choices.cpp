#include "choices.h"

#include "transmitter/reading.h"
#include "transmitter/registermap.h"

namespace quorva::cli {

using namespace transmitter;

std::optional<int> resolveChoice(const QString& given, const QList<QStringList>& namesByItem)
{
    bool isNumber = false;
    const int n = given.toInt(&isNumber);
    if (isNumber)
        return n >= 0 && n < namesByItem.size() ? std::optional<int>(n) : std::nullopt;
    const QString wanted = given.simplified().toCaseFolded();
    for (int i = 0; i < namesByItem.size(); ++i) {
        for (const QString& name : namesByItem.at(i)) {
            if (name.simplified().toCaseFolded() == wanted)
                return i;
        }
    }
    return std::nullopt;
}

namespace {

// Each item's keywords and its texts in every model, the port not yet open to
// tell which.
template <size_t N>
QList<QStringList> itemNames(std::array<const char*, N> ModelOptions::*items,
                             const QList<QStringList>& keywords)
{
    QList<QStringList> names = keywords;
    for (const KnownModel& model : kKnownModels) {
        for (size_t i = 0; i < N; ++i)
            names[qsizetype(i)] << QString::fromUtf8((model.options.*items)[i]);
    }
    return names;
}

QString sensorTypeText(int index)
{
    if (index == kPressureSensorType)
        return QString::fromUtf8(kPressureSensorName);
    const SensorRange* sensor = sensorRangeFor(index);
    return sensor ? QString::fromUtf8(sensor->name) : QString();
}

} // namespace

QList<QStringList> choiceNames(int slot)
{
    if (slot == Slot::SensorType) {
        QList<QStringList> names;
        for (const SensorRange& sensor : kSensorTypes) {
            const QString name = QString::fromUtf8(sensor.name);
            names << QStringList{name, name.section(u' ', -1)};
        }
        names << QStringList{QString::fromUtf8(kPressureSensorName), QStringLiteral("pressao"),
                             QStringLiteral("pressure")};
        return names;
    }
    if (slot == Slot::SensorError)
        return itemNames(&ModelOptions::sensorErrorItems, {{"none", "nenhum"},
                                                           {"low", "below", "minimo", "mínimo"},
                                                           {"high", "above", "maximo", "máximo"}});
    return itemNames(&ModelOptions::directionItems,
                     {{"rising", "crescente", "direct", "direto"},
                      {"falling", "decrescente", "reverse", "reverso"}});
}

QString fieldText(int slot, qint32 value, const ModelOptions& model)
{
    QString text;
    switch (slot) {
    case Slot::ZeroAdjust:
        return zeroAdjustText(value);
    case Slot::RangeLower:
    case Slot::RangeUpper:
        return rangeValueText(value);
    case Slot::SensorType:
        text = sensorTypeText(value);
        break;
    case Slot::SensorError:
        if (const int i = shownChoice(value, int(model.sensorErrorItems.size())); i >= 0)
            text = QString::fromUtf8(model.sensorErrorItems[size_t(i)]);
        break;
    case Slot::OutputDirection:
        if (const int i = shownChoice(value, int(model.directionItems.size())); i >= 0)
            text = QString::fromUtf8(model.directionItems[size_t(i)]);
        break;
    }
    return text.isEmpty() ? QString::number(value) : text;
}

} // namespace quorva::cli
