#include "numberformat.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace quorva::transmitter {

ConversionError::ConversionError(const QString& message) : std::runtime_error(message.toStdString())
{}

namespace {
QString withComma(QString text)
{
    return text.replace(u'.', kDecimalSeparator);
}
} // namespace

QString formatInt(qint64 value)
{
    return QString::number(value);
}

QString formatFixed(double value, int precision, int digits)
{
    if (!std::isfinite(value))
        return QString::number(value);
    double rounded = 0.0;
    if (value != 0.0) {
        // Keep `precision` significant digits, half away from zero.
        const int exponent = int(std::floor(std::log10(std::fabs(value))));
        const int decimals = precision - 1 - exponent;
        const double scale = std::pow(10.0, decimals);
        rounded = std::round(value * scale) / scale;
    }
    if (rounded == 0.0)
        rounded = 0.0; // no "-0,0"
    return withComma(QString::number(rounded, 'f', digits));
}

QString quotientText(qint64 value, int divisor)
{
    const double quotient = double(value) / double(divisor);
    return withComma(QString::number(quotient, 'g', 15));
}

QString formatFloat00(double value)
{
    const double rounded = std::round(value);
    const qint64 whole = qint64(rounded);
    const QString digits = QStringLiteral("%1").arg(std::llabs(whole), 2, 10, QChar(u'0'));
    return whole < 0 ? QStringLiteral("-") + digits : digits;
}

int parseInt(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    bool ok = pattern.match(text).hasMatch();
    qint64 value = 0;
    if (ok)
        value = text.trimmed().toLongLong(&ok);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw ConversionError(QStringLiteral("'%1' não é um valor inteiro válido").arg(text));
    return int(value);
}

double parseFloat(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*[+-]?(\\d+(,\\d*)?|,\\d+)([eE][+-]?\\d+)?\\s*$"));
    bool ok = pattern.match(text).hasMatch();
    double value = 0.0;
    if (ok) {
        QString c = text.trimmed();
        c.replace(kDecimalSeparator, u'.');
        value = c.toDouble(&ok);
    }
    if (!ok || !std::isfinite(value))
        throw ConversionError(
            QStringLiteral("'%1' não é um valor de ponto flutuante válido").arg(text));
    return value;
}

} // namespace quorva::transmitter
