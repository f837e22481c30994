#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The campaign's printable report.
namespace quorva::cli {

struct ReportSource
{
    QString operatorName;
    QString planFile;
    QStringList plannedTags;
};
// The report's file refused before a campaign starts: its extension (.pdf, .html, .htm) and a
// folder it can be written in.
bool reportPathAccepted(const QString& path, QString* error);
// Writes the report of the attempts (record lines) as PDF or HTML, by extension.
bool writeReport(const QList<QJsonObject>& attempts, const ReportSource& source,
                 const QString& path, QString* error);

} // namespace quorva::cli
