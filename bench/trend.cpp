// The trend's cost on the window thread: per reading, the series' append,
// the trend window following it and the chart's repaint, with an hour and
// with two hours already drawn; beside it the main window's own handling of
// a reading from the virtual transmitter (the trend closed), as a baseline.
//
//   bench_trend [--readings N] [--baseline-readings N]   (QT_QPA_PLATFORM=offscreen)
#include "link/masteronline.h"
#include "sim/virtualtransmitter.h"
#include "transmitter/reading.h"
#include "transmitter/trendseries.h"
#include "ui/messagesink.h"
#include "ui/serial.h"
#include "ui/trendwindow.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using quorva::transmitter::ReadingReport;
using quorva::transmitter::TrendSeries;

namespace {

struct Figures
{
    double medianUs = 0;
    double p99Us = 0;
    double meanUs = 0;
};

// Counts the chart's paints, so the figures are known to include them.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

struct TrendFigures
{
    Figures perReading;
    Figures fullRepaint;
    double paintsPerReading = 0;
};

Figures figuresOf(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double u : us)
        sum += u;
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)],
            sum / double(us.size())};
}

// A Pt100 near 23,5 °C that drifts slowly, with a tenth of noise.
ReadingReport reading(qint64 second)
{
    ReadingReport r;
    r.modelCode = 1;
    r.sensorTypeIndex = 0;
    r.measuredRaw = qint32(235 + std::lround(20 * std::sin(double(second) / 900)) + second % 3 - 1);
    r.measured = quorva::transmitter::measuredValueText(0, r.measuredRaw);
    r.lowerTenths = 0;
    r.upperTenths = 1000;
    return r;
}

// A ten-second failure every ten minutes.
// With `flaky`, every other reading fails instead (a loose cable).
void add(TrendSeries& series, const QDateTime& start, qint64 second, bool flaky)
{
    const QDateTime time = start.addSecs(second);
    if (flaky ? second % 2 == 0 : second % 600 < 10)
        series.addFailure(time, QStringLiteral("Erro de leitura"));
    else
        series.addReading(time, reading(second));
}

TrendFigures trendCost(int keptSeconds, int readings, bool flaky = false)
{
    TrendSeries series;
    quorva::ui::PrintedMessageSink messages;
    quorva::ui::TrendWindow trend(series, messages);
    trend.show();
    PaintCounter counter;
    trend.chartView()->viewport()->installEventFilter(&counter);
    const QDateTime start = QDateTime::currentDateTime().addSecs(-keptSeconds);
    for (qint64 s = 0; s < keptSeconds; ++s)
        add(series, start, s, flaky);
    trend.follow();
    QCoreApplication::processEvents();
    counter.paints = 0;
    std::vector<double> us;
    std::vector<double> fullUs;
    QElapsedTimer timer;
    for (int i = 0; i < readings; ++i) {
        timer.start();
        add(series, start, keptSeconds + i, flaky);
        trend.follow();
        // The chart's layout and its repaint, of what changed, as the window's
        // event loop runs them after the reading.
        QCoreApplication::processEvents();
        us.push_back(double(timer.nsecsElapsed()) / 1000);
        if (i % 10 == 0) { // the whole chart, as when the time axis moves
            timer.start();
            trend.chartView()->viewport()->repaint();
            fullUs.push_back(double(timer.nsecsElapsed()) / 1000);
        }
    }
    return {figuresOf(us), figuresOf(fullUs),
            double(counter.paints - int(fullUs.size())) / readings};
}

// The main window's handler of a read reply, timed between two handlers
// connected before and after its own.
Figures windowCost(int readings)
{
    quorva::link::MasterOnLine<quorva::sim::VirtualTransmitter> line;
    QElapsedTimer timer;
    std::vector<double> us;
    QObject::connect(&line.master, &quorva::link::ModbusMaster::finished, [&] { timer.start(); });
    ProgramFlags flags;
    quorva::ui::PrintedMessageSink messages;
    TForm1 form(line.link, line.master, flags, messages);
    QObject::connect(&line.master, &quorva::link::ModbusMaster::finished,
                     [&] { us.push_back(double(timer.nsecsElapsed()) / 1000); });
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("btConectar"))->click();
    form.findChild<QPushButton*>(QStringLiteral("transmite"))->click();
    auto* const ticks = form.findChild<QTimer*>(QStringLiteral("Timer1"));
    ticks->stop(); // the ticks are given here, back to back
    while (int(us.size()) < readings) {
        const size_t before = us.size();
        form.Timer1Timer(ticks);
        while (us.size() == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::processEvents(); // its repaint
    }
    return figuresOf(us);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    int readings = 3000;
    int baselineReadings = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option(argv[i]);
        (option == "--readings" ? readings : baselineReadings) = std::atoi(argv[i + 1]);
    }
    const Figures window = windowCost(baselineReadings);
    const TrendFigures hour = trendCost(3600, readings);
    const TrendFigures twoHours = trendCost(2 * 3600, readings);
    const TrendFigures flaky = trendCost(2 * 3600, readings, true);
    std::printf("## Trend\n\n"
                "The trend window's cost on the window thread per reading: the series' append,\n"
                "the window following it, and the chart's layout and repaint of what changed\n"
                "as the event loop runs them (offscreen), over %d readings after an hour and\n"
                "after two hours (the most kept: every reading then also drops the oldest),\n"
                "a ten-second failure every ten minutes (and, apart, every other reading\n"
                "failed: a loose cable). A repaint of the whole chart (the\n"
                "time axis moves one slice at a time, every 5 to 300 s) is given apart, taken\n"
                "every tenth reading. Beside it the main window's own handling of a read reply\n"
                "from the virtual transmitter (the trend closed), over %d readings.\n\n"
                "| Per reading | median | mean | 99th percentile |\n"
                "|---|---|---|---|\n"
                "| main window, read reply handled | %.0f µs | %.0f µs | %.0f µs |\n",
                readings, baselineReadings, window.medianUs, window.meanUs, window.p99Us);
    const auto row = [](const char* name, const TrendFigures& f) {
        std::printf("| trend, %s (%.2f paints a reading) | %.0f µs | %.0f µs | %.0f µs |\n"
                    "| trend, %s, whole chart repainted | %.0f µs | %.0f µs | %.0f µs |\n",
                    name, f.paintsPerReading, f.perReading.medianUs, f.perReading.meanUs,
                    f.perReading.p99Us, name, f.fullRepaint.medianUs, f.fullRepaint.meanUs,
                    f.fullRepaint.p99Us);
    };
    row("1 h drawn", hour);
    row("2 h drawn", twoHours);
    row("2 h drawn, every other reading failed", flaky);
    QFile load(QStringLiteral("/proc/loadavg"));
    const QByteArray loadAverage =
        load.open(QIODevice::ReadOnly) ? load.readAll().split(' ').mid(0, 3).join(' ') : "?";
    std::printf("\nOn the machine above, load average %s when the trend's run ended; to\n"
                "reproduce: `QT_QPA_PLATFORM=offscreen build/bench/bench_trend --readings %d`\n"
                "(tools/performance.sh runs it, TREND_READINGS=N).\n",
                loadAverage.constData(), readings);
    return 0;
}
