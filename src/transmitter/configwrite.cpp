#include "configwrite.h"

#include "transmitter/configfields.h"
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

FieldRefusal refusalOf(int slot, WriteCheck reason)
{
    return {slot, reason, refusalMessage(reason)};
}

bool isChoice(const ConfigurationField& field)
{
    return field.format == FieldFormat::SensorType || field.format == FieldFormat::ModelOption;
}

// A field's register value for a text of the command line or a plan; none,
// with the refusal added to `refused`, when the text is no value of it.
std::optional<qint64> valueOfText(const ConfigurationField& field, const QString& text,
                                  std::vector<FieldRefusal>& refused)
{
    std::optional<qint64> value;
    if (isChoice(field)) {
        value = resolveChoice(text, choiceNames(field));
    } else if (field.format == FieldFormat::ZeroTenths) {
        QString zero = QString(text).replace(u'.', kDecimalSeparator);
        // A whole number of degrees is typed without its tenth: 5 is 5,0.
        static const QRegularExpression whole(QStringLiteral("^\\s*[-+]?[0-9]+\\s*$"));
        if (whole.match(zero).hasMatch())
            zero = zero.trimmed() + QStringLiteral(",0");
        QString scratch;
        if (isZeroFieldText(zero) || isZeroFieldText(zero.trimmed()))
            value = zeroAdjustTenths(zero, scratch);
    } else {
        try {
            value = rangeValueTenths(text);
        } catch (const ConversionError& e) {
            refused.push_back({field.slot, WriteCheck::NotUnderstood, e.message()});
            return std::nullopt;
        }
    }
    if (!value)
        refused.push_back(refusalOf(field.slot, WriteCheck::NotUnderstood));
    return value;
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

bool PreparedWrite::accepted(bool force) const
{
    return std::all_of(refusals.begin(), refusals.end(),
                       [force](const FieldRefusal& r) { return force && r.forceable(); });
}

const FieldRefusal* PreparedWrite::firstRefusal() const
{
    const auto stops = std::find_if(refusals.begin(), refusals.end(),
                                    [](const FieldRefusal& r) { return !r.forceable(); });
    return stops == refusals.end() ? nullptr : &*stops;
}

QStringList PreparedWrite::limitsCrossed() const
{
    QStringList words;
    for (const FieldRefusal& r : refusals) {
        if (r.forceable())
            words << r.words;
    }
    return words;
}

PreparedWrite prepareEditedWrite(const ConfigurationEdit& edit, const RegisterImage* device)
{
    PreparedWrite w;
    std::array<bool, kWriteRegisterCount> known{};
    for (int slot = Slot::ZeroAdjust; slot <= Slot::OutputDirection; ++slot) {
        const std::optional<qint64>& given = edit.values.at(size_t(slot));
        if (given) {
            w.image[size_t(slot)] = qint32(*given);
            WriteCheck check = checkAlone(slot, *given);
            if (check == WriteCheck::Ready && slot == Slot::SensorType &&
                *given == kPressureSensorType && device &&
                (*device)[size_t(slot)] != kPressureSensorType)
                check = WriteCheck::SensorKindDiffers;
            if (check != WriteCheck::Ready)
                w.refusals.push_back(refusalOf(slot, check));
        } else if (device) {
            w.image[size_t(slot)] = (*device)[size_t(slot)];
        }
        known[size_t(slot)] = given || device;
    }
    const bool rangeEdited = edit.values[Slot::SensorType] || edit.values[Slot::RangeLower] ||
                             edit.values[Slot::RangeUpper];
    // The range as a whole, once its own fields stand: a zero or a choice
    // refused beside it does not hide what is wrong with it.
    const bool rangeRefused = std::any_of(w.refusals.begin(), w.refusals.end(), [](const auto& r) {
        return r.slot == Slot::SensorType || r.slot == Slot::RangeLower ||
               r.slot == Slot::RangeUpper;
    });
    if (rangeRefused || !rangeEdited || !known[Slot::RangeLower] || !known[Slot::RangeUpper])
        return w;
    // Either value may be the wrong one; the upper one is named, as the
    // span's limit is.
    if (w.image[Slot::RangeLower] >= w.image[Slot::RangeUpper]) {
        w.refusals.push_back(refusalOf(Slot::RangeUpper, WriteCheck::RangeReversed));
    } else if (known[Slot::SensorType]) {
        const std::vector<FieldRefusal> crossed = sensorLimitsCrossed(w.image);
        w.refusals.insert(w.refusals.end(), crossed.begin(), crossed.end());
    }
    return w;
}

PreparedWrite prepareTextEdit(const FieldTexts& texts, ConfigurationEdit& edit)
{
    std::vector<FieldRefusal> notUnderstood;
    // Choices first: a word not understood is told before a number's form.
    for (const bool choices : {true, false}) {
        for (const ConfigurationField& field : kConfigurationFields) {
            const QString& text = texts.at(size_t(field.slot));
            if (text.isEmpty() || isChoice(field) != choices)
                continue;
            edit.values[size_t(field.slot)] = valueOfText(field, text, notUnderstood);
            if (choices)
                edit.choiceTexts[size_t(field.slot)] = text;
        }
    }
    PreparedWrite prepared = prepareEditedWrite(edit, nullptr);
    if (notUnderstood.empty())
        return prepared;
    // The range as a whole is judged once every field is understood.
    for (const FieldRefusal& r : prepared.refusals) {
        if (r.reason != WriteCheck::RangeReversed && !r.forceable())
            notUnderstood.push_back(r);
    }
    prepared.refusals = std::move(notUnderstood);
    return prepared;
}

PreparedWrite prepareConfigurationWrite(const ConfigurationFields& fields, QString& zeroScratch)
{
    if (fields.zeroText.isEmpty() || fields.lowerText.isEmpty() || fields.upperText.isEmpty())
        return {{}, {refusalOf(-1, WriteCheck::EmptyField)}};
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
        if (prepared.firstRefusal())
            break;
        edit.values[size_t(slot)] = convert();
        prepared = prepareEditedWrite(edit, nullptr);
    }
    return prepared;
}

