#include "reading.h"

#include "transmitter/numberformat.h"
#include "transmitter/sensortable.h"

namespace quorva::transmitter {

QString zeroAdjustText(qint32 tenths)
{
    return FloatToStrF(tenths * 0.1, 4, 1);
}

QString rangeValueText(qint32 tenths)
{
    return QuotientText(tenths, 10);
}

QString firmwareText(qint32 hundredths)
{
    if (hundredths > kHighestShownFirmware)
        return QString();
    return FloatToStrF(hundredths * 0.01, 3, 2);
}

MeasuredText measuredValueText(int sensorTypeIndex, qint32 value)
{
    if (sensorTypeIndex == kPressureSensorType)
        return {IntToStr(value), QStringLiteral("Pressão")};
    if (sensorTypeIndex == kNoSensorType)
        return {IntToStr(value), QString()};
    return {FloatToStrF(value * 0.1, 4, 1), QStringLiteral("°C")};
}

QString activityText(qint8 counter)
{
    switch (counter) {
    case 0: return QStringLiteral("Leitura efetuada -->>");
    case 1: return QStringLiteral("Leitura efetuada        -->>");
    case 2: return QStringLiteral("Leitura efetuada                -->>");
    default: return QStringLiteral("Leitura efetuada");
    }
}

qint8 nextActivityCounter(qint8 counter)
{
    return counter >= 3 ? 0 : qint8(counter + 1);
}

QString exceptionText(int code)
{
    switch (code) {
    case 1: return QStringLiteral("* Exceção 1: função ilegal *");
    case 2: return QStringLiteral("* Exceção 2: endereço ilegal *");
    case 3: return QStringLiteral("* Exceção 3: valor ilegal *");
    case 4: return QStringLiteral("* Exceção 4: falha no transmissor *");
    default: return QStringLiteral("* Exceção Modbus %1 *").arg(code);
    }
}

} // namespace quorva::transmitter
