#include "readingcsv.h"

#include <cstdlib>

namespace quorva::transmitter {

QString isoTimestamp(const QDateTime& time)
{
    const int offsetMinutes = time.offsetFromUtc() / 60;
    const int magnitude = std::abs(offsetMinutes);
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
           QStringLiteral("%1%2:%3")
               .arg(QChar(offsetMinutes < 0 ? u'-' : u'+'))
               .arg(magnitude / 60, 2, 10, QChar(u'0'))
               .arg(magnitude % 60, 2, 10, QChar(u'0'));
}

QString csvField(const QString& text, QChar separator)
{
    if (!text.contains(separator) && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString monitorCsvRow(const QString& stamp, const QString& value, const QString& unit,
                      const QString& error)
{
    return csvField(stamp) + u';' + csvField(value) + u';' + csvField(unit) + u';' +
           csvField(error);
}

} // namespace quorva::transmitter
