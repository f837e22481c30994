#pragma once

#include "cli/clilink.h"
#include "cli/outputfile.h"

#include <QJsonObject>

// The commissioning record of `write --record`: one JSON line per attempt
// (time, port, model, the reading before, what was sent, the outcome, the
// read-back and its differences), on the disk before the attempt is reported.
namespace quorva::cli {

class WriteRecord
{
public:
    // For appending to `path`; without it, nothing is recorded.
    bool open(const QString& path);
    QString errorText() const { return m_refusal.isEmpty() ? m_file.errorText() : m_refusal; }
    QString path() const { return m_file.path(); }

    // Keys every line of this record carries beside the attempt's own (a
    // campaign's tag and row).
    void setContext(const QJsonObject& keys) { m_context = keys; }
    // The attempt's moment and the port it talks to.
    void begin(const QString& port);
    // The line as it stands: after finish(), the attempt as recorded.
    const QJsonObject& line() const { return m_line; }
    void set(const QString& key, const QJsonValue& value) { m_line[key] = value; }
    void remove(const QString& key) { m_line.remove(key); }
    // Ends the line with the attempt's outcome and appends it to the file:
    // false when it did not get there.
    bool finish(const LinkError& outcome);

private:
    LineFile m_file;
    QString m_refusal; // a path refused for what it holds
    QJsonObject m_line;
    QJsonObject m_context;
};

} // namespace quorva::cli
