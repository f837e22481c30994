// The master's hold on the line, against a scripted slave in simulated time:
// a reply never answers a later request however late it comes, a copy never
// meets the next request, a never-quiet line never holds a request for ever,
// one garbled reply costs one reading, a device that answers only its reading
// reads, a silent one is said so within the response timeout, a hang-up ends
// the transaction at once, and the link wakes on arrival only.
// What the window shows of each fault is the fault matrix's (tst_faultmatrix),
// which also stops a reading in flight and sends at once: the cancelled
// reading keeps the line until its reply has crossed it.
#include "fuzz/rtu.h"
#include "link/linenote.h"
#include "scripteddriver.h"

#include <QtTest>
#include <functional>
#include <map>
#include <set>

using namespace quorva::link;

namespace {
constexpr std::array<qint32, 11> kZeros{};
constexpr int kReadingCount = 37;

// A reply to a read of `count` registers, register 2 (the measured value)
// carrying `tag`, sealed with the CRC-16/MODBUS the fuzz targets compute.
QByteArray readReply(int count, quint16 tag)
{
    QByteArray frame = QByteArray::fromHex("0103") + char(2 * count);
    for (int k = 0; k < count; ++k)
        frame.append(char(k == 1 ? tag >> 8 : 0)).append(char(k == 1 ? tag & 0xFF : 0));
    return rtu::sealed(frame);
}

// How a scripted slave answers request number n (1 for the first written):
// after `lateMs` (-1: never), `copies` times, `copyGapMs` apart.
struct Behaviour
{
    using Spoil = std::function<QByteArray(int n, const QByteArray& request, const QByteArray& reply)>;
    Behaviour(std::function<int(int n)> late = {}, int copyCount = 1, int gapMs = 2,
              Spoil spoiler = {})
        : lateMs(std::move(late)), copies(copyCount), copyGapMs(gapMs), spoil(std::move(spoiler))
    {}
    std::function<int(int n)> lateMs;
    int copies = 1;
    int copyGapMs = 2;
    // What reaches the line for request n instead of its reply, as a line
    // spoils it (none: the reply).
    Spoil spoil;
    // A firmware that knows only its master's reading: a read of another
    // count is answered, refused (exception 3) or ignored.
    enum class Others { Answered, Refused, Ignored } others = Others::Answered;
    // The readings (1 for the first written) it never hears.
    std::set<int> lostReadings;
    // What came before the open: nothing, an unknown past (a run killed
    // outright while it held the port; its answer arrives `foreignAnswerMs`
    // after the open), or the last run's reading, noted as unanswered 500 ms
    // before the open (with what that run learned: the device answers its
    // readings alone).
    enum class Past { Quiet, Unknown, Noted, NotedReadingsOnly } past = Past::Quiet;
    int foreignAnswerMs = -1;
};

// A slave answering every request after `ms` (-1: never).
Behaviour always(int ms)
{
    return {[ms](int) { return ms; }};
}

struct Rig : ScriptedLine
{
    QList<TransactionResult> results;
    int submitted = 0;
    int readingsHeard = 0;
    std::map<int, qint64> lastCopyDueUs; // by request number
    qint64 slaveFreeAtUs = 0;

