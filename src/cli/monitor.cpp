#include "commands.h"

#include "cli/interrupt.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace quorva::cli {

using namespace transmitter;

namespace {

// Lets the event loop run for `ms`, or until interrupted.
void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    const auto watch = watchInterrupt([&loop] { loop.quit(); });
    loop.exec();
}

} // namespace

int monitor(CliLink& link, const MonitorOptions& options, Output& o)
{
    // While the port is gone, it is looked for again at most this often.
    constexpr int kReopenPauseMs = 250;
    const bool csv = options.csv && !o.json;
    // One reading's line, row or object, failed ones included; false when
    // it could not be written, which ends the run.
    const auto report = [&](const QString& stamp, const ReadingReport* r, const LinkError& error) {
        printMonitorLine(o, csv, stamp, r, error);
        return o.flushed();
    };
    if (csv)
        o.out << kMonitorCsvHeader << Qt::endl;
    LinkError error;
    if (!link.open(&error)) {
        // A port that is not there at the start ends the run; a script still gets its reading.
        if ((o.json || csv) && !report(isoTimestamp(), nullptr, error))
            return o.outputFailure();
        return o.fail(error.message);
    }
    int failures = 0;
    for (int n = 0; (options.count == 0 || n < options.count) && !interrupted(); ++n) {
        QElapsedTimer started;
        started.start();
        const QString stamp = isoTimestamp();
        RegisterImage image{};
        // A port that went away (adapter pulled, simulator restarted) is
        // opened again for the next reading, and readings resume once it is back.
        const bool ok = (link.isOpen() || link.open(&error)) && link.readImage(image, &error);
        if (!ok && error.isInterruption())
            break; // the end asked for: no reading to report
        failures += ok ? 0 : 1;
        const ReadingReport r = ok ? describeReading(image) : ReadingReport{};
        if (!report(stamp, ok ? &r : nullptr, error))
            return o.outputFailure();
        if (options.count != 0 && n + 1 >= options.count)
            break;
        const int interval =
            link.isOpen() ? options.intervalMs : std::max(options.intervalMs, kReopenPauseMs);
        pause(int(std::max<qint64>(0, interval - started.elapsed())));
    }
    if (failures > 0)
        return o.fail(QStringLiteral("%1 leitura(s) falharam").arg(failures));
    return kExitOk;
}

} // namespace quorva::cli
