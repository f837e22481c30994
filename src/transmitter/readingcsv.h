#pragma once

#include <QDateTime>
#include <QString>

// The reading's CSV, one row per reading, as the command line's monitor
// writes it and the window's trend exports it: one format for both faces.
namespace quorva::transmitter {

// A moment as ISO 8601 with its offset from UTC ("2026-12-07T09:15:02.120-03:00"),
// so a log read on another computer or after a change of summer time still
// says when.
QString isoTimestamp(const QDateTime& time = QDateTime::currentDateTime());

// One CSV field: quoted, its quotes doubled, when it holds the separator, a
// quote or a line break, so an error text or a port name stays one field.
QString csvField(const QString& text, QChar separator = u';');

inline constexpr char kMonitorCsvHeader[] = "timestamp;measured;unit;error";
// One row under kMonitorCsvHeader, without its line break: a reading has a
// value and unit, a failed one only its error.
QString monitorCsvRow(const QString& stamp, const QString& value, const QString& unit,
                      const QString& error);

} // namespace quorva::transmitter
