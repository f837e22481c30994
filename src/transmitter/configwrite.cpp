#include "configwrite.h"

#include "transmitter/numberformat.h"
#include "transmitter/sensortable.h"

#include <QRegularExpression>
#include <algorithm>
#include <functional>
#include <utility>

namespace quorva::transmitter {

namespace {
bool fitsRange(qint64 tenths)
{
    return tenths >= kLowestRangeTenths && tenths <= kHighestRangeTenths;
}

// What a value given for a slot must be, whatever the other slots hold.
WriteCheck checkAlone(int slot, qint64 value)
{
    const auto choice = [value](size_t items) {
        return value >= 0 && value < qint64(items) ? WriteCheck::Ready : WriteCheck::NoSelection;
    };
    switch (slot) {
    case Slot::ZeroAdjust:
        return value < -kZeroAdjustLimit || value > kZeroAdjustLimit ? WriteCheck::ZeroOutOfRange
                                                                     : WriteCheck::Ready;
    case Slot::SensorType:
        return value == kPressureSensorType ? WriteCheck::Ready : choice(kSensorTypes.size());
    case Slot::RangeLower:
    case Slot::RangeUpper:
        return fitsRange(value) ? WriteCheck::Ready : WriteCheck::RangeOutOfSpan;
    case Slot::SensorError:
        return choice(std::tuple_size_v<decltype(ModelOptions::sensorErrorItems)>);
    case Slot::OutputDirection:
        return choice(std::tuple_size_v<decltype(ModelOptions::directionItems)>);
    default:
        return WriteCheck::Ready;
    }
}
} // namespace

qint32 zeroAdjustTenths(const QString& text, QString& scratch)
{
    const float zero = float(parseFloat(text));
    const float tenfold = zero * 10.0f;
    scratch = formatFloat00(double(tenfold));
    return parseInt(scratch);
}

qint64 rangeValueTenths(const QString& text)
{
    return qint64(parseInt(text)) * 10;
}

bool ConfigurationEdit::isEmpty() const
{
    return std::none_of(values.begin(), values.end(), [](const auto& s) { return s.has_value(); });
}

PreparedWrite prepareEditedWrite(const ConfigurationEdit& edit, const RegisterImage* device)
{
    PreparedWrite w;
    std::array<bool, kWriteRegisterCount> known{};
    for (int slot = Slot::ZeroAdjust; slot <= Slot::OutputDirection; ++slot) {
        const std::optional<qint64>& given = edit.values.at(size_t(slot));
        if (given) {
            w.check = checkAlone(slot, *given);
            if (w.check != WriteCheck::Ready) {
                w.refusedSlot = slot;
                return w;
            }
            w.image[size_t(slot)] = qint32(*given);
            if (slot == Slot::SensorType && *given == kPressureSensorType && device &&
                (*device)[size_t(slot)] != kPressureSensorType) {
                w.check = WriteCheck::SensorKindDiffers;
                w.refusedSlot = slot;
                return w;
            }
        } else if (device) {
            w.image[size_t(slot)] = (*device)[size_t(slot)];
        }
        known[size_t(slot)] = given || device;
    }
    const bool rangeEdited = edit.values[Slot::SensorType] || edit.values[Slot::RangeLower] ||
                             edit.values[Slot::RangeUpper];
    if (!rangeEdited || !known[Slot::RangeLower] || !known[Slot::RangeUpper])
        return w;
    if (w.image[Slot::RangeLower] >= w.image[Slot::RangeUpper]) {
        w.check = WriteCheck::RangeReversed;
        w.refusedSlot = Slot::RangeLower;
        return w;
    }
    if (known[Slot::SensorType])
        w.warnings = rangeWarnings(w.image);
    return w;
}

PreparedWrite prepareConfigurationWrite(const ConfigurationFields& fields, QString& zeroScratch)
{
    if (fields.zeroText.isEmpty() || fields.lowerText.isEmpty() || fields.upperText.isEmpty())
        return {WriteCheck::EmptyField, -1, {}, {}};
    ConfigurationEdit edit;
    edit.values[Slot::SensorType] = fields.sensorType;
    edit.values[Slot::SensorError] = fields.sensorError;
    edit.values[Slot::OutputDirection] = fields.outputDirection;
    // The texts are converted in the form's order, each only once what comes
    // before it has passed: a refusal is told before a later text's error.
    const std::pair<int, std::function<qint64()>> texts[] = {
        {Slot::ZeroAdjust, [&] { return zeroAdjustTenths(fields.zeroText, zeroScratch); }},
        {Slot::RangeLower, [&] { return rangeValueTenths(fields.lowerText); }},
        {Slot::RangeUpper, [&] { return rangeValueTenths(fields.upperText); }},
    };
    PreparedWrite prepared = prepareEditedWrite(edit, nullptr);
    for (const auto& [slot, convert] : texts) {
        if (prepared.check != WriteCheck::Ready)
            break;
        edit.values[size_t(slot)] = convert();
        prepared = prepareEditedWrite(edit, nullptr);
    }
    return prepared;
}

QStringList rangeWarnings(const WriteImage& image)
{
    const SensorRange* sensor = sensorRangeFor(image[Slot::SensorType]);
    if (!sensor)
        return {};
    QStringList warnings;
    const QString range = QString::fromUtf8(sensor->rangeText).trimmed();
    for (const auto& [caption, slot] :
         {std::pair{"V. Mín.", Slot::RangeLower}, std::pair{"V. Máx.", Slot::RangeUpper}}) {
        const qint32 tenths = image[size_t(slot)];
        if (tenths < sensor->lowest * 10 || tenths > sensor->highest * 10)
            warnings << QStringLiteral("%1 %2°C fora da Faixa do Sensor (%3).")
                            .arg(QString::fromUtf8(caption), quotientText(tenths, 10), range);
    }
    const qint32 span = image[Slot::RangeUpper] - image[Slot::RangeLower];
    if (span < sensor->minimumSpan * 10)
        warnings << QStringLiteral("Faixa de %1°C menor que a Faixa Mínima (%2).")
                        .arg(quotientText(span, 10), QString::fromUtf8(sensor->spanText));
    return warnings;
}

QString sendAnywayQuestion(const QStringList& warnings)
{
    return warnings.join(u'\n') + QStringLiteral("\nEnviar assim mesmo?");
}

bool isZeroFieldText(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^[-+ 0-9]?[0-9],[0-9]$"));
    return form.match(text).hasMatch();
}

QString refusalMessage(WriteCheck check)
{
    switch (check) {
    case WriteCheck::Ready:
        return QString();
    case WriteCheck::ZeroOutOfRange:
        return QStringLiteral("Erro:Valor deve ser >= -9,9 ou <= 9,9");
    case WriteCheck::RangeReversed:
        return QStringLiteral("Erro: V. Mín. deve ser menor que V. Máx.");
    case WriteCheck::EmptyField:
    case WriteCheck::NoSelection:
    case WriteCheck::SensorKindDiffers:
    case WriteCheck::RangeOutOfSpan:
        break;
    }
    return QStringLiteral("Erro: Dado Inválido,Verificar.");
}

} // namespace quorva::transmitter
