#pragma once

#include "link/modbusmaster.h"
#include "transmitter/registermap.h"
#include "transmitter/sensortable.h"

#include <QString>

// The texts a reading puts on the window, computed from the register image.
namespace quorva::transmitter {

constexpr qint32 kHighestShownFirmware = 150;

QString zeroAdjustText(qint32 tenths);   // "-2,5"
QString rangeValueText(qint32 tenths);   // "-200", "1,5"
QString firmwareText(qint32 hundredths); // "1,01"; empty above 1,50

struct MeasuredText
{
    QString value;
    QString unit;
    bool inTenths = false; // a temperature in tenths of °C, not a plain integer
};
// For the sensor type the window holds: tenths of °C for the nine sensors, a
// plain integer for pressure and when no type is selected. Below 1000 °C the
// tenths are cut to four significant digits; from there on they are exact.
MeasuredText measuredValueText(int sensorTypeIndex, qint32 value);
constexpr qint32 kExactTenthsFrom = 10000;

// The activity text after an accepted reading, stepping a four-state arrow.
QString activityText(qint8 counter);
qint8 nextActivityCounter(qint8 counter);
inline constexpr char kReadErrorText[] = "Erro de leitura";

// A short Portuguese text naming a Modbus exception code.
QString exceptionText(int code);

// Why the device's answer failed a request, for the technician ("o
// transmissor não respondeu (* Falha de comunicação *)"): empty for a reply
// and for a port that failed, which its caller tells with its own reason.
QString replyFailureText(const link::TransactionResult& result);

// The choice a group of `itemCount` items shows for a register value: the
// value itself when it names an item, otherwise no choice (-1).
int shownChoice(qint32 value, int itemCount);

// Everything one reading shows, in the window's own texts: the one mapping
// from registers to texts, for the window and the command line alike.
struct ReadingReport
{
    qint32 modelCode = 0;
    const ModelOptions* modelOptions = nullptr; // the option lists the model offers
    QString model;
    qint32 firmwareHundredths = 0;
    QString firmware;
    int sensorTypeIndex = -1; // 0 to 8, the pressure input (9), or -1 for none
    QString sensorType;
    qint32 zeroTenths = 0;
    QString zeroAdjust;
    qint32 lowerTenths = 0;
    QString rangeLower;
    qint32 upperTenths = 0;
    QString rangeUpper;
    int sensorErrorIndex = -1;
    QString sensorError;
    int outputDirectionIndex = -1;
    QString outputDirection;
    qint32 measuredRaw = 0;
    MeasuredText measured;
    QString settingUnit; // beside the zero adjustment and the range
};
ReadingReport describeReading(const RegisterImage& image);

} // namespace quorva::transmitter
