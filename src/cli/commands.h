#pragma once

#include "cli/clilink.h"

#include <QStringList>
#include <QTextStream>

// The sub-commands of quorva-cli. Each returns the process's exit status and
// writes its report to `out`; a failure is one line on `err`.
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
};

int listPorts(Output& o);
int readOnce(CliLink& link, Output& o);

struct MonitorOptions
{
    int intervalMs = 1000;
    int count = 0; // 0: until interrupted
    bool csv = false;
};
int monitor(CliLink& link, const MonitorOptions& options, Output& o);

struct WriteOptions
{
    QString sensor, zero, lower, upper, fault, direction; // empty: keep the device's
    bool dryRun = false;
};
int writeConfiguration(CliLink& link, const WriteOptions& options, Output& o);

struct SimulateOptions
{
    QString linkPath;
    QString fault; // "name" or "exception:N"
    int turnaroundMs = -1;
    bool drift = true;
};
int simulate(const SimulateOptions& options, Output& o);

} // namespace quorva::cli
