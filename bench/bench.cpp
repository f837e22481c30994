// Measures QUORVA against the line's limit, against plain Qt and libmodbus,
// and against an older build, and prints the results as Markdown
// (tools/performance.sh writes them to docs/performance.md). Times are
// medians over several runs; ratios are taken within one run, alternating
// the programs, so a busy machine slows both sides alike.
//
//   bench_quorva --bindir BUILD [--polls N] [--runs N] [--shell-runs N]
//                [--xcb DISPLAY] [--before BUILD --before-label TEXT]
//                [--load-seconds S] [--load-rounds N]
//   bench_quorva window --polls N      the window's figures, raw (run by the above)
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

extern char** environ;

int printWindowFigures(int polls);

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double longest(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

QString ms(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals) + QStringLiteral(" ms");
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Where the programs under test run: a Qt platform and its environment.
struct Platform
{
    QString name;
    QProcessEnvironment env;
};

Platform platform(const QString& qpa, const QString& display = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), qpa);
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    return {qpa == QLatin1String("xcb") ? QStringLiteral("xcb (Xvfb)") : qpa, env};
}

// ---- The window, in a child process per platform --------------------------

struct WindowFigures
{
    std::vector<double> ageFromLastByte, ageFromTick, shareOfLimit, limit, textToFrame;
    std::vector<double> pollBlock, floorBlock, silentConnect, silentAfterReading;
    double idleBlock = 0, idleFloor = 0;
    int readings = 0;
};

WindowFigures windowFigures(const QString& self, const Platform& where, int polls)
{
    QProcess child;
    child.setProcessEnvironment(where.env);
    child.start(self,
                {QStringLiteral("window"), QStringLiteral("--polls"), QString::number(polls)});
    WindowFigures f;
    if (!child.waitForFinished(polls * 1000 + 60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "window on %s failed: %s\n", qPrintable(where.name),
                     qPrintable(QString::fromLocal8Bit(child.readAllStandardError())));
        return f;
    }
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> w = line.split(' ');
        const auto num = [&w](int i) { return w.value(i).toDouble(); };
        if (w.first() == "reading" && w.size() == 5) {
            f.ageFromLastByte.push_back(num(1));
            f.ageFromTick.push_back(num(2));
            f.limit.push_back(num(3));
            f.shareOfLimit.push_back(num(2) / num(3));
            f.textToFrame.push_back(num(4));
            ++f.readings;
        } else if (w.first() == "poll") {
            f.pollBlock.push_back(num(1));
        } else if (w.first() == "floor") {
            f.floorBlock.push_back(num(1));
        } else if (w.first() == "silent-connect") {
            f.silentConnect.push_back(num(1));
        } else if (w.first() == "silent-after-reading") {
            f.silentAfterReading.push_back(num(1));
        } else if (w.first() == "idle") {
            f.idleBlock = num(1);
        } else if (w.first() == "idle-floor") {
            f.idleFloor = num(1);
        }
    }
    return f;
}

// ---- Start-up --------------------------------------------------------------

struct Startup
{
    double ms = 0;
    double rssKiB = 0;
};

Startup startOnce(const QString& program, const QStringList& args, const Platform& where)
{
    QProcess p;
    p.setProcessEnvironment(where.env);
    const qint64 startNs = monotonicNs();
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
    const double paintedNs = field(QStringLiteral("painted_ns"));
    return {paintedNs > 0 ? (paintedNs - double(startNs)) / 1e6 : 0,
            field(QStringLiteral("rss_kib"))};
}

// ---- CPU and wake-ups of a whole process -----------------------------------

// Summed over the process's threads: time on a CPU (the scheduler's
// nanosecond account, not the 10 ms ticks of /proc/PID/stat) and context
// switches, voluntary (the thread slept and was woken) and not.
struct Counters
{
    qint64 cpuNs = 0;
    qint64 switches = 0;
};

