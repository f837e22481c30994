#pragma once

#include "cli/clilink.h"
#include "cli/output.h"
#include "cli/writerecord.h"
#include "transmitter/configwrite.h"
#include "transmitter/writeprocedure.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The sub-commands of quorva-cli, each in a file of its own (ports, read,
// monitor, write, simulate, commission). Each returns the process's exit
// status and writes its report to `out`; a failure is one line on `err`.
namespace quorva::cli {

int listPorts(Output& o);
int readOnce(CliLink& link, Output& o);

struct MonitorOptions
{
    int intervalMs = 1000;
    int count = 0; // 0: until interrupted
    bool csv = false;
};
int monitor(CliLink& link, const MonitorOptions& options, Output& o);

// The write's arguments as given: each field's text by slot (a choice by
// index, text or keyword), empty when not given, and a file `read --json`
// printed.
struct WriteArguments
{
    transmitter::FieldTexts fields{};
    QString fromFile;
};

struct WriteOptions
{
    transmitter::ConfigurationEdit edit; // fields not given keep the device's words
    bool dryRun = false;
    bool force = false; // send a range that crosses the sensor's limits
    bool knownModelOnly = false; // a campaign writes only to a model it knows
    QString recordFile; // one JSON line appended per attempt
};

// The verdict on the write's arguments, before any port is opened.
struct ArgumentsVerdict
{
    enum class Refusal { None, FromFile, NothingToWrite, Fields };
    Refusal refusal = Refusal::None;
    QString fileRefusal;               // FromFile: why --from's file is refused
    transmitter::PreparedWrite fields; // Fields: each field refused
};
// Turns the arguments into `options.edit` and checks every value.
ArgumentsVerdict checkWriteArguments(const WriteArguments& arguments, WriteOptions& options);

// `write`: the arguments checked, then the attempt, said for people or as
// JSON. kExitUsage for refused arguments (nothing opened).
int write(CliLink& link, const WriteArguments& arguments, WriteOptions& options, Output& o);

// The sensor's own range taken for the range values an edit does not give,
// when it names another sensor than the device's, as the window loads it.
struct TakenRange
{
    int sensorType = -1;
    std::optional<qint32> lowerTenths, upperTenths;
};

// What one write attempt did, from reading the device to its read-back,
// for `write` and a campaign to say each its own way.
struct WriteAttempt
{
    Outcome outcome = Outcome::Ok;
    QString message;                 // a failure's line, empty when ok
    QString fault;                   // a bad reply's fault code
    bool sent = false;               // the request went out: the device may hold it
    bool dryRun = false;             // the request was to be shown, not sent
    transmitter::WriteImage image{}; // what went out, or was to
    std::optional<TakenRange> takenRange;
    std::vector<transmitter::WriteDifference> differences;
    const transmitter::ModelOptions* model = nullptr; // the read-back's, wording the differences
    // The attempt's record line did not reach its file: which and why.
    QString recordFile, recordError;

    bool recordLost() const { return !recordError.isEmpty(); }
    int status() const;
};
// One attempt, its line appended to `record` (opened, or not recording)
// before it returns: what `write` and a campaign share.
WriteAttempt writeAttempt(CliLink& link, const WriteOptions& options, WriteRecord& record);

// The lines both faces say of an attempt: the range taken, each field read
// back otherwise than sent, and a record lost.
QString takenRangeLine(const TakenRange& taken);
QStringList differenceLines(const WriteAttempt& attempt);
QString recordLostLine(const WriteAttempt& attempt);

// A campaign: the plan's rows written one transmitter after another.
struct CommissionOptions
{
    QString planFile;
    QString recordFile;
    QString reportFile;
    QString operatorName;
    bool resume = false; // rows the record holds as done for this plan are skipped
    bool force = false;
    bool overwrite = false; // the report may replace a file this program did not write
};
int commission(CliLink& link, const CommissionOptions& options, Output& o);

struct SimulateOptions
{
    QString linkPath;
    QString fault; // "name" or "exception:N"
    int turnaroundMs = -1;
    int noiseMs = 0; // another talker's burst every so often
    bool drift = true;
    int modelCode = -1; // the transmitter's model code; -1: its own
};
int simulate(const SimulateOptions& options, Output& o);

} // namespace quorva::cli