    explicit Rig(bool paced = true) : ScriptedLine(paced)
    {
        QObject::connect(&master, &ModbusMaster::finished,
                         [this](const TransactionResult& r) { results << r; });
    }
    // A reading's reply carries the number of the request it answers, a
    // write's is its echo (from pymodbus 3.0). The slave answers in order: a
    // reply never leaves before the one ahead of it has. On a paced line the
    // bytes land one character apart; on a pseudo-terminal a copy at once.
    void answer(const Behaviour& b)
    {
        driver.slave = [this, b](const QByteArray& request, qint64 at) {
            const int n = int(driver.writes.size());
            const bool other = request.at(1) == 3 && quint8(request.at(5)) != kReadingCount;
            readingsHeard += request.at(1) == 3 && !other;
            const int late = b.lateMs(n);
            if (late < 0 || (other && b.others == Behaviour::Others::Ignored) ||
                (request.at(1) == 3 && !other && b.lostReadings.count(readingsHeard)))
                return;
            QByteArray reply = request.at(1) == 3 ? readReply(quint8(request.at(5)), quint16(n))
                                                  : QByteArray::fromHex("01100000000b81ce");
            if (other && b.others == Behaviour::Others::Refused)
                reply = rtu::sealed(QByteArray::fromHex("018303"));
            if (b.spoil)
                reply = b.spoil(n, request, reply);
            const qint64 lineUs = driver.paced ? lineTimeUs(reply.size()) : 0;
            qint64 startUs = std::max(
                at + (driver.paced ? lineTimeUs(request.size()) : 0) + late * 1000, slaveFreeAtUs);
            for (int copy = 0; copy < b.copies; ++copy) {
                if (driver.paced) {
                    for (int k = 0; k < reply.size(); ++k)
                        driver.arriveAt(startUs + lineTimeUs(k + 1), reply.mid(k, 1));
                } else {
                    driver.arriveAt(startUs, reply);
                }
                lastCopyDueUs[n] = startUs + lineUs;
                startUs += lineUs + b.copyGapMs * 1000;
            }
            slaveFreeAtUs = lastCopyDueUs[n];
        };
    }
    // The line's past as `b` tells it, at the open.
    void open(const Behaviour& b)
    {
        // A run that held the port and never let go (killed outright) leaves
        // its past unknown.
        const QByteArray written =
            "quorva-line 1\nwritten " + QByteArray::number(quorva::link::monotonicNowMs() - 500);
        if (b.past == Behaviour::Past::Unknown)
            driver.note = written + "\nin-use\n";
        else if (b.past != Behaviour::Past::Quiet)
            driver.note = written + "\nunanswered 3 0 37 0\n" +
                          (b.past == Behaviour::Past::Noted ? "" : "readings-only\n");
        master.opened();
        if (b.foreignAnswerMs >= 0)
            driver.arriveAt(b.foreignAnswerMs * 1000LL, readReply(kReadingCount, 0xBEEF));
    }
    // The window's timer: a reading every second (or as often as asked)
    // unless one is still waiting; each poll's result noted as a letter (r
    // read, f failed).
    void pollFor(int polls, int everyMs = 1000)
    {
        for (int s = 0; s < polls; ++s, runMs(everyMs))
            if (!master.requestWaiting())
                submitted += master.readHoldingRegisters(1, 1, kReadingCount) != SendOutcome::Busy;
    }
    QString polls() const
    {
        QString letters;
        for (const TransactionResult& r : results)
            letters += r.ok() ? u'r' : u'f';
        return letters;
    }
    // The number of the last reading written: the request a reading's result answers.
    int lastReadingWritten() const
    {
        for (qsizetype i = driver.writes.size() - 1; i >= 0; --i)
            if (quint8(driver.writes.at(i).bytes.at(5)) == kReadingCount)
                return int(i) + 1;
        return 0;
    }
    // Readings taken for another request's answer, as "taken for written".
    QStringList stale;
    void watchForStaleReadings()
    {
        QObject::connect(&master, &ModbusMaster::finished, [this](const TransactionResult& r) {
            if (r.ok() && r.function == 3 && int(r.words.at(1)) != lastReadingWritten())
                stale << QStringLiteral("%1 for %2").arg(r.words.at(1)).arg(lastReadingWritten());
        });
    }
};

// What a line does to one reply.
QByteArray badCrc(int, const QByteArray&, const QByteArray& reply)
{
    QByteArray spoilt = reply;
    spoilt[spoilt.size() - 1] = char(spoilt.back() ^ 0x5A);
    return spoilt;
}
// The reply of request `n` as `spoil` leaves it; the others as sent.
template <typename Spoil> auto onlyOn(int n, Spoil spoil)
{
    return [n, spoil](int m, const QByteArray& request, const QByteArray& reply) {
        return m == n ? spoil(m, request, reply) : reply;
    };
}
} // namespace

Q_DECLARE_METATYPE(Behaviour)

