// The window on the paced virtual transmitter, in this process: data age to
// the painted frame and the longest block of the window's thread, beside the
// same probe's noise floor. Prints raw figures, one per line, for bench.cpp.
#include "framewatch.h"
#include "link/masteronline.h"
#include "sim/virtualtransmitter.h"
#include "ui/messagesink.h"
#include "ui/serial.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace quorva;

namespace {

// A 1 ms timer that runs all along; the longest gap between its firings
// since the last reset, less the interval, is the longest time the thread
// was kept from its event loop.
class BlockProbe
{
public:
    BlockProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longestGapNs = std::max(m_longestGapNs, now - m_lastNs);
            m_lastNs = now;
        });
        m_clock.start();
        m_timer.start();
    }
    void reset()
    {
        m_lastNs = m_clock.nsecsElapsed();
        m_longestGapNs = 0;
    }
    double longestBlockMs() const { return std::max<qint64>(0, m_longestGapNs - 1'000'000) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestGapNs = 0;
};

void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

// The tick to the failure of a poll of a silent device, shown (its trend
// sample taken, "Erro de leitura" set): on the first poll after "Conectar", or
// the first after a good reading.
double silentPollMs(TForm1& form, sim::VirtualTransmitter& device, const link::LinkClock& clock,
                    bool readFirst, const std::function<void()>& goodReading)
{
    device.setFault(sim::Fault::None);
    auto* const connectButton = form.findChild<QPushButton*>(QStringLiteral("btConectar"));
    auto* const readButton = form.findChild<QPushButton*>(QStringLiteral("transmite"));
    auto* const ticks = form.findChild<QTimer*>(QStringLiteral("Timer1"));
    connectButton->click();
    readButton->click();
    ticks->stop();
    runFor(300);
    if (readFirst)
        goodReading();
    device.setFault(sim::Fault::NoReply);
    runFor(50);
    const int samples = form.trend().size();
    const qint64 tickUs = clock.nowUs();
    form.Timer1Timer(ticks);
    QElapsedTimer waited;
    waited.start();
    while (form.trend().size() == samples && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double ms = (clock.nowUs() - tickUs) / 1000.0;
    readButton->click();
    connectButton->click();
    device.setFault(sim::Fault::None);
    runFor(300);
    return ms;
}

// Lines: "reading LASTBYTE_MS TICK_MS LIMIT_MS TEXT_TO_FRAME_MS", "poll BLOCK_MS",
// "floor BLOCK_MS", "idle BLOCK_MS", "idle-floor BLOCK_MS", "silent-connect MS",
// "silent-after-reading MS".
int printWindowFigures(int polls)
{
    link::MasterOnLine<sim::VirtualTransmitter> line;
    const link::SteadyClock& clock = line.clock;
    sim::VirtualTransmitter& device = line.driver;
    device.setDrift(false);
    ProgramFlags flags;
    ui::PrintedMessageSink messages;
    TForm1 form(line.link, line.master, flags, messages);
    form.show();
    runFor(300);
    auto* const connect = form.findChild<QPushButton*>(QStringLiteral("btConectar"));
    auto* const read = form.findChild<QPushButton*>(QStringLiteral("transmite"));
    auto* const timer = form.findChild<QTimer*>(QStringLiteral("Timer1"));
    auto* const temperature = form.findChild<QLineEdit*>(QStringLiteral("Edit28"));

    // The reading is displayed when a frame in which Edit28 was painted
    // after its text changed has been handed to the window system.
    qint64 textAtUs = 0, paintedAtUs = 0;
    QObject::connect(temperature, &QLineEdit::textChanged, [&] {
        if (textAtUs == 0)
            textAtUs = clock.nowUs();
    });
    const FrameWatch frames(
        &form, [&](const QWidget& w) { return &w == temperature && textAtUs != 0; },
        [&] {
            if (paintedAtUs == 0)
                paintedAtUs = clock.nowUs();
        });

    QTextStream out(stdout);
    QRandomGenerator& random = *QRandomGenerator::global();
    BlockProbe probe;
    const qint64 lineUs = (8 + 79) * sim::VirtualTransmitter::kByteTimeUs;
    int reading = 0;
    // One tick, given by hand; returns how long the probe watched.
    const auto poll = [&](bool counted) {
        device.setRegister(2, quint16(200 + reading++)); // a new value every reading
        const qint64 turnaroundUs =
            sim::VirtualTransmitter::kDefaultTurnaroundMs * 1000 + random.bounded(1000);
        device.setTurnaroundUs(turnaroundUs);
        // The tick at a random phase of the probe and of any other timer.
        runFor(20 + random.bounded(17));
        QThread::usleep(random.bounded(1000));
        textAtUs = paintedAtUs = 0;
        probe.reset();
        const qint64 tickUs = clock.nowUs();
        form.Timer1Timer(timer);
        QElapsedTimer waited;
        waited.start();
        while (paintedAtUs == 0 && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        runFor(5);
        if (counted) {
            out << "poll " << probe.longestBlockMs() << '\n';
            if (paintedAtUs != 0)
                out << "reading " << (paintedAtUs - device.lastByteDueUs()) / 1000.0 << ' '
                    << (paintedAtUs - tickUs) / 1000.0 << ' ' << (lineUs + turnaroundUs) / 1000.0
                    << ' ' << (paintedAtUs - textAtUs) / 1000.0 << '\n';
        }
        return int((clock.nowUs() - tickUs) / 1000);
    };

    // Rounds of polls, each followed by its noise floor: the same probe over
    // stretches as long as the polls', with the window idle and not
    // connected. Alternating keeps both under the machine's same load.
    const int rounds = std::min(polls, 5);
    for (int round = 0; round < rounds; ++round) {
        connect->click();
        read->click();
        timer->stop(); // ticks are given by hand, one after the other
        runFor(300);
        poll(false); // the first reading after connecting is left out
        std::vector<int> windowsMs;
        for (int i = round; i < polls; i += rounds)
            windowsMs.push_back(poll(true));
        const bool last = round + 1 == rounds;
        if (last) {
            probe.reset();
            runFor(2000);
            out << "idle " << probe.longestBlockMs() << '\n';
        }
        read->click();
        connect->click();
        runFor(300);
        for (const int windowMs : windowsMs) {
            runFor(20 + random.bounded(17));
            probe.reset();
            runFor(windowMs);
            out << "floor " << probe.longestBlockMs() << '\n';
        }
        if (last) {
            probe.reset();
            runFor(2000);
            out << "idle-floor " << probe.longestBlockMs() << '\n';
        }
    }
    for (int i = 0; i < 5; ++i) {
        out << "silent-connect " << silentPollMs(form, device, clock, false, {}) << '\n';
        out << "silent-after-reading "
            << silentPollMs(form, device, clock, true, [&] { poll(false); }) << '\n';
    }
    return 0;
}
