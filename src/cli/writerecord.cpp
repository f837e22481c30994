#include "writerecord.h"

#include "cli/report.h"

#include <QFile>

#include <QJsonDocument>

namespace quorva::cli {

namespace {
// Enough of a file to find a report's generator or creator in it.
constexpr qint64 kReportProbeBytes = 8 * 1024 * 1024;
} // namespace

bool WriteRecord::open(const QString& path)
{
    m_refusal.clear();
    if (!m_file.open(path))
        return false;
    // Lines appended to a report would spoil it, and the record with it.
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && isOwnReport(existing.read(kReportProbeBytes))) {
        m_refusal = QStringLiteral("é um relatório, não um registro");
        m_file.close();
        return false;
    }
    return true;
}

void WriteRecord::begin(const QString& port)
{
    m_line = m_context;
    m_line["time"] = isoTimestamp();
    m_line["port"] = port;
}

bool WriteRecord::finish(const LinkError& outcome)
{
    m_line["outcome"] = outcomeCode(outcome.outcome);
    if (!outcome.message.isEmpty())
        m_line["error"] = outcome.message;
    if (!outcome.fault.isEmpty())
        m_line["fault"] = outcome.fault;
    return !m_file.isOpen() ||
           (m_file.appendLine(QJsonDocument(m_line).toJson(QJsonDocument::Compact)) &&
            m_file.close());
}

} // namespace quorva::cli
