#pragma once

#include "transmitter/registermap.h"

#include <QString>

// The texts a reading puts on the window, computed from the register image.
namespace quorva::transmitter {

constexpr qint32 kHighestShownFirmware = 150;

QString zeroAdjustText(qint32 tenths);     // "-2,5"
QString rangeValueText(qint32 tenths);     // "-200", "1,5"
QString firmwareText(qint32 hundredths);   // "1,01"; empty above 1,50

struct MeasuredText
{
    QString value;
    QString unit;
};
// For the sensor type the window holds: tenths of °C for the nine sensors, a
// plain integer for pressure and when no type is selected.
MeasuredText measuredValueText(int sensorTypeIndex, qint32 value);

// The activity text after an accepted reading, stepping a four-state arrow.
QString activityText(qint8 counter);
qint8 nextActivityCounter(qint8 counter);
inline constexpr char kReadErrorText[] = "Erro de leitura";

// A short Portuguese text naming a Modbus exception code.
QString exceptionText(int code);

} // namespace quorva::transmitter
