#include "writerecord.h"

#include <QJsonDocument>

namespace quorva::cli {

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
