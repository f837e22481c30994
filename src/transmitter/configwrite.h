#pragma once

#include "transmitter/registermap.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

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
    Ready,             // the image holds what is to be sent
    EmptyField,        // a text field is empty
    NotUnderstood,     // a text that is no value of its field (a word, a number's form)
    NoSelection,       // a choice has no selection (it would go out as 65535) or names no item
    ZeroOutOfRange,    // zero adjustment outside -9,9 to 9,9
    RangeOutOfSpan,    // a range value whose tenfold does not fit a register
    RangeReversed,     // the range's lower value not below its upper (its direction is a choice)
    SensorKindDiffers, // the pressure input given to a device that does not hold it
    BeyondSensor,      // a range crossing a limit of its sensor: sent only when confirmed
};

// Why a field stops a write: the field, the reason and the words that say it.
struct FieldRefusal
{
    int slot = -1; // -1: no one field (an empty field of the window)
    WriteCheck reason = WriteCheck::Ready;
    QString words; // refusalMessage(), a conversion's own, or the limit crossed
    // Sending anyway (the window's question, the command line's force) lets it through.
    bool forceable() const { return reason == WriteCheck::BeyondSensor; }
};

constexpr qint32 kZeroAdjustLimit = 99;
// A tenfold that reads back as written: words above 0x8000 read as negative.
constexpr qint64 kLowestRangeTenths = -32767;
constexpr qint64 kHighestRangeTenths = 32768;

// The zero adjustment's register value for a text of the zero field, in
// single precision as the device's own tools compute it: with "#00" rounding
// every text the mask admits lands on its exact tenfold. The rounded text goes
// to `scratch` as soon as it is made. Raises ConversionError.
qint32 zeroAdjustTenths(const QString& text, QString& scratch);
// A range value's register value: the whole number times ten, in 64 bits so
// that a tenfold past a register's span shows. Raises ConversionError.
qint64 rangeValueTenths(const QString& text);

// An edit of the device's configuration in register values, by write-image
// slot (3 to 8): a slot given takes its value, every other slot keeps the word
// the device holds, so a device value no text could give back is never
// reformatted on its way back.
struct ConfigurationEdit
{
    std::array<std::optional<qint64>, kWriteRegisterCount> values{};
    // A choice's text as given: a model's own text ("4 a 20 mA") names its
    // item only on the models that offer it.
    std::array<QString, kWriteRegisterCount> choiceTexts{};
    bool isEmpty() const;
};

// The verdict on a configuration: the image it makes and every field refused.
struct PreparedWrite
{
    WriteImage image{}; // registers 1 to 3, 10 and 11 stay 0, as the window sends them
    // In the order they are told: texts not understood (choices first), the
    // values refused on their own in slot order, then the range as a whole.
    std::vector<FieldRefusal> refusals;

    // Nothing refused; with `force`, the sensor's limits crossed are sent too.
    bool accepted(bool force) const;
    // The first refusal that sending anyway does not lift; null when none.
    const FieldRefusal* firstRefusal() const;
    // The sensor's limits crossed, one message each, to be confirmed.
    QStringList limitsCrossed() const;
};

// The write an edit makes of the device's configuration as read. Every value
// given is checked on its own; the pressure input is taken only by a device
// that already holds it (a pressure transmitter's own configuration copied
// back); the range (reversed, the sensor's limits) is
// checked when the edit gives the sensor type or a range value, so a range
// the device already holds never blocks an unrelated edit. Without the
// device, only what the edit decides alone is checked: a command line
// refuses a bad value before it opens the port.
PreparedWrite prepareEditedWrite(const ConfigurationEdit& edit, const RegisterImage* device);

// The fields given as text, by slot (an empty text: not given), as the
// command line's options and a plan's cells give them: a choice by index,
// item text or keyword; the zero with a comma or a point, or whole ("5" is
// 5,0); the range in whole degrees.
using FieldTexts = std::array<QString, kWriteRegisterCount>;

// The edit `texts` make on top of `edit` (a file's values), and the verdict
// on it as prepareEditedWrite gives it, without the device: every text not
// understood and every value refused on its own is told, the range as a
// whole only when none is.
PreparedWrite prepareTextEdit(const FieldTexts& texts, ConfigurationEdit& edit);

// The window's fields checked as an edit that gives every value: the texts
// are converted in the form's order (zero, the range's lower and upper
// values), each only once
// the choices and the texts before it have passed, so a refusal comes before
// a later text's conversion error. The zero adjustment's rounded text goes to
// `zeroScratch` as soon as it is made. Text that is not a number raises
// ConversionError.
PreparedWrite prepareConfigurationWrite(const ConfigurationFields& fields, QString& zeroScratch);

// The limits of the sensor type that a prepared image's range crosses: a
// value outside the sensor's range, or a span narrower than its minimum. Some
// installations cross them on purpose, so they are confirmed, not refused.
// One refusal per limit, of the range value that crosses it (the span: of
// the upper value); none for pressure or an index without a sensor.
std::vector<FieldRefusal> sensorLimitsCrossed(const WriteImage& image);

// The window's question before sending a range that crosses its sensor's limits.
QString sendAnywayQuestion(const QStringList& limits);

// Whether a text has the zero field's form: an optional sign or digit, a
// digit, a decimal comma and a digit ("-0,5", " 9,9", "15,0").
bool isZeroFieldText(const QString& text);

// The message shown for a refused configuration.
QString refusalMessage(WriteCheck check);

} // namespace quorva::transmitter
