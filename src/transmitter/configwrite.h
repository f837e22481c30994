#pragma once

#include "transmitter/registermap.h"

#include <QString>
#include <QStringList>

// Checks the edited configuration and turns it into the registers written.
namespace quorva::transmitter {

struct ConfigurationFields
{
    QString zeroText;  // "-0,5": one decimal, decimal comma
    QString lowerText; // whole °C
    QString upperText; // whole °C
    int sensorType = -1;
    int sensorError = -1;
    int outputDirection = -1;
};

enum class WriteCheck {
    Ready,          // the image holds what is to be sent
    EmptyField,     // a text field is empty
    NoSelection,    // a choice has no selection (it would go out as 65535)
    ZeroOutOfRange, // zero adjustment outside -9,9 to 9,9
    RangeOutOfSpan, // a range value whose tenfold does not fit a register
    RangeReversed,  // V. Mín. not below V. Máx.: the direction has its own choice
};

constexpr qint32 kZeroAdjustLimit = 99;
// A tenfold that reads back as written: words above 0x8000 read as negative.
constexpr qint64 kLowestRangeTenths = -32767;
constexpr qint64 kHighestRangeTenths = 32768;

// Fills the write image's slots 3 to 8 in the order the checks run; an early
// outcome leaves the slots filled so far. The zero adjustment's rounded text
// goes to `zeroScratch` as soon as it is made. Text that is not a number
// raises ConversionError.
WriteCheck prepareConfigurationWrite(const ConfigurationFields& fields, WriteImage& image,
                                     QString& zeroScratch);

// The limits of the sensor type that a prepared image's range crosses: a
// value outside the sensor's range, or a span narrower than its minimum. Some
// installations cross them on purpose, so they are confirmed, not refused.
// One message per limit; none for pressure or an index without a sensor.
QStringList rangeWarnings(const WriteImage& image);

// The window's question before sending a range with warnings.
QString sendAnywayQuestion(const QStringList& warnings);

// Whether a text has the zero field's form: an optional sign or digit, a
// digit, a decimal comma and a digit ("-0,5", " 9,9", "15,0").
bool isZeroFieldText(const QString& text);

// Whether the registers read back after a write hold what it sent: the
// configuration's six registers, compared as words read back.
bool readsBackAsWritten(const WriteImage& sent, const RegisterImage& readBack);

// The message shown for a refused configuration.
QString refusalMessage(WriteCheck check);

} // namespace quorva::transmitter
