// Soak: many poll cycles of the window against the virtual transmitter, in
// simulated time, with the device's values changing and faults injected at
// random. Every accepted reading is checked against what the device sent,
// every rejected one against what was shown before; no cycle may write to the
// device. Resident memory is sampled from /proc/self/status as it runs.
//
//   quorva_soak [--cycles N] [--seed S] [--report FILE]
#include "windowrig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <map>
#include <random>

using Fault = quorva::sim::VirtualTransmitter::Fault;
using namespace quorva::transmitter;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

struct Injected
{
    const char* name;
    Fault fault;
    int weight;
};
constexpr Injected kFaults[] = {
    {"none", Fault::None, 700},
    {"no-reply", Fault::NoReply, 30},
    {"bad-crc", Fault::BadCrc, 30},
    {"exception", Fault::ExceptionReply, 30},
    {"other-slave", Fault::OtherSlave, 30},
    {"wrong-function", Fault::WrongFunction, 20},
    {"wrong-byte-count", Fault::WrongByteCount, 20},
    {"truncated", Fault::TruncatedReply, 30},
    {"noise", Fault::NoiseBeforeReply, 30},
    {"double-reply", Fault::DoubleReply, 20},
    {"flood", Fault::Flood, 10},
    {"write-refused", Fault::WriteRefused, 10},
    {"read-refused", Fault::ReadRefused, 10},
    {"unplugged", Fault::Unplugged, 10},
};

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&args](const char* name, const QString& fallback) {
        const int i = args.indexOf(QString::fromLatin1(name));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
    };
    const long cycles = option("--cycles", "100000").toLong();
    const unsigned seed = option("--seed", "2016").toUInt();
    const QString reportPath = option("--report", QString());

    std::mt19937 random(seed);
    std::vector<int> weights;
    for (const Injected& f : kFaults)
        weights.push_back(f.weight);
    std::discrete_distribution<size_t> pickFault(weights.begin(), weights.end());
    auto uniform = [&random](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };

    WindowRig w;
    w.connectAndRead();
    ShownValues previous = shownBy(w.form);
    std::map<std::string, long> injected, accepted;
    long mismatches = 0, writes = 0, reconnects = 0, acceptedTotal = 0;
    std::vector<long> rss;
    QElapsedTimer wall;
    wall.start();

    for (long cycle = 1; cycle <= cycles; ++cycle) {
        // The device's values move, as a live transmitter's do.
        w.device.setRegister(2, quint16(uniform(-2000, 20000)));
        if (uniform(0, 9) == 0) {
            w.device.setRegister(4, quint16(uniform(-120, 120)));
            w.device.setRegister(5, quint16(uniform(-1, 9)));
            w.device.setRegister(6, quint16(uniform(-32767, 32767)));
            w.device.setRegister(7, quint16(uniform(0, 65535)));
            w.device.setRegister(8, quint16(uniform(-1, 3)));
            w.device.setRegister(9, quint16(uniform(0, 2)));
            w.device.setRegister(10, quint16(uniform(90, 160)));
            w.device.setRegister(
                11, quint16(std::array<int, 4>{420, 421, 10, 7}[size_t(uniform(0, 3))]));
        }
        const Injected& fault = kFaults[pickFault(random)];
        w.device.setFault(fault.fault, uniform(1, 4));
        ++injected[fault.name];

        const qint8 counter = w.flags.StatusAnimation;
        w.form.Timer1Timer(w.form.Timer1);
        if (fault.fault == Fault::Unplugged) { // pulled while the reply is on its way
            w.device.setFault(Fault::None);
            w.clock.advanceMs(uniform(1, 60));
            w.master.service();
            w.device.setFault(Fault::Unplugged);
        }
        w.settle();
        const bool wasAccepted = w.flags.StatusAnimation != counter;
        const ShownValues now = shownBy(w.form);
        const ShownValues expected = wasAccepted ? sentBy(w.device) : previous;
        if (!(now == expected)) {
            ++mismatches;
            std::fprintf(stderr, "cycle %ld (%s): shown %s, expected %s\n", cycle, fault.name,
                         qPrintable(now.describe()), qPrintable(expected.describe()));
        }
        if (wasAccepted) {
            ++acceptedTotal;
            ++accepted[fault.name];
        }
        for (const auto& frame : w.device.receivedFrames())
            writes += frame.at(1) != 3 ? 1 : 0;
        w.device.clearReceivedFrames();
        previous = now;

        w.device.setFault(Fault::None);
        if (w.form.Connected == 0) {
            w.messages.messages.clear();
            WindowRig::click(w.form.btConectar);
            WindowRig::click(w.form.transmite);
            ++reconnects;
            previous = shownBy(w.form); // connecting clears what was shown
        }
        w.clock.advanceMs(1000 - (w.clock.nowUs() / 1000) % 1000);
        if (cycle % std::max(1L, cycles / 10) == 0)
            rss.push_back(residentKiB());
    }

    const double seconds = wall.elapsed() / 1000.0;
    // Memory is flat when the last sample is within 1 MiB of the second
    // (the first includes start-up's one-off allocations).
    const long growth = rss.size() >= 2 ? rss.back() - rss.at(1) : 0;
    const bool flat = kSanitized || growth <= 1024;

    QString report;
    QTextStream out(&report);
    out << "- cycles: " << cycles << " (seed " << seed << "), " << acceptedTotal
        << " readings accepted, " << reconnects << " reconnects, "
        << QString::number(seconds, 'f', 1) << " s of wall time for "
        << QString::number(w.clock.nowUs() / 3.6e9, 'f', 1) << " h of simulated polling\n";
    out << "- readings shown that differ from what the device sent: " << mismatches << "\n";
    out << "- requests other than reads sent to the device: " << writes << "\n";
    out << "- injected (accepted): ";
    QStringList parts;
    for (const Injected& f : kFaults)
        parts
            << QStringLiteral("%1 %2 (%3)").arg(f.name).arg(injected[f.name]).arg(accepted[f.name]);
    out << parts.join(", ") << "\n";
    QStringList samples;
    for (long kib : rss)
        samples << QString::number(kib);
    out << "- resident memory (VmRSS, KiB) at each tenth of the run: " << samples.join(", ")
        << (kSanitized ? " (AddressSanitizer build: not judged)" : "")
        << "; growth after the first tenth: " << growth << " KiB\n";
    std::fputs(qPrintable(report), stdout);
    if (!reportPath.isEmpty()) {
        QFile f(reportPath);
        if (f.open(QIODevice::WriteOnly | QIODevice::Text))
            f.write(report.toUtf8());
    }
    const bool ok = mismatches == 0 && writes == 0 && flat;
    std::fprintf(stdout, "%s\n", ok ? "soak: 1 passed, 0 failed" : "soak: 0 passed, 1 failed");
    return ok ? 0 : 1;
}
