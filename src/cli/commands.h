#pragma once

#include "cli/clilink.h"
#include "cli/output.h"
#include "cli/writerecord.h"
#include "transmitter/configwrite.h"

#include <QString>

// The sub-commands of quorva-cli, each in a file of its own (ports, read,
// monitor, write, simulate). Each returns the process's exit status and
// writes its report to `out`; a failure is one line on `err`.
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

// The write's arguments as given: a text for each field (a choice by index,
// text or keyword), empty when not given, and a file `read --json` printed.
struct WriteArguments
{
    QString sensor, zero, lower, upper, fault, direction;
    QString fromFile;
};

struct WriteOptions
{
    transmitter::ConfigurationEdit edit; // fields not given keep the device's words
    bool dryRun = false;
    bool force = false; // send a range that crosses the sensor's limits
    QString recordFile; // one JSON line appended per attempt
};

// Turns the arguments into the edit and checks every value, before any port
// is opened: kExitOk, or kExitUsage after its one error line.
int prepareWrite(const WriteArguments& arguments, WriteOptions& options, Output& o);
int writeConfiguration(CliLink& link, const WriteOptions& options, Output& o);
// One write attempt, from reading the device to its read-back, its line
// appended to `record` (opened, or not recording) before it is reported on
// `o`: the core `write` and a campaign share.
int writeAttempt(CliLink& link, const WriteOptions& options, WriteRecord& record, Output& o);

// A campaign: the plan's rows written one transmitter after another.
struct CommissionOptions
{
    QString planFile;
    QString recordFile;
    QString reportFile;
    QString operatorName;
    bool resume = false; // rows the record holds as done for this plan are skipped
    bool force = false;
};
int commission(CliLink& link, const CommissionOptions& options, Output& o);

struct SimulateOptions
{
    QString linkPath;
    QString fault; // "name" or "exception:N"
    int turnaroundMs = -1;
    int noiseMs = 0; // another talker's burst every so often
    bool drift = true;
};
int simulate(const SimulateOptions& options, Output& o);

} // namespace quorva::cli
