// The master's hold on the line, against a scripted slave in simulated time:
// a cancelled reading keeps the line, a reply never answers a later request,
// a silent slave is still polled, a hang-up ends the transaction at once, and
// the link wakes on arrival only. What the window shows of each fault is the
// fault matrix's (tst_faultmatrix).
#include "link/devicelink.h"
#include "link/modbusmaster.h"
#include "scripteddriver.h"

#include <QtTest>
#include <functional>
#include <map>

using namespace quorva::link;

namespace {
constexpr std::array<qint32, 11> kZeros{};

// A reading of 37 registers, register 2 (the measured value) carrying
// `value`, with its CRC-16/MODBUS computed here.
QByteArray readReply(quint16 value)
{
    QByteArray frame = QByteArray::fromHex("01034a0000") + char(value >> 8) + char(value & 0xFF) +
                       QByteArray(70, '\0');
    quint16 crc = 0xFFFF;
    for (const char c : frame) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return frame + char(crc & 0xFF) + char(crc >> 8);
}

struct Rig
{
    ManualClock clock;
    ScriptedDriver driver{clock};
    DeviceLink link{driver};
    ModbusMaster master{link, clock};
    QList<TransactionResult> results;

    Rig()
    {
        link.open();
        QObject::connect(&master, &ModbusMaster::finished,
                         [this](const TransactionResult& r) { results << r; });
    }
    // A slave answering after the turnaround: a reading carries the request's
    // ordinal, a write its echo (from pymodbus 3.0).
    void answerAfter(int turnaroundMs)
    {
        if (turnaroundMs < 0)
            return; // a silent slave
        driver.slave = [this, turnaroundMs](const QByteArray& request, qint64 at) {
            const QByteArray reply = request.at(1) == 3 ? readReply(quint16(driver.writes.size()))
                                                        : QByteArray::fromHex("01100000000b81ce");
            driver.arriveAt(at + lineTimeUs(request.size() + reply.size()) + turnaroundMs * 1000,
                            reply);
        };
    }
    void runMs(int ms)
    {
        for (int i = 0; i < ms; ++i) {
            clock.advanceMs(1);
            master.service();
        }
    }
    // The window's timer: a reading every second unless one is still waiting.
    void pollFor(int seconds)
    {
        for (int s = 0; s < seconds; ++s) {
            if (!master.busy())
                master.readHoldingRegisters(1, 1, 37);
            runMs(1000);
        }
    }
};
} // namespace

class TestModbusMaster : public QObject
{
    Q_OBJECT

private slots:
    void stopThenSendAtOnce_data()
    {
        QTest::addColumn<int>("turnaroundMs");
        QTest::addColumn<int>("cancelAfterMs");
        for (int turnaround : {4, 400})
            for (int after : {0, 20, 50, 80, 100, 300})
                QTest::addRow("reply after %d ms, stop at %d ms", turnaround, after)
                    << turnaround << after;
    }
    void stopThenSendAtOnce()
    {
        QFETCH(int, turnaroundMs);
        QFETCH(int, cancelAfterMs);
        Rig rig;
        rig.answerAfter(turnaroundMs);
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        rig.runMs(cancelAfterMs);
        const int answeredBefore = int(rig.results.size()); // a reading done before the stop
        rig.master.cancel();
        const SendOutcome sent = rig.master.writeMultipleRegisters(1, 1, 11, kZeros.data());
        QVERIFY(sent == SendOutcome::Sent || sent == SendOutcome::Queued);
        rig.runMs(2000);

        QCOMPARE(rig.results.size(), answeredBefore + 1); // the abandoned reading says nothing
        const TransactionResult& r = rig.results.last();
        QCOMPARE(r.outcome, ReplyOutcome::Reply);
        QCOMPARE(r.function, quint8(16));
        QCOMPARE(std::make_pair(r.firstRegister, r.quantity), std::make_pair(1, 11));
        // The write waited until the reading's reply had crossed the line.
        QCOMPARE(rig.driver.writes.size(), 2);
        const qint64 readingAnswered = lineTimeUs(8) + turnaroundMs * 1000 + lineTimeUs(79);
        QVERIFY(rig.driver.writes.at(1).atUs >= readingAnswered);
    }

    // A slave answering one poll late, or never: every request has its one
    // result, none a reading, and each request after the first waited out
    // the settle. Each late reply restarts it, so such a slave is polled
    // every other second or so; a silent one every 1.15 s.
    void replyOnePollLateIsNeverTaken_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<int>("turnaroundMs");
        QTest::addColumn<int>("requests");
        QTest::newRow("paced line") << true << 1050 << 6;
        QTest::newRow("pseudo-terminal") << false << 1050 << 6;
        QTest::newRow("silent slave is still polled") << true << -1 << 11;
    }
    void replyOnePollLateIsNeverTaken()
    {
        QFETCH(bool, paced);
        QFETCH(int, turnaroundMs);
        QFETCH(int, requests);
        Rig rig;
        rig.driver.paced = paced;
        rig.answerAfter(turnaroundMs);
        rig.pollFor(13);
        QList<qint64> sent;
        for (const ScriptedDriver::Write& w : rig.driver.writes)
            sent << w.atUs;
        QVERIFY2(sent.size() >= requests, qPrintable(QString::number(sent.size())));
        QVERIFY(rig.results.size() >= sent.size() - 1);
        for (const TransactionResult& r : rig.results)
            QCOMPARE(r.outcome, ReplyOutcome::NoReply);
        for (int i = 1; i < sent.size(); ++i)
            QVERIFY(sent.at(i) - sent.at(i - 1) >= ModbusMaster::kSettleMs * 1000);
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
        Rig rig;
        rig.driver.paced = paced;
        rig.answerAfter(4);
        rig.driver.arriveAt(staleAtUs, readReply(99));
        rig.master.readHoldingRegisters(1, 1, 37);
        rig.runMs(300);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::Reply);
        QCOMPARE(rig.results.first().words.at(1), quint16(1));
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
        rig.answerAfter(4);
        for (int i = 1; i <= 3; ++i) {
            rig.driver.statusCalls = 0;
            QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
            QTest::qWait(60);
            QCOMPARE(rig.driver.statusCalls, 0);
            rig.clock.advanceMs(100);
            rig.driver.notifyArrival();
            QCOMPARE(rig.results.size(), i);
            QCOMPARE(rig.results.last().outcome, ReplyOutcome::Reply);
            QVERIFY2(rig.driver.statusCalls <= 4,
                     qPrintable(QString::number(rig.driver.statusCalls)));
        }
    }
};

QTEST_GUILESS_MAIN(TestModbusMaster)
#include "tst_modbusmaster.moc"
