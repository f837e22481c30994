// Soak: many poll cycles of the window against the virtual transmitter, in
// simulated time, with the device's values changing and faults injected at
// random. A reading whose reply the fault spoils must not be taken; a taken
// one must show what the device sent, a refused one what was shown before;
// no cycle may write to the device. Resident memory is sampled from
// /proc/self/status as it runs.
//
//   quorva_soak [--cycles N] [--seed S] [--report FILE]
#include "transmitter/configwrite.h"
#include "transmitter/reading.h"
#include "windowrig.h"

#include <QApplication>
#include <cstdio>
#include <random>

using namespace quorva::transmitter;

namespace {

struct Injected
{
    QString name; // as the command line names it
    Fault fault;
    long count = 0, taken = 0;
};

// The device data the window shows: which reading is shown is the question
// here, the texts themselves are pinned in tst_mainwindow.
QStringList shownValues(const TForm1& f)
{
    return lines(part<QLineEdit>(f, "Edit28")->text(), part<QLabel>(f, "Label8")->text(),
                 part<QLineEdit>(f, "Edit7")->text(), part<QLineEdit>(f, "Edit8")->text(),
                 part<quorva::ui::MaskEdit>(f, "MaskEdit1")->maskedText().trimmed(),
                 part<QLabel>(f, "Label5")->text(),
                 QString::number(part<quorva::ui::RadioGroup>(f, "RadioGroup1")->itemIndex()),
                 QString::number(part<quorva::ui::RadioGroup>(f, "RadioGroup2")->itemIndex()),
                 QString::number(part<quorva::ui::RadioGroup>(f, "RadioGroup3")->itemIndex()));
}

// What the window must show for the device's registers as they stand.
QStringList sentValues(const quorva::sim::VirtualTransmitter& d)
{
    std::vector<quint16> words;
    for (int n = 1; n <= kReadRegisterCount; ++n)
        words.push_back(d.reg(n));
    const ReadingReport r = describeReading(decodeRegisterImage(words));
    // The pressure input has no item in the window's group, which then shows none.
    const int shownSensor = shownChoice(r.sensorTypeIndex, int(kSensorTypes.size()));
    const MeasuredText measured = measuredValueText(shownSensor, r.measuredRaw);
    return lines(measured.value, measured.unit, r.rangeLower, r.rangeUpper,
                 isZeroFieldText(r.zeroAdjust) ? r.zeroAdjust : QString(), r.firmware,
                 QString::number(shownSensor), QString::number(r.sensorErrorIndex),
                 QString::number(r.outputDirectionIndex));
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&args](const char* name, const char* fallback) {
        const int i = args.indexOf(QString::fromLatin1(name));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString::fromLatin1(fallback);
    };
    const long cycles = option("--cycles", "100000").toLong();
    const unsigned seed = option("--seed", "2016").toUInt();
    // Under AddressSanitizer (its options are set) resident memory is not judged.
    const bool memoryChecked = !qEnvironmentVariableIsSet("ASAN_OPTIONS");

    // The faults injected, and how many times in 1030 cycles each comes.
    std::vector<Injected> faults;
    for (const char* name :
         {"none", "no-reply", "bad-crc", "exception", "other-slave", "wrong-function",
          "wrong-byte-count", "truncated", "noise", "double-reply", "flood", "write-refused",
          "read-refused", "unplugged"}) {
        Fault fault{};
        if (!quorva::sim::faultFromName(name, fault))
            qFatal("no fault is named %s", name);
        faults.push_back({name, fault});
    }
    const int weights[] = {700, 30, 30, 30, 30, 20, 20, 30, 30, 20, 10, 10, 10, 10};
    std::mt19937 random(seed);
    std::discrete_distribution<size_t> pickFault(std::begin(weights), std::end(weights));
    auto uniform = [&random](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };

    WindowRig w;
    w.connectAndRead();
    QStringList previous = shownValues(w.form);
    long mismatches = 0, writes = 0, reconnects = 0, takenTotal = 0;
    QStringList rss;
    QElapsedTimer wall;
    wall.start();

