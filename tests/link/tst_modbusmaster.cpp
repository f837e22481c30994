// The master's hold on the line, against a scripted slave in simulated time:
// a reply never answers a later request however late it comes, a copy never
// meets the next request, a never-quiet line never holds a request for ever,
// a hang-up ends the transaction at once, and the link wakes on arrival only.
// What the window shows of each fault is the fault matrix's (tst_faultmatrix),
// which also stops a reading in flight and sends at once: the cancelled
// reading keeps the line until its reply has crossed it.
#include "fuzz/rtu.h"
#include "scripteddriver.h"

#include <QtTest>
#include <functional>
#include <map>

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
    std::function<int(int n)> lateMs;
    int copies = 1;
    int copyGapMs = 2;
    std::function<bool(int n)> spoilCrc = [](int) { return false; };
    // Another program's request, left unanswered before the port was opened
    // here: its answer arrives this long after the open (-1: none).
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
            const int late = b.lateMs(n);
            if (late < 0)
                return;
            QByteArray reply = request.at(1) == 3 ? readReply(quint8(request.at(5)), quint16(n))
                                                  : QByteArray::fromHex("01100000000b81ce");
            if (b.spoilCrc(n))
                reply[reply.size() - 1] = char(reply.back() ^ 0x5A);
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
    // The window's timer: a reading every second unless one is still waiting.
    void pollFor(int seconds)
    {
        for (int s = 0; s < seconds; ++s, runMs(1000))
            if (!master.requestWaiting())
                submitted += master.readHoldingRegisters(1, 1, kReadingCount) != SendOutcome::Busy;
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
    // reads again.
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
            Behaviour afterAnother = always(1500);
            afterAnother.foreignAnswerMs = 500;
            QTest::addRow("%s, another program's answer after the open", line)
                << paced << afterAnother << 2000 << true;
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
        rig.master.proveLineFirst(); // as after every open
        if (slave.foreignAnswerMs >= 0) {
            rig.driver.arriveAt(slave.foreignAnswerMs * 1000LL, readReply(kReadingCount, 0xBEEF));
        }
        int taken = 0;
        QStringList stale; // "answer to request a taken for request b"
        QObject::connect(&rig.master, &ModbusMaster::finished, [&](const TransactionResult& r) {
            if (!r.ok())
                return;
            ++taken;
            if (int(r.words.at(1)) != rig.lastReadingWritten())
                stale
                    << QStringLiteral("%1 for %2").arg(r.words.at(1)).arg(rig.lastReadingWritten());
        });
        rig.pollFor(30);
        rig.runMs(rig.master.writeWaitBoundMs());
        QVERIFY2(stale.isEmpty(), qPrintable(stale.join(", ")));
        QCOMPARE(rig.results.size(), rig.submitted);
        // Only the slave's own answers come: a slow slave is no busy line.
        QVERIFY(std::none_of(rig.results.begin(), rig.results.end(),
                             [](const auto& r) { return r.outcome == ReplyOutcome::LineBusy; }));
        if (!reads) {
            QCOMPARE(taken, 0);
            return;
        }
        // Proving the line after the open costs a few polls.
        QVERIFY2(rig.results.size() >= 15, qPrintable(QString::number(rig.results.size())));
        for (qsizetype i = rig.results.size() - 5; i < rig.results.size(); ++i)
            QVERIFY2(rig.results.at(i).ok(), outcomeName(rig.results.at(i).outcome));
    }

    // A line with another talker's 16-byte burst once a second is never quiet
    // for the settle time. A slave that once answers with a bad CRC reads
    // again; a silent one has every poll fail, a busy line said so, and a
    // write that cannot go out fails within its bound. Nothing waits for ever.
    void neverQuietLineNeverHoldsARequest_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<bool>("silent");
        for (bool paced : {true, false})
            for (bool silent : {false, true})
                QTest::addRow("%s, %s", paced ? "paced" : "pseudo-terminal",
                              silent ? "silent slave" : "one bad CRC")
                    << paced << silent;
    }
    void neverQuietLineNeverHoldsARequest()
    {
        QFETCH(bool, paced);
        QFETCH(bool, silent);
        Rig rig(paced);
        for (int s = 0; s < 60; ++s)
            rig.driver.arriveAt(s * 1'000'000 + 300'000, QByteArray(16, char(0xA5)));
        rig.answer({[silent](int) { return silent ? -1 : 4; }, 1, 2, [](int n) { return n == 2; }});
        rig.pollFor(20);
        rig.runMs(rig.master.responseTimeoutMs());
        QCOMPARE(rig.results.size(), rig.submitted);
        QVERIFY(rig.submitted >= 19); // a result every poll, give or take one
        if (silent) {
            QVERIFY(std::none_of(rig.results.begin(), rig.results.end(),
                                 [](const TransactionResult& r) { return r.ok(); }));
            QVERIFY(std::any_of(rig.results.begin(), rig.results.end(),
                                [](const auto& r) { return r.outcome == ReplyOutcome::LineBusy; }));
            QCOMPARE(rig.master.writeMultipleRegisters(1, 1, 11, kZeros.data()),
                     SendOutcome::Queued);
            rig.runMs(rig.master.writeWaitBoundMs()); // and its result is in
            QCOMPARE(rig.results.last().function, quint8(16));
            QCOMPARE(rig.results.last().outcome, ReplyOutcome::LineBusy);
            return;
        }
        QCOMPARE(rig.results.at(1).outcome, ReplyOutcome::BadReply);
        for (qsizetype i = rig.results.size() - 10; i < rig.results.size(); ++i) {
            const TransactionResult& r = rig.results.at(i);
            // Now and then a burst lands in a reply; the next poll reads.
            QVERIFY2(r.ok() || (i > 0 && rig.results.at(i - 1).ok()), outcomeName(r.outcome));
        }
    }

    // Read, write and read back at once, as the command line does, against a
    // slave that sends every reply twice: each result is its own request's.
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
            else if (rig.results.size() == 2)
                rig.master.readHoldingRegisters(1, 1, kReadingCount);
        });
        rig.master.readHoldingRegisters(1, 1, kReadingCount);
        rig.runMs(2000);
        QCOMPARE(rig.results.size(), 3);
        for (const TransactionResult& r : rig.results)
            QVERIFY2(r.ok(), outcomeName(r.outcome));
        QCOMPARE(rig.results.at(1).quantity, 11);
        QCOMPARE(int(rig.results.at(2).words.at(1)), 3); // the third request's own
        // Each request waited for the second copy ahead of it, and a quiet gap.
        for (int n = 1; n < int(rig.driver.writes.size()); ++n)
            QVERIFY(rig.driver.writes.at(n).atUs >=
                    rig.lastCopyDueUs[n] + rig.master.interFrameGapUs());
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
    // leaves answers on their way; the next run (timeout 800 ms), opened at
    // once by a master of its own, has its probe spoiled by one. Its reading
    // waits behind the probe for the probe's own 0,8 s and then as long as a
    // write waits (2,75 s): 3,55 s from the probe. A device still answering
    // reads within it, the reading's own answer; one fallen silent fails at
    // that bound and not a millisecond sooner, said as no reply.
    void requestBehindASpoiledProbe_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<bool>("fallsSilent"); // after the two requests of the run given up
        for (bool paced : {true, false})
            for (bool silent : {false, true})
                QTest::addRow("%s, %s", paced ? "paced" : "pseudo-terminal",
                              silent ? "then silent" : "answering")
                    << paced << silent;
    }
    void requestBehindASpoiledProbe()
    {
        QFETCH(bool, paced);
        QFETCH(bool, fallsSilent);
        constexpr qint64 kBoundUs = (800 + 2750) * 1000;
        Rig rig(paced);
        rig.answer({[fallsSilent](int n) { return fallsSilent && n > 2 ? -1 : 600; }});
        rig.master.setResponseTimeoutMs(100);
        rig.master.proveLineFirst();
        rig.master.readHoldingRegisters(1, 1, kReadingCount);
        for (int ms = 0; ms < 2000 && rig.results.isEmpty(); ++ms)
            rig.runMs(1);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::NoReply);
        QCOMPARE(rig.driver.writes.size(), 2); // the probe and a resync

        rig.master.reset(), rig.link.close(), rig.link.open(); // the run ends, the next opens
        ModbusMaster next(rig.link, rig.clock);
        QList<TransactionResult> results;
        QObject::connect(&next, &ModbusMaster::finished,
                         [&](const TransactionResult& r) { results << r; });
        next.proveLineFirst();
        next.readHoldingRegisters(1, 1, kReadingCount);
        const qint64 boundUs = rig.driver.writes.at(2).atUs + kBoundUs; // from the probe
        while (results.isEmpty() && rig.clock.nowUs() < boundUs) {
            rig.clock.advanceMs(1);
            next.service();
        }
        QVERIFY(quint8(rig.driver.writes.at(3).bytes.at(5)) <= 16); // a resync: the probe spoiled
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.first().outcome,
                 fallsSilent ? ReplyOutcome::NoReply : ReplyOutcome::Reply);
        if (fallsSilent) // at the bound, and not a millisecond sooner
            QCOMPARE(rig.clock.nowUs(), boundUs);
        else
            QCOMPARE(int(results.first().words.at(1)), rig.lastReadingWritten());
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
