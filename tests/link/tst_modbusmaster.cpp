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
// after `lateMs` (-1: never), `copies` times, 2 ms apart.
struct Behaviour
{
    using Spoil =
        std::function<QByteArray(int n, const QByteArray& request, const QByteArray& reply)>;
    std::function<int(int n)> lateMs;
    int copies = 1;
    // What reaches the line for request n instead of its reply, as a line
    // spoils it (none: the reply).
    Spoil spoil{};
    // A firmware that knows only its master's reading: a read of another
    // count is answered, refused (exception 3) or ignored.
    enum class Others { Answered, Refused, Ignored } others = Others::Answered;
    // The readings (1 for the first written) it never hears.
    std::set<int> lostReadings{};
    // What came before the open: nothing, an unknown past (a run killed
    // outright while it held the port; its answer arrives `foreignAnswerMs`
    // after the open), or the last run's reading, noted as unanswered 500 ms
    // before the open (with what that run learned: the device answers its
    // readings alone).
    enum class Past { Quiet, Unknown, Noted, NotedReadingsOnly } past = Past::Quiet;
    int foreignAnswerMs = -1;
};

// How a device is polled: `count` times, `everyMs` apart, with this response
// timeout; its polls' letters (see Rig::polls) match `letters`, a regular
// expression (on a paced line `pacedLetters` if given).
struct Polls
{
    int count = 0;
    const char* letters = "";
    int everyMs = 1000;
    const char* pacedLetters = nullptr;
    int timeoutMs = ModbusMaster::kDefaultResponseTimeoutMs;
};

// A slave answering every request after `ms` (-1: never), its replies as
// `spoil` leaves them.
Behaviour always(int ms, Behaviour::Spoil spoil = {})
{
    return {[ms](int) { return ms; }, 1, std::move(spoil)};
}

// Every test runs on the line of its global row: paced (a UART) or a pseudo-terminal.
bool pacedLine()
{
    QFETCH_GLOBAL(bool, paced);
    return paced;
}

// Readings taken for another request's answer, as "taken for written": every
// test ends with none.
QStringList staleReadings;

struct Rig : ScriptedLine
{
    QList<TransactionResult> results;
    int submitted = 0;
    int readingsHeard = 0;
    std::map<int, qint64> lastCopyDueUs; // by request number
    qint64 slaveFreeAtUs = 0;

