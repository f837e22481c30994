#include "configwrite.h"

#include "transmitter/numberformat.h"
#include "transmitter/sensortable.h"

#include <QRegularExpression>
#include <utility>

namespace quorva::transmitter {

namespace {
// The choice indexes travel through "%i" text and back, unchanged.
int throughText(int index)
{
    return parseInt(QString::asprintf("%i", index));
}

bool rangeTenths(const QString& text, qint32& tenths)
{
    const qint64 tenfold = qint64(parseInt(text)) * 10;
    if (tenfold < kLowestRangeTenths || tenfold > kHighestRangeTenths)
        return false;
    tenths = qint32(tenfold);
    return true;
}
} // namespace

WriteCheck prepareConfigurationWrite(const ConfigurationFields& fields, WriteImage& image,
                                     QString& zeroScratch)
{
    if (fields.zeroText.isEmpty() || fields.lowerText.isEmpty() || fields.upperText.isEmpty())
        return WriteCheck::EmptyField;

    image[Slot::SensorType] = throughText(fields.sensorType);
    image[Slot::SensorError] = throughText(fields.sensorError);
    image[Slot::OutputDirection] = throughText(fields.outputDirection);
    if (fields.sensorType < 0 || fields.sensorError < 0 || fields.outputDirection < 0)
        return WriteCheck::NoSelection;

    // Single precision, as the device's own tools compute it: with "#00"
    // rounding every text the mask admits lands on its exact tenfold.
    const float zero = float(parseFloat(fields.zeroText));
    const float tenfold = zero * 10.0f;
    zeroScratch = formatFloat00(double(tenfold));
    image[Slot::ZeroAdjust] = parseInt(zeroScratch);
    if (image[Slot::ZeroAdjust] < -kZeroAdjustLimit || image[Slot::ZeroAdjust] > kZeroAdjustLimit)
        return WriteCheck::ZeroOutOfRange;

    if (!rangeTenths(fields.lowerText, image[Slot::RangeLower]))
        return WriteCheck::RangeOutOfSpan;
    if (!rangeTenths(fields.upperText, image[Slot::RangeUpper]))
        return WriteCheck::RangeOutOfSpan;
    if (image[Slot::RangeLower] >= image[Slot::RangeUpper])
        return WriteCheck::RangeReversed;
    return WriteCheck::Ready;
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

bool readsBackAsWritten(const WriteImage& sent, const RegisterImage& readBack)
{
    for (int slot : {Slot::ZeroAdjust, Slot::SensorType, Slot::RangeLower, Slot::RangeUpper,
                     Slot::SensorError, Slot::OutputDirection}) {
        if (wordToValue(valueToWord(sent[size_t(slot)])) != readBack[size_t(slot)])
            return false;
    }
    return true;
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
    case WriteCheck::RangeOutOfSpan:
        break;
    }
    return QStringLiteral("Erro: Dado Inválido,Verificar.");
}

} // namespace quorva::transmitter
