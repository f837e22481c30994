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

// Why the report may not replace the file at `path`: it is the record
// (`recordPath`, by any name or a hard link), it holds a record's line, or
// it is a file this program did not write as a report and `overwrite` is
// not given. Empty when it may, or when there is no file there.
QString replacementRefusal(const QString& path, const QString& recordPath, bool overwrite);

// Whether a record line's plan (`recorded`) is the plan whose canonical path
// is `plan`: the same path, or one that leads to it from the current folder.
bool isRecordedPlan(const QString& recorded, const QString& plan);

struct ReportCommand
{
    QString recordPath, outputPath;
    QString operatorName;
    QString planFile; // in a record of several plans, the one reported
    bool overwrite = false;
};
// `quorva-cli report RECORD -o FILE`: kExitOk; kExitUsage for a refused record,
// file name, a file the report may not replace, a record of several plans
// without --plan, or a report of more than kMaxReportRows rows; kExitFailed
// when the report could not be written.
int reportFromRecord(const ReportCommand& command, Output& o);

// A report this program wrote (a record is never appended to one).
bool isOwnReport(const QByteArray& bytes);

} // namespace quorva::cli
