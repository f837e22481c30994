#include "reading.h"

#include "transmitter/numberformat.h"
#include "transmitter/sensortable.h"

namespace quorva::transmitter {

namespace {

// What a reply that did not check out got wrong, for the technician.
QString faultText(link::ReplyFault fault)
{
    switch (fault) {
    case link::ReplyFault::None:
        break;
    case link::ReplyFault::Truncated:
        return QStringLiteral("resposta incompleta");
    case link::ReplyFault::BadCrc:
        return QStringLiteral("CRC inválido");
    case link::ReplyFault::WrongSlave:
        return QStringLiteral("resposta de outro escravo");
    case link::ReplyFault::WrongFunction:
        return QStringLiteral("código de função errado");
    case link::ReplyFault::BadByteCount:
        return QStringLiteral("número de bytes errado");
    case link::ReplyFault::BadEcho:
        return QStringLiteral("eco da escrita não confere");
    case link::ReplyFault::Exception:
        break; // told with its code
    }
    return QString();
}

} // namespace

QString zeroAdjustText(qint32 tenths)
{
    return formatFixed(tenths * 0.1, 4, 1);
}

QString rangeValueText(qint32 tenths)
{
    return quotientText(tenths, 10);
}

QString firmwareText(qint32 hundredths)
{
    if (hundredths > kHighestShownFirmware)
        return QString();
    return formatFixed(hundredths * 0.01, 3, 2);
}

MeasuredText measuredValueText(int sensorTypeIndex, qint32 value)
{
    // The pressure input's unit is a caption; no type selected has none.
    if (!measuredInTenths(sensorTypeIndex))
        return {formatInt(value), unitsForSensorType(sensorTypeIndex).measured, false};
    // From 1000 °C four significant digits would round away the tenth the
    // device sent and show a false one: there the tenths are written exactly.
    if (value <= -kExactTenthsFrom || value >= kExactTenthsFrom) {
        const qint64 magnitude = qAbs(qint64(value));
        return {QStringLiteral("%1%2%3%4")
                    .arg(value < 0 ? QStringLiteral("-") : QString())
                    .arg(magnitude / 10)
                    .arg(kDecimalSeparator)
                    .arg(magnitude % 10),
                QStringLiteral("°C"), true};
    }
    return {formatFixed(value * 0.1, 4, 1), QStringLiteral("°C"), true};
}

QString activityText(qint8 counter)
{
    switch (counter) {
    case 0:
        return QStringLiteral("Leitura efetuada -->>");
    case 1:
        return QStringLiteral("Leitura efetuada        -->>");
    case 2:
        return QStringLiteral("Leitura efetuada                -->>");
    default:
        return QStringLiteral("Leitura efetuada");
    }
}

qint8 nextActivityCounter(qint8 counter)
{
    return counter >= 3 ? 0 : qint8(counter + 1);
}

QString exceptionText(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("* Exceção 1: função ilegal *");
    case 2:
        return QStringLiteral("* Exceção 2: endereço ilegal *");
    case 3:
        return QStringLiteral("* Exceção 3: valor ilegal *");
    case 4:
        return QStringLiteral("* Exceção 4: falha no transmissor *");
    default:
        return QStringLiteral("* Exceção Modbus %1 *").arg(code);
    }
}

QString replyFailureText(const link::TransactionResult& result)
{
    using link::ReplyOutcome;
    switch (result.outcome) {
    case ReplyOutcome::NoReply:
        return QStringLiteral("o transmissor não respondeu (* Falha de comunicação *)");
    case ReplyOutcome::BadReply:
        return QStringLiteral("resposta inválida do transmissor (%1)").arg(faultText(result.fault));
    case ReplyOutcome::Exception:
        return QStringLiteral("o transmissor recusou o pedido %1")
            .arg(exceptionText(result.exceptionCode));
    case ReplyOutcome::LineBusy:
        return QStringLiteral("linha ocupada (chegam bytes sem pedido)");
    case ReplyOutcome::NotSent:
        // Held back until the line came into step, which it did not in time.
        return result.function == link::kWriteMultipleRegisters
                   ? QStringLiteral("o transmissor não responde")
                   : QStringLiteral("leitura não enviada: a linha ainda não está em sincronismo");
    case ReplyOutcome::Reply:
    case ReplyOutcome::ReadFailed:
    case ReplyOutcome::SendFailed:
        break;
    }
    return QString();
}

int shownChoice(qint32 value, int itemCount)
{
    return value >= 0 && value < itemCount ? int(value) : -1;
}

ReadingReport describeReading(const RegisterImage& image)
{
    ReadingReport r;
    const ModelOptions& options = optionsForModel(image[Slot::ModelCode]);
    r.modelCode = image[Slot::ModelCode];
    r.modelOptions = &options;
    r.model = QString::fromUtf8(options.modelName);
    r.firmwareHundredths = image[Slot::Firmware];
    r.firmware = firmwareText(r.firmwareHundredths);
    // The pressure input has no item in the window's group, but it is the
    // device's own type: a copy of its configuration must name it.
    r.sensorTypeIndex = image[Slot::SensorType] == kPressureSensorType
                            ? kPressureSensorType
                            : shownChoice(image[Slot::SensorType], int(kSensorTypes.size()));
    if (r.sensorTypeIndex == kPressureSensorType)
        r.sensorType = QString::fromUtf8(kPressureSensorName);
    else if (r.sensorTypeIndex >= 0)
        r.sensorType = QString::fromUtf8(kSensorTypes[size_t(r.sensorTypeIndex)].name);
    r.zeroTenths = image[Slot::ZeroAdjust];
    r.zeroAdjust = zeroAdjustText(r.zeroTenths);
    r.lowerTenths = image[Slot::RangeLower];
    r.rangeLower = rangeValueText(r.lowerTenths);
    r.upperTenths = image[Slot::RangeUpper];
    r.rangeUpper = rangeValueText(r.upperTenths);
    r.sensorErrorIndex =
        shownChoice(image[Slot::SensorError], int(options.sensorErrorItems.size()));
    if (r.sensorErrorIndex >= 0)
        r.sensorError = QString::fromUtf8(options.sensorErrorItems[size_t(r.sensorErrorIndex)]);
    r.outputDirectionIndex =
        shownChoice(image[Slot::OutputDirection], int(options.directionItems.size()));
    if (r.outputDirectionIndex >= 0)
        r.outputDirection =
            QString::fromUtf8(options.directionItems[size_t(r.outputDirectionIndex)]);
    r.measuredRaw = image[Slot::MeasuredValue];
    r.measured = measuredValueText(r.sensorTypeIndex, r.measuredRaw);
    r.settingUnit = unitsForSensorType(r.sensorTypeIndex).setting;
    return r;
}

} // namespace quorva::transmitter
