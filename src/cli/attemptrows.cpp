#include "attemptrows.h"

#include "cli/outcome.h"

#include <QHash>

namespace quorva::cli {

namespace {

const QString kNone = QStringLiteral("—");

Outcome outcomeOfLine(const QJsonObject& attempt)
{
    return outcomeOfCode(attempt.value(QLatin1String("outcome")).toString())
        .value_or(Outcome::ReadFailed); // a code not known is no success
}

} // namespace

QList<TransmitterRow> transmitterRows(const QList<QJsonObject>& attempts,
                                      const QStringList& plannedTags)
{
    QList<TransmitterRow> rows;
    QHash<QString, qsizetype> byTag;
    for (const QString& tag : plannedTags) {
        if (!byTag.contains(tag)) {
            byTag.insert(tag, rows.size());
            rows.append({tag, {}, 0, TransmitterRow::State::NotDone});
        }
    }
    for (const QJsonObject& attempt : attempts) {
        const QString tag = attempt.value(QLatin1String("tag")).toString();
        // A line without a tag (a single write) is a transmitter of its own.
        qsizetype at = tag.isEmpty() ? -1 : byTag.value(tag, -1);
        if (at < 0) {
            at = rows.size();
            const QString port = attempt.value(QLatin1String("port")).toString();
            rows.append({tag.isEmpty() ? (port.isEmpty() ? kNone : port) : tag,
                         {},
                         0,
                         TransmitterRow::State::NotDone});
            if (!tag.isEmpty())
                byTag.insert(tag, at);
        }
        TransmitterRow& row = rows[at];
        row.last = attempt;
        ++row.attempts;
        const Outcome outcome = outcomeOfLine(attempt);
        if (outcome == Outcome::Ok)
            row.state = TransmitterRow::State::Confirmed;
        else if (outcome != Outcome::Interrupted)
            row.state = TransmitterRow::State::Failed;
        else if (row.state == TransmitterRow::State::Confirmed) // interrupted since
            row.state = TransmitterRow::State::NotDone;
    }
    return rows;
}

AttemptTotals totalsOf(const QList<TransmitterRow>& rows)
{
    AttemptTotals totals;
    totals.transmitters = int(rows.size());
    for (const TransmitterRow& row : rows) {
        totals.attempts += row.attempts;
        totals.confirmed += row.state == TransmitterRow::State::Confirmed ? 1 : 0;
        totals.failed += row.state == TransmitterRow::State::Failed ? 1 : 0;
        totals.notDone += row.state == TransmitterRow::State::NotDone ? 1 : 0;
    }
    return totals;
}

} // namespace quorva::cli
