#pragma once

#include <QString>
#include <stdexcept>

// Number texts with the Brazilian conventions the window is written for:
// a decimal comma and no thousands separator, whatever the machine's locale.
namespace quorva::transmitter {

constexpr QChar kDecimalSeparator = u',';

// Raised by the text-to-number conversions on text that is not a number.
class ConversionError : public std::runtime_error
{
public:
    explicit ConversionError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

QString formatInt(qint64 value);
// Fixed text: rounded to `precision` significant digits, then written with
// exactly `digits` decimals (1234.6 at 4 and 1 gives "1235,0").
QString formatFixed(double value, int precision, int digits);
// value / divisor as a real quotient, shortest text, no trailing zeros ("-200", "1,5").
QString quotientText(qint64 value, int divisor);
// The pattern "#00": rounded to a whole number, at least two digits.
QString formatFloat00(double value);
// Whole number, optional sign, surrounding blanks allowed; 32-bit range.
int parseInt(const QString& text);
// Decimal comma, optional sign and exponent, surrounding blanks allowed.
double parseFloat(const QString& text);

} // namespace quorva::transmitter