class TestModbusMaster : public QObject
{
    Q_OBJECT

private slots:
    // Slaves late by more than the response timeout, every time or once, or
    // answering twice: polled once a second for half a minute, no reading is
    // ever taken but the request's own (its number in register 2), every poll
    // has its result, and a slave in time (once, or with a longer timeout)
    // reads again. So after an open on a past left by another program or by
    // the last run (its reading, noted unanswered), whose answer comes late.
    void lateReplyNeverPassesForAnother_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<Behaviour>("slave");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("reads"); // readings resume and keep coming
        for (bool paced : {true, false}) {
            const char* line = paced ? "paced" : "pseudo-terminal";
            for (int ms : {1050, 1200, 1300, 1500, 1900, 2500, 4000})
                QTest::addRow("%s, every reply %d ms late", line, ms)
                    << paced << always(ms) << 800 << false;
            QTest::addRow("%s, silent", line) << paced << always(-1) << 800 << false;
            QTest::addRow("%s, 1500 ms late once", line)
                << paced << Behaviour{[](int n) { return n == 3 ? 1500 : 4; }} << 800 << true;
            QTest::addRow("%s, 4000 ms late once", line)
                << paced << Behaviour{[](int n) { return n == 2 ? 4000 : 4; }} << 800 << true;
            QTest::addRow("%s, every reply twice, 2 ms apart", line)
                << paced << Behaviour{[](int) { return 4; }, 2, 2} << 800 << true;
            QTest::addRow("%s, 1500 ms late, 2000 ms timeout", line)
                << paced << always(1500) << 2000 << true;
            for (const auto past : {Behaviour::Past::Unknown, Behaviour::Past::Noted}) {
                Behaviour late = always(1500);
                late.past = past;
                late.foreignAnswerMs = 500;
                QTest::addRow("%s, %s's answer after the open", line,
                              past == Behaviour::Past::Noted ? "the last run" : "a killed run")
                    << paced << late << 2000 << true;
            }
        }
    }
    void lateReplyNeverPassesForAnother()
    {
        QFETCH(bool, paced);
        QFETCH(Behaviour, slave);
        QFETCH(int, timeoutMs);
        QFETCH(bool, reads);
        Rig rig(paced);
        rig.master.setResponseTimeoutMs(timeoutMs);
        rig.answer(slave);
        rig.open(slave);
        rig.watchForStaleReadings();
        rig.pollFor(30);
        rig.runMs(rig.master.writeWaitBoundMs());
        QVERIFY2(rig.stale.isEmpty(), qPrintable(rig.stale.join(", ")));
        QCOMPARE(rig.results.size(), rig.submitted);
        // Only the slave's own answers come: a slow slave is no busy line.
        QVERIFY(std::none_of(rig.results.begin(), rig.results.end(),
                             [](const auto& r) { return r.outcome == ReplyOutcome::LineBusy; }));
        if (!reads) {
            QVERIFY2(!rig.polls().contains('r'), qPrintable(rig.polls()));
            return;
        }
        QVERIFY2(rig.results.size() >= 15, qPrintable(rig.polls()));
        QVERIFY2(rig.polls().endsWith("rrrrr"), qPrintable(rig.polls()));
    }

    // A slave answering every other request (the master's resyncs among
    // them) later than the response timeout, in order: it reads at least
    // every other poll once the master has seen how late it is.
    void everyOtherLateReadsEveryOtherPoll_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<int>("lateMs");
        for (bool paced : {true, false})
            for (int ms : {1000, 1200, 1500})
                QTest::addRow("%s, %d ms late", paced ? "paced" : "pseudo-terminal", ms)
                    << paced << ms;
    }
    void everyOtherLateReadsEveryOtherPoll()
    {
        QFETCH(bool, paced);
        QFETCH(int, lateMs);
        Rig rig(paced);
        rig.answer({[lateMs](int n) { return n % 2 == 0 ? lateMs : 4; }});
        rig.watchForStaleReadings();
        rig.pollFor(40);
        QVERIFY2(rig.stale.isEmpty(), qPrintable(rig.stale.join(", ")));
        QVERIFY2(!rig.polls().mid(10).contains("ff"), qPrintable(rig.polls()));
    }

    // One reply spoilt on the line costs its own reading, never the next
    // poll's (a reply with its own request's echo before it costs none);
    // so does one reply later than the timeout. Polled every 250 ms, the
    // reading after noise or another slave's frame reads too: the reply
    // behind them, whole once its tail is in, is known for the lost one's.
    void oneBadReplyCostsOneReading_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<Behaviour>("slave");
        QTest::addColumn<int>("everyMs");
        QTest::addColumn<QString>("polls");
        const auto inFront = [](const QByteArray& junk) {
            return onlyOn(3, [junk](int, const QByteArray&, const QByteArray& reply) {
                return junk + reply;
            });
        };
        const QByteArray noise = QByteArray::fromHex("ff0055");
        const QByteArray otherSlave = rtu::sealed(QByteArray::fromHex("020302002a"));
        for (bool paced : {true, false}) {
            const char* line = paced ? "paced" : "pseudo-terminal";
            const auto row = [&](const char* name, const Behaviour& b, const char* polls,
                                 int everyMs = 1000) {
                QTest::addRow("%s, %s, every %d ms", line, name, everyMs)
                    << paced << b << everyMs << QString(polls);
            };
            const auto prompt = [](int) { return 4; };
            row("a bad CRC", {prompt, 1, 2, onlyOn(3, badCrc)}, "rrfrrr");
            row("noise before it", {prompt, 1, 2, inFront(noise)}, "rrfrrr");
            row("noise before it", {prompt, 1, 2, inFront(noise)}, "rrfrrrrr", 250);
            // Whole sooner than a reply can cross a paced line, it is dropped there.
            row("another slave's reply before it", {prompt, 1, 2, inFront(otherSlave)},
                paced ? "rrrrrr" : "rrfrrr");
            row("another slave's reply before it", {prompt, 1, 2, inFront(otherSlave)},
                paced ? "rrrrrrrr" : "rrfrrrrr", 250);
            row("its request's echo before it", {prompt, 1, 2, [](int, const QByteArray& request,
                                                                  const QByteArray& reply) {
                     return request + reply;
                 }},
                "rrrrrr");
            row("a byte count past its end",
                {prompt, 1, 2, onlyOn(3, [](int, const QByteArray&, const QByteArray& reply) {
                     return rtu::sealed(reply.left(2) + char(0xF0) + reply.mid(3, 74));
                 })},
                "rrfrrr");
            row("one reply 1500 ms late", {[](int n) { return n == 3 ? 1500 : 4; }}, "rrfrrr");
        }
    }
    void oneBadReplyCostsOneReading()
    {
        QFETCH(bool, paced);
        QFETCH(Behaviour, slave);
        QFETCH(int, everyMs);
        QFETCH(QString, polls);
        Rig rig(paced);
        rig.answer(slave);
        rig.watchForStaleReadings();
        rig.pollFor(int(polls.size()), everyMs);
        QVERIFY2(rig.stale.isEmpty(), qPrintable(rig.stale.join(", ")));
        QCOMPARE(rig.polls(), polls);
    }

    // A firmware that knows only its master's reading (37 registers): it
    // refuses every other count, or ignores it. Either reads from the first
    // poll, and again after a reading lost on the line: the refusal of a
    // resync is an answer; for silence the master waits until the lost
    // reading's answer could no longer come, the horizon the first time, a
    // settle once it has seen the device skip a resync (or a run noted so).
    void readingsOnlyDeviceReads_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<Behaviour>("slave");
        QTest::addColumn<QString>("polls"); // a regular expression
        for (bool paced : {true, false}) {
            const char* line = paced ? "paced" : "pseudo-terminal";
            for (const auto others : {Behaviour::Others::Refused, Behaviour::Others::Ignored}) {
                const bool refused = others == Behaviour::Others::Refused;
                const char* how = refused ? "refused" : "ignored";
                const auto row = [&](const char* name, const Behaviour& b, const char* polls) {
                    QTest::addRow("%s, others %s%s", line, how, name) << paced << b << polls;
                };
                Behaviour b{[](int) { return 4; }};
                b.others = others;
                row("", b, "r{40}");
                b.lostReadings = {3, 13};
                row(", two readings lost", b,
                    refused ? "rrf{1,2}r{9}f{1,2}r+" : "rrf{10,}r{9}f{1,2}r+");
                b.lostReadings = {};
                b.past = Behaviour::Past::Noted;
                row(", the last run's reading unanswered", b, refused ? "f?r+" : "f{10,}r+");
                b.past = Behaviour::Past::NotedReadingsOnly;
                row(", the last run's reading unanswered, noted so", b, refused ? "f?r+" : "f{0,2}r+");
            }
        }
    }
    void readingsOnlyDeviceReads()
    {
        QFETCH(bool, paced);
        QFETCH(Behaviour, slave);
        QFETCH(QString, polls);
        Rig rig(paced);
        rig.answer(slave);
        rig.open(slave);
        rig.watchForStaleReadings();
        rig.pollFor(40);
        QVERIFY2(rig.stale.isEmpty(), qPrintable(rig.stale.join(", ")));
        QVERIFY2(QRegularExpression("^" + polls + "$").match(rig.polls()).hasMatch(),
                 qPrintable(rig.polls()));
    }

    // A device that misses one request (or finds the last run's unanswered,
    // or a killed run's past, whose reading's answer lands on the first
    // resync) and then refuses at once every request, or every count but its
    // reading: each refusal is the request's on the line, not the missed
    // one's still, and the killed run's answer is no bad reply of the
    // resync's. In step at once, the polls say the refusal, or read.
    void refusingDeviceAfterAMissedRequest_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<Behaviour>("slave");
        QTest::addColumn<QString>("polls"); // x: refused, r: read, f: failed
        for (bool paced : {true, false}) {
            const char* line = paced ? "paced" : "pseudo-terminal";
            Behaviour missed{[](int n) { return n == 1 ? -1 : 4; }};
            missed.spoil = [](int, const QByteArray&, const QByteArray&) {
                return rtu::sealed(QByteArray::fromHex("018302"));
            };
            QTest::addRow("%s, its first missed", line) << paced << missed << "fx{11}";
            Behaviour noted = missed;
            noted.lateMs = [](int) { return 4; };
            noted.past = Behaviour::Past::Noted;
            QTest::addRow("%s, the last run's reading unanswered", line)
                << paced << noted << "f?x{11,12}";
            Behaviour killed{[](int) { return 4; }};
            killed.others = Behaviour::Others::Refused;
            killed.past = Behaviour::Past::Unknown;
            killed.foreignAnswerMs = 2;
            QTest::addRow("%s, a killed run's past", line) << paced << killed << "f?r{11,12}";
        }
    }
    void refusingDeviceAfterAMissedRequest()
    {
        QFETCH(bool, paced);
        QFETCH(Behaviour, slave);
        QFETCH(QString, polls);
        Rig rig(paced);
        rig.answer(slave);
        rig.open(slave);
        rig.pollFor(12);
        QString outcomes;
        for (const TransactionResult& r : rig.results)
            outcomes += r.ok()                                                        ? u'r'
                        : r.outcome == ReplyOutcome::Exception && r.exceptionCode == 2 ? u'x'
                                                                                       : u'f';
        QVERIFY2(QRegularExpression("^" + polls + "$").match(outcomes).hasMatch(),
                 qPrintable(outcomes));
    }

    // A master notes that it holds the port as soon as it opens it, so a run
    // killed outright leaves the next an unknown past, not a quiet line; let
    // go, it notes what it left unanswered instead.
    void holdingThePortIsNoted()
    {
        Rig rig;
        rig.answer(always(-1));
        rig.open(Behaviour{});
        QVERIFY2(rig.driver.note.startsWith("quorva-line 1\nwritten ") &&
                     rig.driver.note.endsWith("\nin-use\n"),
                 rig.driver.note.constData());
        rig.master.readHoldingRegisters(1, 1, kReadingCount);
        rig.runMs(50);
        rig.master.reset();
        QVERIFY2(rig.driver.note.contains("\nunanswered 3 0 37 ") &&
                     !rig.driver.note.contains("in-use"),
                 rig.driver.note.constData());
    }

    // A silent device is said so within the response timeout and the gap of
    // each poll, the first included, on a line left quiet or noted out of
    // step; a poll that could not go out says that, not the last failure.
    void silentDeviceSaidSoInTime_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<bool>("noted");
        for (bool paced : {true, false})
            for (bool noted : {false, true})
                QTest::addRow("%s, %s", paced ? "paced" : "pseudo-terminal",
                              noted ? "noted out of step" : "quiet")
                    << paced << noted;
    }
    void silentDeviceSaidSoInTime()
    {
        QFETCH(bool, paced);
        QFETCH(bool, noted);
        Rig rig(paced);
        Behaviour silent = always(-1);
        silent.past = noted ? Behaviour::Past::Noted : Behaviour::Past::Quiet;
        rig.answer(silent);
        rig.open(silent);
        const qint64 boundUs = rig.master.responseTimeoutMs() * 1000LL + rig.master.interFrameGapUs();
        QList<qint64> waitedUs;
        for (int poll = 0; poll < 10; ++poll, rig.runMs(1000 - int(waitedUs.last() / 1000) - 1)) {
            const qint64 submittedUs = rig.clock.nowUs();
            rig.master.readHoldingRegisters(1, 1, kReadingCount);
            while (rig.results.size() == poll)
                rig.runMs(1);
            waitedUs << rig.clock.nowUs() - submittedUs;
            QVERIFY2(waitedUs.last() <= boundUs + 1000, qPrintable(QString::number(poll)));
        }
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::NoReply);
        for (const TransactionResult& r : rig.results)
            QVERIFY2(r.outcome == ReplyOutcome::NoReply || r.outcome == ReplyOutcome::NotSent,
                     outcomeName(r.outcome));
    }

    // A line with another talker's 16-byte burst once a second (quiet
    // between them) or every 10 ms (never quiet for the gap). A slave that
    // once answers with a bad CRC reads again; a silent one has every poll
    // fail, said busy only where bytes kept the request off the line, and a
    // write that cannot go out fails within its bound, sent not at all, as
    // busy or as the device's silence. Nothing waits for ever.
    void noisyLineNeverHoldsARequest_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<int>("burstEveryMs");
        QTest::addColumn<bool>("silent");
        for (bool paced : {true, false}) {
            const char* line = paced ? "paced" : "pseudo-terminal";
            QTest::addRow("%s, bursts every second, one bad CRC", line) << paced << 1000 << false;
            QTest::addRow("%s, bursts every second, silent slave", line) << paced << 1000 << true;
            QTest::addRow("%s, bursts every 2 ms, silent slave", line) << paced << 2 << true;
        }
    }
    void noisyLineNeverHoldsARequest()
    {
        QFETCH(bool, paced);
        QFETCH(int, burstEveryMs);
        QFETCH(bool, silent);
        Rig rig(paced);
        for (int ms = 300; ms < 40'000; ms += burstEveryMs)
            rig.driver.arriveAt(ms * 1000LL, QByteArray(16, char(0xA5)));
        rig.answer({[silent](int) { return silent ? -1 : 4; }, 1, 2, onlyOn(2, badCrc)});
        rig.pollFor(20);
        rig.runMs(rig.master.responseTimeoutMs());
        QCOMPARE(rig.results.size(), rig.submitted);
        QVERIFY(rig.submitted >= 19); // a result every poll, give or take one
        const bool busy = burstEveryMs < 1000;
        const auto saysBusy = [](const TransactionResult& r) {
            return r.outcome == ReplyOutcome::LineBusy;
        };
        if (silent) {
            QVERIFY2(!rig.polls().contains('r'), qPrintable(rig.polls()));
            QCOMPARE(std::any_of(rig.results.begin(), rig.results.end(), saysBusy), busy);
            QCOMPARE(rig.master.writeMultipleRegisters(1, 1, 11, kZeros.data()),
                     SendOutcome::Queued);
            rig.runMs(rig.master.writeWaitBoundMs()); // and its result is in
            QCOMPARE(rig.results.last().function, quint8(16));
            QCOMPARE(rig.results.last().outcome,
                     busy ? ReplyOutcome::LineBusy : ReplyOutcome::NotSent);
            return;
        }
        QCOMPARE(rig.results.at(1).outcome, ReplyOutcome::BadReply);
        // Now and then a burst lands in a reply; the next poll reads.
        QVERIFY2(!rig.polls().mid(2).contains("ff"), qPrintable(rig.polls()));
    }

    // Read, write and read back at once, as the command line does, then read
    // again, against a slave that sends every reply twice: each result is its
    // own request's. On a paced line each request waits for the second copy
    // ahead of it and a quiet gap; on a pseudo-terminal only one whose reply
    // has the last one's shape, another going at once, the copy dropped.
    void secondCopyNeverMeetsTheNextRequest_data()
    {
        QTest::addColumn<bool>("paced");
        for (bool paced : {true, false})
            QTest::newRow(paced ? "paced" : "pseudo-terminal") << paced;
    }
    void secondCopyNeverMeetsTheNextRequest()
    {
        QFETCH(bool, paced);
        Rig rig(paced);
        rig.answer({[](int) { return 4; }, 2, 2});
        QObject::connect(&rig.master, &ModbusMaster::finished, [&](const TransactionResult& r) {
            if (!r.ok())
                return;
            if (rig.results.size() == 1)
                rig.master.writeMultipleRegisters(1, 1, 11, kZeros.data());
            else if (rig.results.size() < 4)
                rig.master.readHoldingRegisters(1, 1, kReadingCount);
        });
        rig.master.readHoldingRegisters(1, 1, kReadingCount);
        rig.runMs(2000);
        QCOMPARE(rig.polls(), "rrrr");
        QCOMPARE(rig.results.at(1).quantity, 11);
        QCOMPARE(int(rig.results.at(2).words.at(1)), 3); // the third request's own
        QCOMPARE(int(rig.results.at(3).words.at(1)), 4);
        for (int n = 1; n < 4; ++n) {
            const bool waited = rig.driver.writes.at(n).atUs >=
                                rig.lastCopyDueUs[n] + rig.master.interFrameGapUs();
            QCOMPARE(waited, paced || n == 3);
        }
    }

    // A reply to some older request: already queued when a request goes out
    // (purged), or whole on a paced line sooner than the request and its
    // reply can cross it (dropped), or right behind the reply (left for the
    // next purge). Either way the reply is the request's own.
    void frameWholeTooSoonOnAPacedLineIsStale_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<int>("staleAtUs");
        QTest::newRow("whole 7 ms after the request") << true << 7000;
        QTest::newRow("queued before, pseudo-terminal") << false << 0;
        // Whole right behind the reply (at 94,625 ms): taken with it, it spoils nothing.
        QTest::newRow("right behind the reply") << true << 94626;
    }
    void frameWholeTooSoonOnAPacedLineIsStale()
    {
        QFETCH(bool, paced);
        QFETCH(int, staleAtUs);
        Rig rig(paced);
        rig.answer(always(4));
        rig.driver.arriveAt(staleAtUs, readReply(kReadingCount, 99));
        rig.master.readHoldingRegisters(1, 1, 37);
        rig.runMs(300);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::Reply);
        QCOMPARE(rig.results.first().words.at(1), quint16(1));
    }

    // A run that gave up (timeout 100 ms) on a device answering in 0,6 s
    // leaves its reading unanswered and notes it beside the port; the next
    // run (timeout 800 ms), opened at once by a master of its own, resyncs at
    // once and holds its first reading back until that answer is in. A
    // device still answering reads, the reading's own answer; one fallen
    // silent is said so (the resync's failure) once the reading has waited
    // for the line T and the gap from when it was asked, not 0,1 ms sooner,
    // the reading never sent.
    void firstRequestBehindARunGivenUp_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<bool>("fallsSilent"); // before it answers the run given up
        for (bool paced : {true, false})
            for (bool silent : {false, true})
                QTest::addRow("%s, %s", paced ? "paced" : "pseudo-terminal",
                              silent ? "then silent" : "answering")
                    << paced << silent;
    }
    void firstRequestBehindARunGivenUp()
    {
        QFETCH(bool, paced);
        QFETCH(bool, fallsSilent);
        Rig rig(paced);
        const auto noteNowMs = [&rig] { return rig.clock.nowUs() / 1000; };
        rig.master.setNoteClock(noteNowMs);
        rig.answer({[fallsSilent](int) { return fallsSilent ? -1 : 600; }});
        rig.master.setResponseTimeoutMs(100);
        rig.master.opened();
        rig.master.readHoldingRegisters(1, 1, kReadingCount);
        for (int ms = 0; ms < 2000 && rig.results.isEmpty(); ++ms)
            rig.runMs(1);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::NoReply);
        QCOMPARE(rig.driver.writes.size(), 1);

        rig.master.reset(), rig.link.close(), rig.link.open(); // the run ends, the next opens
        ModbusMaster next(rig.link, rig.clock);
        next.setNoteClock(noteNowMs);
        QList<TransactionResult> results;
        QObject::connect(&next, &ModbusMaster::finished,
                         [&](const TransactionResult& r) { results << r; });
        next.opened();
        const qint64 askedUs = rig.clock.nowUs();
        next.readHoldingRegisters(1, 1, kReadingCount);
        const qint64 gapUs = paced ? 3646 : 20'000; // 3.5 characters at 9600 baud, or 20 ms
        const qint64 boundUs = askedUs + 800'000 + gapUs;
        while (results.isEmpty() && rig.clock.nowUs() < boundUs + 2'000'000) {
            rig.clock.advanceUs(100);
            next.service();
        }
        QCOMPARE(results.size(), 1);
        if (fallsSilent) { // at the bound, to the clock's step; the reading never sent
            QCOMPARE(results.first().outcome, ReplyOutcome::NoReply);
            QVERIFY2(rig.clock.nowUs() >= boundUs && rig.clock.nowUs() < boundUs + 100,
                     qPrintable(QString::number(rig.clock.nowUs() - askedUs)));
            QCOMPARE(rig.lastReadingWritten(), 1);
        } else { // the late answer came first; the reading's own answer is taken
            QCOMPARE(results.first().outcome, ReplyOutcome::Reply);
            QVERIFY(rig.lastReadingWritten() > 1);
            QCOMPARE(int(results.first().words.at(1)), rig.lastReadingWritten());
        }
    }

    void hangUpEndsTheTransactionAtOnce()
    {
        Rig rig;
        rig.master.readHoldingRegisters(1, 1, 37);
        rig.runMs(30);
        rig.driver.hangUp();
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::ReadFailed);
        QCOMPARE(rig.results.first().driverStatus, DriverStatusCode::IoError);
        const int reads = rig.driver.reads;
        rig.runMs(1000);
        QCOMPARE(rig.driver.reads, reads); // nothing reads a dead line
    }

    // On the event loop: while nothing arrives the master does not look at
    // the line; the arrival of a reply wakes it, and a couple of queue
    // counts take it.
    void healthyReadingWakesTheLinkOnlyOnArrival()
    {
        Rig rig;
        rig.answer(always(4));
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
            rig.driver.statusCalls = 0;
            QTest::qWait(60);
            QCOMPARE(rig.driver.statusCalls, 0);
            rig.clock.advanceMs(100);
            rig.driver.notifyArrival();
            QCOMPARE(rig.results.size(), i);
            QCOMPARE(rig.results.last().outcome, ReplyOutcome::Reply);
            QVERIFY2(rig.driver.statusCalls <= 4,
                     qPrintable(QString::number(rig.driver.statusCalls)));
            rig.clock.advanceMs(900); // the next poll
        }
    }
};

QTEST_GUILESS_MAIN(TestModbusMaster)
#include "tst_modbusmaster.moc"
