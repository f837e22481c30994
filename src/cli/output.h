#pragma once

#include "cli/clilink.h"
#include "cli/outputfile.h"
#include "transmitter/reading.h"

#include <QJsonObject>
#include <QTextStream>

// What quorva-cli prints: its exit statuses, a failure's line, and a reading
// as text for people, JSON for scripts or a CSV row.
namespace quorva::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Output
{
    QTextStream& out;
    QTextStream& err;
    bool json = false;
    int fail(const QString& message, int status = kExitFailed);
    // Flushes `out`: false once any of its writes failed.
    bool flushed();
    // The line that names the output lost and why.
    int outputFailure() { return fail(writeFailureText(out)); }
};

// One JSON value on one line.
void printJson(QTextStream& out, const QJsonValue& value);
// A failed step as scripts read it: `error`, `outcome` and, for a bad reply, `fault`.
QJsonObject errorJson(const LinkError& e);

// A reading as the window shows it, one caption and value a line.
void printReport(QTextStream& out, const transmitter::ReadingReport& r);

// One reading of `monitor`, or its failure: a JSON object, a CSV row under
// kMonitorCsvHeader, or the time and the value (the error) for people.
using transmitter::kMonitorCsvHeader;
void printMonitorLine(Output& o, bool csv, const QString& stamp,
                      const transmitter::ReadingReport* r, const LinkError& error);

} // namespace quorva::cli
