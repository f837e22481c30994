#pragma once

#include "cli/output.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The commissioning report: what a campaign (or a series of `write --record`)
// did to each transmitter, one row per tag, as a printable A4 PDF or a
// standalone HTML page for quality assurance to keep and sign.
namespace quorva::cli {

struct ReportSource
{
    QString operatorName;    // empty: the record's own, if it names one
    QString planFile;        // empty: the record's own, if it names one
    QStringList plannedTags; // listed as not done when the record has no attempt for them
};

// The report's file refused before a campaign starts: its extension (.pdf,
// .html, .htm) and a folder it can be written in. `error` names the file.
bool reportPathAccepted(const QString& path, QString* error);

// Writes the report of the attempts (record lines) as PDF or HTML, by extension.
bool writeReport(const QList<QJsonObject>& attempts, const ReportSource& source,
                 const QString& path, QString* error);

// The most rows a report draws: a PDF of 2000 takes some seven seconds and
// 100 MB, and a plant commissions far fewer transmitters at a time.
constexpr qsizetype kMaxReportRows = 2000;

// The most a record may hold: thousands of attempts, far more than a plant has.
constexpr qint64 kMaxRecordBytes = 8 * 1024 * 1024;

// The attempts of a record: a regular file of at most kMaxRecordBytes, one
// JSON object per line, each with its `time` and `outcome` and its other
// keys of their types (a text `tag`, a number `firmware`...). A line that is
// not one is refused naming its number; `error` names the file.
bool readRecord(const QString& path, QList<QJsonObject>& attempts, QString* error);

// `quorva-cli report RECORD -o FILE`: kExitOk; kExitUsage for a refused record,
// file name or a report of more than kMaxReportRows rows; kExitFailed when
// the report could not be written.
int reportFromRecord(const QString& recordPath, const QString& outputPath,
                     const QString& operatorName, Output& o);

} // namespace quorva::cli