    for (long cycle = 1; cycle <= cycles; ++cycle) {
        // The device's values move, as a live transmitter's do.
        w.device.setRegister(2, quint16(uniform(-2000, 20000)));
        if (uniform(0, 9) == 0) {
            for (auto [n, lo, hi] : {std::array{4, -120, 120},
                                     {5, -1, 9},
                                     {6, -32767, 32767},
                                     {7, 0, 65535},
                                     {8, -1, 3},
                                     {9, 0, 2},
                                     {10, 90, 160}})
                w.device.setRegister(n, quint16(uniform(lo, hi)));
            w.device.setRegister(11, quint16(std::array{420, 421, 10, 7}[size_t(uniform(0, 3))]));
        }
        Injected& fault = faults[pickFault(random)];
        w.device.setFault(fault.fault, uniform(1, 4));
        ++fault.count;

        const qint8 counter = w.flags.StatusAnimation;
        w.tick();
        if (fault.fault == Fault::Unplugged) { // pulled while the reply is on its way
            w.device.setFault(Fault::None);
            w.runMs(uniform(1, 60));
            w.device.setFault(Fault::Unplugged);
        }
        w.settle();
        const bool taken = w.flags.StatusAnimation != counter;
        const QStringList now = shownValues(w.form);
        const QStringList expected = taken ? sentValues(w.device) : previous;
        // Only these replies arrive whole and valid.
        const bool mayBeTaken = fault.fault == Fault::None || fault.fault == Fault::DoubleReply;
        if (now != expected || (taken && !mayBeTaken)) {
            ++mismatches;
            std::fprintf(stderr, "cycle %ld (%s): shown %s, expected %s%s\n", cycle,
                         qPrintable(fault.name), qPrintable(now.join('|')),
                         qPrintable(expected.join('|')), taken ? " (taken)" : "");
        }
        takenTotal += taken;
        fault.taken += taken;
        for (const auto& frame : w.device.receivedFrames())
            writes += frame.at(1) != 3 ? 1 : 0;
        w.device.clearReceivedFrames();
        previous = now;

        w.device.setFault(Fault::None);
        if (w.button("btConectar")->text() == "Conectar") {
            WindowRig::click(w.button("btConectar"));
            WindowRig::click(w.button("transmite"));
            ++reconnects;
            previous = shownValues(w.form); // connecting clears what was shown
        }
        w.toNextSecond();
        if (cycle % std::max(1L, cycles / 10) == 0)
            rss << QString::number(procNumber("status", "VmRSS"));
    }

    // Memory is flat when the last sample is within 1 MiB of the second
    // (the first includes start-up's one-off allocations).
    const long growth = rss.size() >= 2 ? rss.back().toLong() - rss.at(1).toLong() : 0;
    QStringList injected;
    for (const Injected& f : faults)
        injected << QStringLiteral("%1 %2 (%3)").arg(f.name).arg(f.count).arg(f.taken);
    const QString report = QString::asprintf(
        "- cycles: %ld (seed %u), %ld readings taken, %ld reconnects, %.1f s of wall time for "
        "%.1f h of simulated polling\n- readings shown that differ from what the device sent, or "
        "taken from a spoilt reply: %ld\n- requests other than reads sent to the device: %ld\n"
        "- injected (taken): %s\n- resident memory (VmRSS, KiB) at each tenth of the run: %s%s; "
        "growth after the first tenth: %ld KiB\n",
        cycles, seed, takenTotal, reconnects, wall.elapsed() / 1000.0, w.clock.nowUs() / 3.6e9,
        mismatches, writes, qPrintable(injected.join(", ")), qPrintable(rss.join(", ")),
        memoryChecked ? "" : " (sanitizer build: not judged)", growth);
    std::fputs(qPrintable(report), stdout);
    if (QFile out(option("--report", ""));
        !out.fileName().isEmpty() && out.open(QIODevice::WriteOnly | QIODevice::Text))
        out.write(report.toUtf8());
    const bool ok = mismatches == 0 && writes == 0 && (!memoryChecked || growth <= 1024);
    std::fprintf(stdout, "%s\n", ok ? "soak: 1 passed, 0 failed" : "soak: 0 passed, 1 failed");
    return ok ? 0 : 1;
}