std::vector<FieldRefusal> sensorLimitsCrossed(const WriteImage& image)
{
    const SensorRange* sensor = sensorRangeFor(image[Slot::SensorType]);
    if (!sensor)
        return {};
    std::vector<FieldRefusal> crossed;
    const QString range = QString::fromUtf8(sensor->rangeText).trimmed();
    for (const int slot : {Slot::RangeLower, Slot::RangeUpper}) {
        const qint32 tenths = image[size_t(slot)];
        if (tenths < sensor->lowest * 10 || tenths > sensor->highest * 10)
            crossed.push_back({slot, WriteCheck::BeyondSensor,
                               QStringLiteral("%1 %2°C fora da Faixa do Sensor (%3).")
                                   .arg(fieldCaption(slot), quotientText(tenths, 10), range)});
    }
    const qint32 span = image[Slot::RangeUpper] - image[Slot::RangeLower];
    if (span < sensor->minimumSpan * 10)
        crossed.push_back({Slot::RangeUpper, WriteCheck::BeyondSensor,
                           QStringLiteral("Faixa de %1°C menor que a Faixa Mínima (%2).")
                               .arg(quotientText(span, 10), QString::fromUtf8(sensor->spanText))});
    return crossed;
}

QString sendAnywayQuestion(const QStringList& limits)
{
    return limits.join(u'\n') + QStringLiteral("\nEnviar assim mesmo?");
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
    case WriteCheck::NotUnderstood:
    case WriteCheck::NoSelection:
    case WriteCheck::SensorKindDiffers:
    case WriteCheck::RangeOutOfSpan:
        break;
    case WriteCheck::BeyondSensor:
        return QStringLiteral("fora dos limites do sensor");
    }
    return QStringLiteral("Erro: Dado Inválido,Verificar.");
}

} // namespace quorva::transmitter
