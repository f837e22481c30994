#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// A record's attempts by transmitter, and their totals: what a campaign's
// last line, its JSON and the report all count from, so they never differ.
namespace quorva::cli {

struct TransmitterRow
{
    enum class State { Confirmed, Failed, NotDone };
    QString tag;      // a line without one (a single write) is named by its port
    QJsonObject last; // the last attempt, which shows the transmitter as it was left
    int attempts = 0;
    State state = State::NotDone;
};

// The planned tags first, in order, then each other tag or untagged line as
// met. A row is confirmed when its last attempt is ok; failed when it is not
// and some attempt failed (an interruption is no failure); otherwise not done.
QList<TransmitterRow> transmitterRows(const QList<QJsonObject>& attempts,
                                      const QStringList& plannedTags);

struct AttemptTotals
{
    int transmitters = 0, confirmed = 0, failed = 0, notDone = 0, attempts = 0;
};
AttemptTotals totalsOf(const QList<TransmitterRow>& rows);

} // namespace quorva::cli
