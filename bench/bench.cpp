// Measures QUORVA against the line's limit and against plain Qt, and prints
// the results as Markdown (tools/performance.sh writes them to
// docs/performance.md). Times are medians over several runs; ratios are taken
// within one run, so a busy machine slows both sides alike.
//
//   bench_quorva --bindir BUILD [--polls N] [--runs N]
#include "link/devicelink.h"
#include "link/linkclock.h"
#include "link/modbusmaster.h"
#include "sim/virtualtransmitter.h"
#include "ui/messagesink.h"
#include "ui/serial.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace quorva;

namespace {

class SilentMessages final : public ui::MessageSink
{
public:
    void showMessage(const QString& text) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    bool ask(const QString& text) override
    {
        showMessage(text);
        return false;
    }
    void showException(const QString& text) override { showMessage(text); }
};

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

QString ms(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals) + QStringLiteral(" ms");
}

// Fires every millisecond; the longest gap between firings, less the
// interval, is the longest time the thread was kept from its event loop.
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
    }
    void restart()
    {
        m_clock.start();
        m_lastNs = 0;
        m_longestGapNs = 0;
        m_timer.start();
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
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

struct WindowFigures
{
    std::vector<double> ageFromLastByte, ageFromTick, blockedPerPoll;
    double blockedIdle = 0;
    int polls = 0;
};

WindowFigures measureWindow(int polls)
{
    link::SteadyClock clock;
    sim::VirtualTransmitter device(clock);
    device.setDrift(false);
    link::DeviceLink deviceLink(device);
    link::ModbusMaster master(deviceLink, clock);
    ProgramFlags flags;
    SilentMessages messages;
    TForm1 form(deviceLink, master, flags, messages);
    form.show();
    form.btConectar->click();
    form.transmite->click();
    form.Timer1->stop(); // ticks are given by hand, one after the other
    runFor(200);

    WindowFigures f;
    BlockProbe probe;
    qint64 shownAtUs = 0;
    QObject::connect(form.Edit28, &QLineEdit::textChanged, [&] { shownAtUs = clock.nowUs(); });
    for (int i = 0; i < polls; ++i) {
        device.setRegister(2, quint16(200 + i)); // a new value every reading
        shownAtUs = 0;
        probe.restart();
        const qint64 tickUs = clock.nowUs();
        form.Timer1Timer(form.Timer1);
        QElapsedTimer waited;
        waited.start();
        while (shownAtUs == 0 && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        runFor(5);
        f.blockedPerPoll.push_back(probe.longestBlockMs());
        if (shownAtUs == 0)
            continue;
        ++f.polls;
        f.ageFromLastByte.push_back((shownAtUs - device.lastByteDueUs()) / 1000.0);
        f.ageFromTick.push_back((shownAtUs - tickUs) / 1000.0);
        runFor(50);
    }
    probe.restart();
    runFor(2000);
    f.blockedIdle = probe.longestBlockMs();
    return f;
}

struct Startup
{
    double ms = 0;
    double rssKiB = 0;
};

Startup startOnce(const QString& program, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    QElapsedTimer started;
    started.start();
    const qint64 startNs = started.msecsSinceReference() * 1000000LL + started.nsecsElapsed();
    p.start(program, args);
    if (!p.waitForFinished(20000))
        return {};
    const QString out = QString::fromLatin1(p.readAllStandardOutput());
    const auto field = [&out](const QString& key) {
        const int i = out.indexOf(key + u'=');
        return i < 0 ? 0.0
                     : out.mid(i + key.size() + 1)
                           .section(QRegularExpression("\\s"), 0, 0)
                           .toDouble();
    };
    return {(field(QStringLiteral("shown_ns")) - double(startNs)) / 1e6,
            field(QStringLiteral("rss_kib"))};
}

double timeCommand(const QString& program, const QStringList& args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(20000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     qPrintable(QString::fromLocal8Bit(p.readAllStandardError())));
        return -1;
    }
    return t.nsecsElapsed() / 1e6;
}

QString cpuModel()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromLatin1(line).section(u':', 1).trimmed();
    }
    return QStringLiteral("unknown");
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&args](const char* name, const QString& fallback) {
        const int i = args.indexOf(QString::fromLatin1(name));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
    };
    const QDir bin(option("--bindir", QStringLiteral(".")));
    const int polls = option("--polls", "30").toInt();
    const int runs = option("--runs", "9").toInt();

    QTextStream out(stdout);
    out << "## Machine\n\n"
        << "- " << cpuModel() << ", " << QThread::idealThreadCount() << " cores\n"
        << "- " << QSysInfo::prettyProductName() << ", kernel " << QSysInfo::kernelVersion()
        << ", Qt " << qVersion() << ", offscreen platform\n"
        << "- " << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << "\n\n";

    // The window on the virtual transmitter, paced at 9600 baud.
    const WindowFigures w = measureWindow(polls);
    const double lineMs = (8 + 79) * sim::VirtualTransmitter::kByteTimeUs / 1000.0;
    const double limitMs = lineMs + sim::VirtualTransmitter::kDefaultTurnaroundMs;
    out << "## Data age\n\n"
        << "The window on the virtual transmitter at 9600 baud 8N1, " << w.polls << " of " << polls
        << " readings; medians (longest in brackets).\n\n"
        << "| measure | figure | line's limit |\n|---|---|---|\n"
        << "| reply's last byte in the queue to the value in `Edit28` | "
        << ms(median(w.ageFromLastByte), 2) << " ("
        << ms(*std::max_element(w.ageFromLastByte.begin(), w.ageFromLastByte.end()), 2)
        << ") | 0 ms |\n"
        << "| tick to the value in `Edit28` | " << ms(median(w.ageFromTick)) << " ("
        << ms(*std::max_element(w.ageFromTick.begin(), w.ageFromTick.end())) << ") | "
        << ms(limitMs) << " (request and 79-byte reply on the wire, " << ms(lineMs)
        << ", plus the device's " << sim::VirtualTransmitter::kDefaultTurnaroundMs
        << " ms turnaround) |\n"
        << "| tick to value, as a share of the line's limit | "
        << QString::number(median(w.ageFromTick) / limitMs, 'f', 3) << " | 1 |\n\n";

    out << "## Window thread blocked\n\n"
        << "Longest gap of a 1 ms timer on the window's thread, less its interval.\n\n"
        << "| while | longest block | goal |\n|---|---|---|\n"
        << "| a poll (median over polls) | " << ms(median(w.blockedPerPoll), 2)
        << " | under 16 ms |\n"
        << "| a poll (worst poll) | "
        << ms(*std::max_element(w.blockedPerPoll.begin(), w.blockedPerPoll.end()), 2)
        << " | under 16 ms |\n"
        << "| idle, connected, 2 s | " << ms(w.blockedIdle, 2) << " | under 16 ms |\n\n";

    // Start-up and memory against a minimal Qt Widgets program, alternated.
    std::vector<double> quorvaMs, quorvaRss, minimalMs, minimalRss;
    for (int i = 0; i < runs; ++i) {
        const Startup q = startOnce(bin.filePath("bench/bench_quorva_startup"), {"--simulate"});
        const Startup m = startOnce(bin.filePath("bench/bench_minimal_widgets"), {});
        quorvaMs.push_back(q.ms);
        quorvaRss.push_back(q.rssKiB);
        minimalMs.push_back(m.ms);
        minimalRss.push_back(m.rssKiB);
    }
    out << "## Start-up and memory\n\n"
        << "Process start to the window shown (offscreen platform), and resident memory then; "
        << "medians of " << runs << " alternated runs.\n\n"
        << "| program | start-up | resident memory |\n|---|---|---|\n"
        << "| quorva --simulate | " << ms(median(quorvaMs)) << " | "
        << QString::number(median(quorvaRss) / 1024, 'f', 1) << " MiB |\n"
        << "| minimal Qt Widgets window | " << ms(median(minimalMs)) << " | "
        << QString::number(median(minimalRss) / 1024, 'f', 1) << " MiB |\n"
        << "| ratio | " << QString::number(median(quorvaMs) / median(minimalMs), 'f', 2) << " | "
        << QString::number(median(quorvaRss) / median(minimalRss), 'f', 2) << " |\n\n";

    // One reading from the command line against mbpoll, same pseudo-terminal.
    QTemporaryDir dir;
    const QString linkPath = dir.filePath("transmitter");
    QProcess simulator;
    simulator.start(bin.filePath("src/cli/quorva-cli"),
                    {"simulate", "--steady", "--link", linkPath});
    for (int i = 0; i < 100 && !QFile::exists(linkPath); ++i)
        QThread::msleep(20);
    std::vector<double> cliMs, mbpollMs;
    for (int i = 0; i < runs; ++i) {
        cliMs.push_back(
            timeCommand(bin.filePath("src/cli/quorva-cli"), {"read", "--port", linkPath}));
        mbpollMs.push_back(
            timeCommand("mbpoll", {"-m", "rtu", "-b", "9600", "-P", "none", "-a", "1", "-t", "4",
                                   "-r", "1", "-c", "37", "-1", linkPath}));
    }
    simulator.terminate();
    simulator.waitForFinished(3000);
    out << "## One reading from the shell\n\n"
        << "`quorva-cli read` against `mbpoll -1` (libmodbus), both reading registers 1 to 37 "
        << "from the same `quorva-cli simulate` pseudo-terminal (paced at 9600 baud); whole "
           "process, medians of "
        << runs << " alternated runs.\n\n"
        << "| command | time |\n|---|---|\n"
        << "| quorva-cli read | " << ms(median(cliMs)) << " |\n"
        << "| mbpoll -1 | " << ms(median(mbpollMs)) << " |\n"
        << "| ratio | " << QString::number(median(cliMs) / median(mbpollMs), 'f', 2) << " |\n";
    return 0;
}