    Rig() : ScriptedLine(pacedLine())
    {
        QObject::connect(&master, &ModbusMaster::finished, [this](const TransactionResult& r) {
            results << r;
            if (r.ok() && r.function == 3 && int(r.words.at(1)) != lastReadingWritten())
                staleReadings
                    << QStringLiteral("%1 for %2").arg(r.words.at(1)).arg(lastReadingWritten());
        });
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
            const auto lineUs = [this](qint64 bytes) {
                return driver.paced ? lineTimeUs(bytes) : 0;
            };
            qint64 startUs = std::max(at + lineUs(request.size()) + late * 1000, slaveFreeAtUs);
            for (int copy = 0; copy < b.copies; ++copy, startUs = slaveFreeAtUs + 2000) {
                for (int k = 0; k < reply.size(); ++k)
                    driver.arriveAt(startUs + lineUs(k + 1), reply.mid(k, 1));
                slaveFreeAtUs = lastCopyDueUs[n] = startUs + lineUs(reply.size());
            }
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
    // unless one is still waiting.
    void pollFor(int polls, int everyMs = 1000)
    {
        for (int s = 0; s < polls; ++s, runMs(everyMs))
            if (!master.requestWaiting())
                submitted += master.readHoldingRegisters(1, 1, kReadingCount) != SendOutcome::Busy;
    }
    // Each poll's result as a letter: r read, x refused as an illegal
    // address (exception 2), f failed.
    QString polls() const
    {
        QString letters;
        for (const TransactionResult& r : results)
            letters += r.ok()                                                         ? u'r'
                       : r.outcome == ReplyOutcome::Exception && r.exceptionCode == 2 ? u'x'
                                                                                      : u'f';
        return letters;
    }
    bool saidBusy() const
    {
        return std::any_of(results.begin(), results.end(),
                           [](const auto& r) { return r.outcome == ReplyOutcome::LineBusy; });
    }
    // The number of the last reading written: the request a reading's result answers.
    int lastReadingWritten() const
    {
        for (qsizetype i = driver.writes.size() - 1; i >= 0; --i)
            if (quint8(driver.writes.at(i).bytes.at(5)) == kReadingCount)
                return int(i) + 1;
        return 0;
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
Q_DECLARE_METATYPE(Polls)

class TestModbusMaster : public QObject
{
    Q_OBJECT

    // The tables of polled devices: each row a slave and how it is polled.
    static void pollColumns()
    {
        QTest::addColumn<Behaviour>("slave");
        QTest::addColumn<Polls>("polls");
    }
    static void pollRow(const QString& name, const Behaviour& slave, const Polls& polls)
    {
        QTest::addRow("%s", qPrintable(name)) << slave << polls;
    }
    // Every poll has its result, none says the line busy (a slow slave is
    // no busy line), and the letters match.
    static void checkPolls()
    {
        QFETCH(Behaviour, slave);
        QFETCH(Polls, polls);
        Rig rig;
        rig.master.setResponseTimeoutMs(polls.timeoutMs);
        rig.answer(slave);
        rig.open(slave);
        rig.pollFor(polls.count, polls.everyMs);
        rig.runMs(rig.master.writeWaitBoundMs());
        QCOMPARE(rig.results.size(), rig.submitted);
        QVERIFY(!rig.saidBusy());
        const QString letters =
            rig.driver.paced && polls.pacedLetters ? polls.pacedLetters : polls.letters;
        QVERIFY2(QRegularExpression("^(" + letters + ")$").match(rig.polls()).hasMatch(),
                 qPrintable(rig.polls()));
    }

private slots:
    // Every test runs on a paced line (a UART: bytes a character apart) and
    // on a pseudo-terminal (a copy lands at once).
    void initTestCase_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::newRow("paced") << true;
        QTest::newRow("pseudo-terminal") << false;
    }
    void cleanup()
    {
        const QStringList stale = std::exchange(staleReadings, {});
        QVERIFY2(stale.isEmpty(), qPrintable(stale.join(", ")));
    }

    // Slaves late by more than the response timeout, every time or once, or
    // answering twice: polled once a second for half a minute, no reading is
    // ever taken but the request's own (its number in register 2), every poll
    // has its result, and a slave in time (once, or with a longer timeout)
    // reads again: at least 15 results, the last five read. So after an open
    // on a past left by another program or by the last run (its reading,
    // noted unanswered), whose answer comes late. A slave answering every
    // other request (the master's resyncs among them) late, in order, reads
    // at least every other poll once the master has seen how late it is:
    // after the tenth poll, never two failures running.
    void lateReplyNeverPassesForAnother_data()
    {
        pollColumns();
        const Polls none{30, "[^r]*"}, reads{30, ".{10,}r{5}"};
        for (int ms : {1050, 1200, 1300, 1500, 1900, 2500, 4000})
            pollRow(QStringLiteral("every reply %1 ms late").arg(ms), always(ms), none);
        pollRow("silent", always(-1), none);
        pollRow("1500 ms late once", {[](int n) { return n == 3 ? 1500 : 4; }}, reads);
        pollRow("4000 ms late once", {[](int n) { return n == 2 ? 4000 : 4; }}, reads);
        pollRow("every reply twice, 2 ms apart", {[](int) { return 4; }, 2}, reads);
        const Polls longTimeout{30, reads.letters, 1000, nullptr, 2000};
        pollRow("1500 ms late, 2000 ms timeout", always(1500), longTimeout);
        for (const auto past : {Behaviour::Past::Unknown, Behaviour::Past::Noted}) {
            Behaviour late = always(1500);
            late.past = past;
            late.foreignAnswerMs = 500;
            pollRow(past == Behaviour::Past::Noted ? "the last run's answer after the open"
                                                   : "a killed run's answer after the open",
                    late, longTimeout);
        }
        for (int ms : {1000, 1200, 1500})
            pollRow(QStringLiteral("every other reply %1 ms late").arg(ms),
                    {[ms](int n) { return n % 2 == 0 ? ms : 4; }}, {40, "[rf]{10}(f?r)*f?"});
    }
    void lateReplyNeverPassesForAnother() { checkPolls(); }

    // One reply spoilt on the line costs its own reading, never the next
    // poll's (a reply with its own request's echo before it costs none);
    // so does one reply later than the timeout. Polled every 250 ms, the
    // reading after noise or another slave's frame reads too: the reply
    // behind them, whole once its tail is in, is known for the lost one's.
    // Another slave's reply, whole sooner than a reply can cross a paced
    // line, is dropped there.
    void oneBadReplyCostsOneReading_data()
    {
        pollColumns();
        const auto inFront = [](const QByteArray& junk) {
            return onlyOn(3, [junk](int, const QByteArray&, const QByteArray& reply) {
                return junk + reply;
            });
        };
        const auto noise = inFront(QByteArray::fromHex("ff0055"));
        const auto otherSlave = inFront(rtu::sealed(QByteArray::fromHex("020302002a")));
        pollRow("a bad CRC", always(4, onlyOn(3, badCrc)), {6, "rrfrrr"});
        pollRow("noise before it", always(4, noise), {6, "rrfrrr"});
        pollRow("noise before it, every 250 ms", always(4, noise), {8, "rrfrrrrr", 250});
        pollRow("another slave's reply before it", always(4, otherSlave),
                {6, "rrfrrr", 1000, "rrrrrr"});
        pollRow("another slave's reply before it, every 250 ms", always(4, otherSlave),
                {8, "rrfrrrrr", 250, "rrrrrrrr"});
        pollRow("its request's echo before it",
                always(4, [](int, const QByteArray& request,
                             const QByteArray& reply) { return request + reply; }),
                {6, "rrrrrr"});
        pollRow("a byte count past its end",
                always(4, onlyOn(3,
                                 [](int, const QByteArray&, const QByteArray& reply) {
                                     return rtu::sealed(reply.left(2) + char(0xF0) +
                                                        reply.mid(3, 74));
                                 })),
                {6, "rrfrrr"});
        pollRow("one reply 1500 ms late", {[](int n) { return n == 3 ? 1500 : 4; }}, {6, "rrfrrr"});
    }
    void oneBadReplyCostsOneReading() { checkPolls(); }

    // A firmware that knows only its master's reading (37 registers): it
    // refuses every other count, or ignores it. Either reads from the first
    // poll, and again after a reading lost on the line: the refusal of a
    // resync is an answer; for silence the master waits until the lost
    // reading's answer could no longer come, the horizon the first time, a
    // settle once it has seen the device skip a resync (or a run noted so).
    void readingsOnlyDeviceReads_data()
    {
        pollColumns();
        for (const auto others : {Behaviour::Others::Refused, Behaviour::Others::Ignored}) {
            const bool refused = others == Behaviour::Others::Refused;
            const QString how = refused ? "others refused" : "others ignored";
            Behaviour b = always(4);
            b.others = others;
            pollRow(how, b, {40, "r{40}"});
            b.lostReadings = {3, 13};
            pollRow(how + ", two readings lost", b,
                    {40, refused ? "rrf{1,2}r{9}f{1,2}r+" : "rrf{10,}r{9}f{1,2}r+"});
            b.lostReadings = {};
            b.past = Behaviour::Past::Noted;
            pollRow(how + ", the last run's reading unanswered", b,
                    {40, refused ? "f?r+" : "f{10,}r+"});
            b.past = Behaviour::Past::NotedReadingsOnly;
            pollRow(how + ", the last run's reading unanswered, noted so", b,
                    {40, refused ? "f?r+" : "f{0,2}r+"});
        }
    }
    void readingsOnlyDeviceReads() { checkPolls(); }

    // A device that misses one request (or finds the last run's unanswered,
    // or a killed run's past, whose reading's answer lands on the first
    // resync) and then refuses at once every request, or every count but its
    // reading: each refusal is the request's on the line, not the missed
    // one's still, and the killed run's answer is no bad reply of the
    // resync's. In step at once, the polls say the refusal, or read.
    void refusingDeviceAfterAMissedRequest_data()
    {
        pollColumns();
        Behaviour missed{[](int n) { return n == 1 ? -1 : 4; }};
        missed.spoil = [](int, const QByteArray&, const QByteArray&) {
            return rtu::sealed(QByteArray::fromHex("018302"));
        };
        pollRow("its first missed", missed, {12, "fx{11}"});
        Behaviour noted = missed;
        noted.lateMs = [](int) { return 4; };
        noted.past = Behaviour::Past::Noted;
        pollRow("the last run's reading unanswered", noted, {12, "f?x{11,12}"});
        Behaviour killed = always(4);
        killed.others = Behaviour::Others::Refused;
        killed.past = Behaviour::Past::Unknown;
        killed.foreignAnswerMs = 2;
        pollRow("a killed run's past", killed, {12, "f?r{11,12}"});
        killed.others = Behaviour::Others::Answered; // its late answer meets the resync
        pollRow("a killed run's past, the resync answered", killed, {12, "r{12}"});
    }
    void refusingDeviceAfterAMissedRequest() { checkPolls(); }

    // A master notes that it holds the port as soon as it opens it, so a run
    // killed outright leaves the next an unknown past, not a quiet line; let
    // go, it notes what it left unanswered instead.
    void holdingThePortIsNoted()
    {
        Rig rig; // and a silent slave
        rig.open(Behaviour{});
        const QByteArray& note = rig.driver.note;
        QVERIFY2(note.startsWith("quorva-line 1\nwritten ") && note.endsWith("\nin-use\n"), note);
        rig.master.readHoldingRegisters(1, 1, kReadingCount);
        rig.runMs(50);
        rig.master.reset();
        QVERIFY2(note.contains("\nunanswered 3 0 37 ") && !note.contains("in-use"), note);
    }

    // A silent device is said so within the response timeout and the gap of
    // each poll, the first included, on a line left quiet or noted out of
    // step; a poll that could not go out says that, not the last failure.
    void silentDeviceSaidSoInTime_data()
    {
        QTest::addColumn<bool>("noted");
        QTest::newRow("quiet") << false;
        QTest::newRow("noted out of step") << true;
    }
    void silentDeviceSaidSoInTime()
    {
        QFETCH(bool, noted);
        Rig rig;
        Behaviour silent = always(-1);
        silent.past = noted ? Behaviour::Past::Noted : Behaviour::Past::Quiet;
        rig.answer(silent);
        rig.open(silent);
        const qint64 boundUs =
            rig.master.responseTimeoutMs() * 1000LL + rig.master.interFrameGapUs();
        QList<qint64> waitedUs;
        for (int poll = 0; poll < 10; ++poll, rig.runMs(1000 - int(waitedUs.last() / 1000) - 1)) {
            const qint64 submittedUs = rig.clock.nowUs();
            rig.master.readHoldingRegisters(1, 1, kReadingCount);
            while (rig.results.size() == poll)
                rig.runMs(1);
            waitedUs << rig.clock.nowUs() - submittedUs;
            QCOMPARE_LE(waitedUs.last(), boundUs + 1000);
        }
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::NoReply);
        for (const TransactionResult& r : rig.results)
            QVERIFY2(r.outcome == ReplyOutcome::NoReply || r.outcome == ReplyOutcome::NotSent,
                     outcomeName(r.outcome));
    }

    // A line with another talker's 16-byte burst once a second (quiet
    // between them) or every 2 ms (never quiet for the gap). A slave that
    // once answers with a bad CRC reads again; a silent one has every poll
    // fail, said busy only where bytes kept the request off the line, and a
    // write that cannot go out fails within its bound, sent not at all, as
    // busy or as the device's silence. Nothing waits for ever.
    void noisyLineNeverHoldsARequest_data()
    {
        QTest::addColumn<int>("burstEveryMs");
        QTest::addColumn<bool>("silent");
        QTest::newRow("bursts every second, one bad CRC") << 1000 << false;
        QTest::newRow("bursts every second, silent slave") << 1000 << true;
        QTest::newRow("bursts every 2 ms, silent slave") << 2 << true;
    }
    void noisyLineNeverHoldsARequest()
    {
        QFETCH(int, burstEveryMs);
        QFETCH(bool, silent);
        Rig rig;
        for (int ms = 300; ms < 40'000; ms += burstEveryMs)
            rig.driver.arriveAt(ms * 1000LL, QByteArray(16, char(0xA5)));
        rig.answer(always(silent ? -1 : 4, onlyOn(2, badCrc)));
        rig.pollFor(20);
        rig.runMs(rig.master.responseTimeoutMs());
        QCOMPARE(rig.results.size(), rig.submitted);
        QVERIFY(rig.submitted >= 19); // a result every poll, give or take one
        const bool busy = burstEveryMs < 1000;
        if (silent) {
            QVERIFY2(!rig.polls().contains('r'), qPrintable(rig.polls()));
            QCOMPARE(rig.saidBusy(), busy);
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
    void secondCopyNeverMeetsTheNextRequest()
    {
        Rig rig;
        rig.answer({[](int) { return 4; }, 2});
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
            const bool waited =
                rig.driver.writes.at(n).atUs >= rig.lastCopyDueUs[n] + rig.master.interFrameGapUs();
            QCOMPARE(waited, rig.driver.paced || n == 3);
        }
    }

    // A reply to some older request: already queued when a request goes out
    // (purged), or whole on a paced line sooner than the request and its
    // reply can cross it (dropped), or right behind the reply (left for the
    // next purge). Either way the reply is the request's own.
    void frameWholeTooSoonOnAPacedLineIsStale_data()
    {
        QTest::addColumn<int>("staleAtUs");
        QTest::newRow("whole 7 ms after the request") << 7000;
        QTest::newRow("queued before") << 0;
        // Whole right behind a paced reply (at 94,625 ms): taken with it, it spoils nothing.
        QTest::newRow("right behind the reply") << 94626;
    }
    void frameWholeTooSoonOnAPacedLineIsStale()
    {
        QFETCH(int, staleAtUs);
        Rig rig;
        rig.answer(always(4));
        rig.driver.arriveAt(staleAtUs, readReply(kReadingCount, 99));
        rig.master.readHoldingRegisters(1, 1, kReadingCount);
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
        QTest::addColumn<bool>("fallsSilent"); // before it answers the run given up
        QTest::newRow("answering") << false;
        QTest::newRow("then silent") << true;
    }
    void firstRequestBehindARunGivenUp()
    {
        QFETCH(bool, fallsSilent);
        Rig rig;
        const auto noteNowMs = [&rig] { return rig.clock.nowUs() / 1000; };
        rig.master.setNoteClock(noteNowMs);
        rig.answer(always(fallsSilent ? -1 : 600));
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
        // 3.5 characters at 9600 baud, or 20 ms
        const qint64 gapUs = rig.driver.paced ? 3646 : 20'000;
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
        rig.master.readHoldingRegisters(1, 1, kReadingCount);
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
            QCOMPARE(rig.master.readHoldingRegisters(1, 1, kReadingCount), SendOutcome::Sent);
            rig.driver.statusCalls = 0;
            QTest::qWait(60);
            QCOMPARE(rig.driver.statusCalls, 0);
            rig.clock.advanceMs(100);
            rig.driver.notifyArrival();
            QCOMPARE(rig.results.size(), i);
            QCOMPARE(rig.results.last().outcome, ReplyOutcome::Reply);
            QCOMPARE_LE(rig.driver.statusCalls, 4);
            rig.clock.advanceMs(900); // the next poll
        }
    }
};

QTEST_GUILESS_MAIN(TestModbusMaster)
#include "tst_modbusmaster.moc"