Counters sample(qint64 pid)
{
    Counters c;
    const QString taskDir = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(taskDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(taskDir + u'/' + tid + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            c.cpuNs += schedstat.readAll().split(' ').value(0).toLongLong();
        QFile status(taskDir + u'/' + tid + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") ||
                line.startsWith("nonvoluntary_ctxt_switches:"))
                c.switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return c;
}

struct Load
{
    double seconds = 0;
    qint64 cpuNs = 0;
    qint64 switches = 0;
    double wakeupsPerSecond() const { return seconds > 0 ? switches / seconds : 0; }
    double cpuPercent() const { return seconds > 0 ? cpuNs / 1e7 / seconds : 0; }
};

// Runs the program, lets it settle, then counts over `seconds`.
bool addLoad(Load& into, const QString& program, const QStringList& args, const Platform& where,
             int seconds)
{
    constexpr int kSettleMs = 3000; // start-up and the first readings left out
    QProcess p;
    p.setProcessEnvironment(where.env);
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return false;
    QThread::msleep(kSettleMs);
    if (p.state() != QProcess::Running) {
        std::fprintf(stderr, "%s ended early: %s\n", qPrintable(program),
                     qPrintable(QString::fromLocal8Bit(p.readAllStandardError())));
        return false;
    }
    const Counters before = sample(p.processId());
    const qint64 fromNs = monotonicNs();
    QThread::msleep(seconds * 1000);
    const Counters after = sample(p.processId());
    into.seconds += (monotonicNs() - fromNs) / 1e9;
    into.cpuNs += after.cpuNs - before.cpuNs;
    into.switches += after.switches - before.switches;
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
    return true;
}

// A `quorva-cli simulate` on a pseudo-terminal, for as long as it lives.
class Simulator
{
public:
    Simulator(const QString& cli, const QString& link, const QStringList& extra)
    {
        m_process.start(cli, QStringList{"simulate", "--steady", "--link", link} + extra);
        for (int i = 0; i < 100 && !QFile::exists(link); ++i)
            QThread::msleep(20);
    }
    ~Simulator()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
};

// A command run to its end: wall time, and the CPU time it used (user and
// system, from wait4), which a busy machine does not inflate.
struct Timed
{
    double wallMs = -1;
    double cpuMs = 0;
    bool succeeded = false; // exit status 0
};

Timed timeCommand(const QString& program, const QStringList& args)
{
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& a : args)
        words.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const qint64 startNs = monotonicNs();
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        return {};
    const auto msOf = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return {(monotonicNs() - startNs) / 1e6, msOf(usage.ru_utime) + msOf(usage.ru_stime),
            WEXITSTATUS(status) == 0};
}


// ---- From the shell -------------------------------------------------------

// A command run from the shell, timed run after run.
struct Command
{
    QString name;
    QString program;
    QStringList args;
    std::vector<double> times, cpu;
    double median() const { return ::median(times); }
};

struct ShellFigures
{
    std::vector<Command> commands;
    Command& operator[](const QString& name)
    {
        return *std::find_if(commands.begin(), commands.end(),
                             [&](const Command& c) { return c.name == name; });
    }
};

const QString kRead = QStringLiteral("quorva-cli read");
const QString kLibmodbus = QStringLiteral("libmodbus reader (bench/modbus_read.c)");
const QString kQtReader = QStringLiteral("Qt SerialPort reader (bench/qtserial_read.cpp)");
const QString kMbpoll = QStringLiteral("mbpoll -1");
const QString kWrite = QStringLiteral("quorva-cli write --zero");
const QString kDryRun = QStringLiteral("quorva-cli write --dry-run, every field");
const QString kSilentRead = QStringLiteral("quorva-cli read, silent device");
const QString kSilentMbpoll = QStringLiteral("mbpoll -1, silent device");

// The commands take turns to go first, run after run, against a healthy and a
// silent `quorva-cli simulate` pseudo-terminal (paced at 9600 baud).
ShellFigures shellFigures(const QDir& bin, const QString& cli, const QTemporaryDir& dir, int runs)
{
    const QString healthy = dir.filePath("transmitter"), silent = dir.filePath("silent");
    const Simulator healthySimulator(cli, healthy, {});
    const Simulator silentSimulator(cli, silent, {"--fault", "no-reply"});
    const QStringList mbpoll{"-m", "rtu", "-b", "9600", "-P", "none", "-a", "1",
                             "-t", "4",  "-r", "1",    "-c", "37",   "-1"};
    ShellFigures f{{{kRead, cli, {"read", "--port", healthy}, {}, {}},
                    {kLibmodbus, bin.filePath("bench/bench_modbus_read"), {healthy}, {}, {}},
                    {kQtReader, bin.filePath("bench/bench_qtserial_read"), {healthy}, {}, {}},
                    {kMbpoll, QStringLiteral("mbpoll"), mbpoll + QStringList{healthy}, {}, {}},
                    {kWrite, cli, {"write", "--port", healthy, "--zero", "0,1"}, {}, {}},
                    {kDryRun,
                     cli,
                     {"write", "--dry-run", "--sensor", "Pt100", "--zero", "0,1", "--lower",
                      "-200", "--upper", "650", "--fault", "none", "--direction", "rising"},
                     {},
                     {}},
                    {kSilentRead, cli, {"read", "--port", silent}, {}, {}},
                    {kSilentMbpoll, QStringLiteral("mbpoll"), mbpoll + QStringList{silent}, {}, {}}}};
    for (const Command& c : f.commands) // not counted: the files into the cache
        timeCommand(c.program, c.args);
    for (int i = 0; i < runs; ++i) {
        for (size_t k = 0; k < f.commands.size(); ++k) {
            Command& c = f.commands[(i + k) % f.commands.size()]; // each goes first in turn
            // A silent device's failure is what is timed; anything else must succeed.
            const bool silent = c.name == kSilentRead || c.name == kSilentMbpoll;
            const Timed timed = timeCommand(c.program, c.args);
            if (timed.wallMs >= 0 && timed.succeeded != silent) {
                c.times.push_back(timed.wallMs);
                c.cpu.push_back(timed.cpuMs);
            } else {
                std::fprintf(stderr, "%s: unexpected outcome\n", qPrintable(c.name));
            }
        }
    }
    return f;
}

void printShellFigures(QTextStream& out, ShellFigures& f, int runs)
{
    const double ours = f[kRead].median();
    out << "## One reading from the shell\n\n"
        << "Registers 1 to 37 read once from the same `quorva-cli simulate` "
           "pseudo-terminal (paced at 9600 baud); wall time of the whole process and "
           "the CPU time it used, medians of "
        << runs
        << " runs, every command of this section and the next taking turns to go first.\n\n"
        << "| command | time | quorva-cli read's time against it | CPU time |\n"
        << "|---|---|---|---|\n";
    for (const QString& name : {kRead, kLibmodbus, kQtReader, kMbpoll}) {
        const Command& c = f[name];
        out << "| " << c.name << " | "
            << (c.times.empty() ? QStringLiteral("failed") : ms(c.median())) << " | "
            << (c.times.empty() || name == kRead ? QString() : fixed(ours / c.median(), 3) + u'x')
            << " | " << ms(median(c.cpu), 2) << " |\n";
    }
    out << '\n';
}

// Registers 1 to 37 read (8 bytes out, 79 back), registers 1 to 11 written
// (31 out, the 8-byte echo back), each after the simulator's turnaround.
constexpr double kByteMs = 10'000.0 / 9600;
constexpr double kTurnaroundMs = 4;
constexpr double kReadLineMs = (8 + 79) * kByteMs + kTurnaroundMs;
constexpr double kWriteLineMs = 2 * kReadLineMs + (31 + 8) * kByteMs + kTurnaroundMs;

void printLinkGoals(QTextStream& out, ShellFigures& f, const std::vector<WindowFigures>& windows,
                    const std::vector<Platform>& platforms)
{
    const double read = f[kRead].median(), libmodbus = f[kLibmodbus].median();
    const double write = f[kWrite].median(), start = f[kDryRun].median();
    const double timeoutMs = 800, boundMs = timeoutMs + 200;
    out << "## The link's goals\n\n"
        << "Measured in the same run as the tables above; T is the response timeout (800 ms). "
           "The write reads the device, writes registers 1 to 11, awaits the echo and reads "
           "back: its line time is the three requests and replies on the wire, "
        << fixed(kWriteLineMs, 1)
        << " ms with the simulator's turnarounds; its process start is that of the same "
           "program with nothing on the line (`write --dry-run` with every field given).\n\n"
        << "| goal | measured | against | ratio |\n|---|---|---|---|\n"
        << "| `quorva-cli read` within 1.15x a bare libmodbus reader | " << ms(read) << " | "
        << ms(libmodbus) << " | " << fixed(read / libmodbus, 3) << "x |\n"
        << "| `quorva-cli write` within 1.15x its line time plus the same process start | "
        << ms(write) << " | " << ms(kWriteLineMs) << " + " << ms(start) << " = "
        << ms(kWriteLineMs + start) << " | " << fixed(write / (kWriteLineMs + start), 3)
        << "x |\n"
        << "| a silent device said so within T + 0.2 s (`quorva-cli read`) | "
        << ms(f[kSilentRead].median()) << " | " << ms(boundMs) << " (mbpoll -1: "
        << ms(f[kSilentMbpoll].median()) << ") | " << fixed(f[kSilentRead].median() / boundMs, 3)
        << " |\n";
    for (size_t p = 0; p < platforms.size(); ++p) {
        for (const auto& [name, figures] :
             {std::pair{QStringLiteral("the first poll after \"Conectar\""),
                        windows[p].silentConnect},
              {QStringLiteral("the first poll after a good reading"),
               windows[p].silentAfterReading}}) {
            out << "| the window's failure within T + 0.2 s of the tick (" << name << ", "
                << platforms[p].name << ", longest of " << figures.size() << ") | "
                << ms(longest(figures)) << " | " << ms(boundMs) << " | "
                << fixed(longest(figures) / boundMs, 3) << " |\n";
        }
    }
    out << '\n';
}

// Over the last 1, 5 and 15 minutes: how busy the shared machine was.
QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(f.readAll()).section(u' ', 0, 2);
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
    if (argc > 1 && qstrcmp(argv[1], "window") == 0) {
        QApplication app(argc, argv);
        const int i = app.arguments().indexOf(QStringLiteral("--polls"));
        return printWindowFigures(i > 0 ? app.arguments().value(i + 1).toInt() : 30);
    }

    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&args](const char* name, const QString& fallback = {}) {
        const int i = args.indexOf(QString::fromLatin1(name));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
    };
    const QDir bin(option("--bindir", QStringLiteral(".")));
    const int polls = option("--polls", "30").toInt();
    const int runs = option("--runs", "9").toInt();
    const int shellRuns = option("--shell-runs", "21").toInt();
    const QString xcbDisplay = option("--xcb");
    const QString beforeDir = option("--before");
    const QString beforeLabel = option("--before-label", QStringLiteral("before"));
    const int loadSeconds = option("--load-seconds", "10").toInt();
    const int loadRounds = option("--load-rounds", "3").toInt();
    const QString cli = bin.filePath("src/cli/quorva-cli");

    std::vector<Platform> platforms{platform(QStringLiteral("offscreen"))};
    if (!xcbDisplay.isEmpty())
        platforms.push_back(platform(QStringLiteral("xcb"), xcbDisplay));
    QStringList platformNames;
    for (const Platform& p : platforms)
        platformNames << p.name;

    QTextStream out(stdout);
    out << "## Machine\n\n"
        << "- " << cpuModel() << ", " << QThread::idealThreadCount() << " cores\n"
        << "- " << QSysInfo::prettyProductName() << ", kernel " << QSysInfo::kernelVersion()
        << ", Qt " << qVersion() << "; Qt platforms: " << platformNames.join(QStringLiteral(", "))
        << "\n"
        << "- " << QDateTime::currentDateTimeUtc().toString(Qt::ISODate)
        << ", load average at the start " << loadAverage() << "\n\n";
    out.flush();

    // ---- The window: data age and blocks, per platform.
    std::vector<WindowFigures> windows;
    for (const Platform& p : platforms)
        windows.push_back(windowFigures(app.applicationFilePath(), p, polls));
    QString header = QStringLiteral("| measure |");
    QString rule = QStringLiteral("|---|");
    for (const Platform& p : platforms) {
        header += u' ' + p.name + QStringLiteral(" |");
        rule += QStringLiteral("---|");
    }
    const auto row = [&](const QString& measure, auto&& cell) {
        out << "| " << measure << " |";
        for (const WindowFigures& w : windows)
            out << ' ' << cell(w) << " |";
        out << '\n';
    };
    const auto medianLongest = [](const std::vector<double>& v, int decimals) {
        return ms(median(v), decimals) + QStringLiteral(" (") + ms(longest(v), decimals) + u')';
    };
    out << "## Data age\n\n"
        << "The window on the virtual transmitter at 9600 baud 8N1, " << polls
        << " readings a platform, each with a device turnaround drawn between 4 and 5 ms; "
           "medians (longest in brackets). Displayed means painted: the frame in which "
           "`Edit28` shows the new value has been handed to the window system.\n\n"
        << header << '\n'
        << rule << '\n';
    row(QStringLiteral("readings displayed"), [&](const WindowFigures& w) {
        return QStringLiteral("%1 of %2").arg(w.readings).arg(polls);
    });
    row(QStringLiteral("reply's last byte in the queue to the value displayed"),
        [&](const WindowFigures& w) { return medianLongest(w.ageFromLastByte, 2); });
    row(QStringLiteral("of which: text set to frame painted"),
        [&](const WindowFigures& w) { return medianLongest(w.textToFrame, 2); });
    row(QStringLiteral("tick to the value displayed"),
        [&](const WindowFigures& w) { return medianLongest(w.ageFromTick, 1); });
    row(QStringLiteral("the line's limit: request and 79-byte reply on the wire, plus the "
                       "turnaround"),
        [&](const WindowFigures& w) { return ms(median(w.limit), 1); });
    row(QStringLiteral("tick to value, as a share of the line's limit"),
        [&](const WindowFigures& w) { return fixed(median(w.shareOfLimit), 3); });
    out << '\n';

    const auto withFloor = [](double block, double floor) {
        return ms(block, 2) + QStringLiteral(" (floor ") + ms(floor, 2) + u')';
    };
    out << "## Window thread blocked\n\n"
        << "Longest gap of a 1 ms timer on the window's thread, less its interval; goal under "
           "16 ms. Beside each figure, in brackets, its noise floor: the same probe over "
           "windows of the same length with the window idle and not connected.\n\n"
        << header << '\n'
        << rule << '\n';
    row(QStringLiteral("a poll (median over polls)"), [&](const WindowFigures& w) {
        return withFloor(median(w.pollBlock), median(w.floorBlock));
    });
    row(QStringLiteral("a poll (worst poll)"), [&](const WindowFigures& w) {
        return withFloor(longest(w.pollBlock), longest(w.floorBlock));
    });
    row(QStringLiteral("idle, connected, 2 s"),
        [&](const WindowFigures& w) { return withFloor(w.idleBlock, w.idleFloor); });
    out << '\n';
    out.flush();

    // ---- Start-up and memory against a minimal Qt Widgets program, alternated.
    out << "## Start-up and memory\n\n"
        << "Process start to the first painted frame of the window, and resident memory then; "
           "medians of "
        << runs << " alternated runs.\n\n"
        << "| program | platform | start-up | resident memory |\n|---|---|---|---|\n";
    for (const Platform& p : platforms) {
        std::vector<double> quorvaMs, quorvaRss, minimalMs, minimalRss;
        // A first run of each, not counted, brings their files into the cache.
        startOnce(bin.filePath("bench/bench_quorva_startup"), {"--simulate"}, p);
        startOnce(bin.filePath("bench/bench_minimal_widgets"), {}, p);
        for (int i = 0; i < runs; ++i) {
            const Startup q =
                startOnce(bin.filePath("bench/bench_quorva_startup"), {"--simulate"}, p);
            const Startup m = startOnce(bin.filePath("bench/bench_minimal_widgets"), {}, p);
            quorvaMs.push_back(q.ms);
            quorvaRss.push_back(q.rssKiB);
            minimalMs.push_back(m.ms);
            minimalRss.push_back(m.rssKiB);
        }
        out << "| quorva --simulate | " << p.name << " | " << ms(median(quorvaMs)) << " | "
            << fixed(median(quorvaRss) / 1024, 1) << " MiB |\n"
            << "| minimal Qt Widgets window | " << p.name << " | " << ms(median(minimalMs)) << " | "
            << fixed(median(minimalRss) / 1024, 1) << " MiB |\n"
            << "| ratio | " << p.name << " | " << fixed(median(quorvaMs) / median(minimalMs), 2)
            << " | " << fixed(median(quorvaRss) / median(minimalRss), 2) << " |\n";
    }
    out << '\n';
    out.flush();

    QTemporaryDir dir;
    // ---- CPU and wake-ups while reading, this build against an older one.
    {
        const QString healthyLink = dir.filePath("healthy"), silentLink = dir.filePath("silent");
        const Simulator healthy(cli, healthyLink, {});
        const Simulator silent(cli, silentLink, {"--fault", "no-reply"});
        struct Build
        {
            QString label;
            QDir dir;
        };
        std::vector<Build> builds;
        if (!beforeDir.isEmpty())
            builds.push_back({beforeLabel, QDir(beforeDir)});
        builds.push_back({QStringLiteral("this build"), bin});
        const Platform offscreen = platform(QStringLiteral("offscreen"));
        const QStringList programs{QStringLiteral("quorva-cli monitor --interval 1000"),
                                   QStringLiteral("window, reading (offscreen)")};
        const QStringList devices{QStringLiteral("healthy"), QStringLiteral("silent")};
        std::map<std::tuple<int, int, int>, Load> loads; // program, device, build
        for (int round = 0; round < loadRounds; ++round) {
            for (int program = 0; program < programs.size(); ++program) {
                for (int device = 0; device < devices.size(); ++device) {
                    const QString port = device == 0 ? healthyLink : silentLink;
                    for (size_t k = 0; k < builds.size(); ++k) {
                        // Alternated: each build goes first in every other round.
                        const size_t b = round % 2 ? builds.size() - 1 - k : k;
                        const QDir& d = builds[b].dir;
                        const bool ok =
                            program == 0
                                ? addLoad(loads[{program, device, int(b)}],
                                          d.filePath("src/cli/quorva-cli"),
                                          {"monitor", "--interval", "1000", "--port", port},
                                          offscreen, loadSeconds)
                                : addLoad(loads[{program, device, int(b)}],
                                          d.filePath("bench/bench_window_poll"), {port}, offscreen,
                                          loadSeconds);
                        if (!ok)
                            std::fprintf(stderr, "load: %s on %s failed\n",
                                         qPrintable(programs[program]), qPrintable(port));
                    }
                }
            }
        }
        out << "## CPU and wake-ups while reading\n\n"
            << "Whole processes reading a `quorva-cli simulate` pseudo-terminal once a second, "
               "healthy and silent (`--fault no-reply`); "
            << loadRounds << " rounds of " << loadSeconds
            << " s each, the builds alternated. Wake-ups are context switches a second; CPU is "
               "the share of one core.\n\n";
        out << "| program | device |";
        for (const Build& b : builds)
            out << ' ' << b.label << ": wake-ups/s | " << b.label << ": CPU |";
        out << "\n|---|---|";
        for (size_t b = 0; b < builds.size(); ++b)
            out << "---|---|";
        out << '\n';
        for (int program = 0; program < programs.size(); ++program) {
            for (int device = 0; device < devices.size(); ++device) {
                out << "| " << programs[program] << " | " << devices[device] << " |";
                for (size_t b = 0; b < builds.size(); ++b) {
                    const Load& l = loads[{program, device, int(b)}];
                    out << ' ' << fixed(l.wakeupsPerSecond(), 1) << " | "
                        << fixed(l.cpuPercent(), 3) << " % |";
                }
                out << '\n';
            }
        }
        out << '\n';
        out.flush();
    }

    // ---- From the shell: one reading against bare readers, the write against
    // its line time, a silent device; then the link's goals in one table.
    ShellFigures shell = shellFigures(bin, cli, dir, shellRuns);
    printShellFigures(out, shell, shellRuns);
    printLinkGoals(out, shell, windows, platforms);
    return 0;
}
