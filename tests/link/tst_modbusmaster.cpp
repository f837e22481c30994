// The master's hold on the line, against a scripted slave in simulated time:
// a cancelled reading keeps the line, a reply never answers a later request,
// a silent slave is still polled, a hang-up ends the transaction at once.
// Then the virtual transmitter's faults, and arrival in real time.
// Request and echo frames are written out literally; both were computed with
// pymodbus 3.0 (pymodbus.utilities.computeCRC).
#include "fixtures.h"
#include "link/devicelink.h"
#include "link/modbusmaster.h"
#include "scripteddriver.h"

#include <QtTest>

using namespace quorva::link;
using quorva::sim::VirtualTransmitter;
using Fault = VirtualTransmitter::Fault;

namespace {
const QByteArray kPoll = QByteArray::fromHex("0103000000258411");
const QByteArray kWriteEcho = QByteArray::fromHex("01100000000b81ce");
constexpr std::array<qint32, 11> kZeros{};

// Thirty-seven words, register 2 (the measured value) carrying `value`.
std::vector<quint16> wordsWith(quint16 value)
{
    std::vector<quint16> words(37, 0);
    words[1] = value;
    return words;
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
    // A slave that answers after `turnaroundMs`, each reply whole once it
    // has crossed the line; a reading carries the request's ordinal.
    void answerAfter(qint64 turnaroundMs)
    {
        driver.slave = [this, turnaroundMs](const QByteArray& request, qint64 at) {
            const QByteArray reply = request.at(1) == 3
                                         ? readReply(wordsWith(quint16(driver.writes.size())))
                                         : kWriteEcho;
            driver.arriveAt(at + lineTimeUs(request.size()) + turnaroundMs * 1000 +
                                lineTimeUs(reply.size()),
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
        QCOMPARE(r.firstRegister, 1);
        QCOMPARE(r.quantity, 11);
        // The write waited until the reading's reply had crossed the line.
        QCOMPARE(rig.driver.writes.size(), 2);
        const qint64 readingAnswered = lineTimeUs(8) + turnaroundMs * 1000 + lineTimeUs(79);
        QVERIFY(rig.driver.writes.at(1).atUs >= readingAnswered);
    }

    void replyOnePollLateIsNeverTaken_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::newRow("paced line") << true;
        QTest::newRow("pseudo-terminal") << false;
    }
    void replyOnePollLateIsNeverTaken()
    {
        QFETCH(bool, paced);
        Rig rig;
        rig.driver.paced = paced;
        rig.answerAfter(1050);
        rig.pollFor(12);
        // Each request has exactly one result, in order; a reading's value
        // names the request it answers. Each late reply restarts the settle,
        // so such a slave is polled every other second or so.
        QVERIFY(rig.driver.writes.size() >= 5);
        QVERIFY(rig.results.size() >= rig.driver.writes.size() - 1);
        for (int i = 0; i < rig.results.size(); ++i) {
            const TransactionResult& r = rig.results.at(i);
            if (r.ok())
                QCOMPARE(r.words.at(1), quint16(i + 1));
            else
                QCOMPARE(r.outcome, ReplyOutcome::NoReply);
        }
    }

    void frameWholeTooSoonOnAPacedLineIsStale()
    {
        Rig rig;
        rig.answerAfter(4);
        // A reply to some older request, whole 7 ms after this one went out.
        rig.driver.arriveAt(7000, readReply(wordsWith(99)));
        rig.master.readHoldingRegisters(1, 1, 37);
        rig.runMs(300);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::Reply);
        QCOMPARE(rig.results.first().words.at(1), quint16(1));
    }

    void silentSlaveIsStillPolled()
    {
        Rig rig;
        rig.pollFor(10);
        QVERIFY2(rig.driver.writes.size() >= 8,
                 qPrintable(QString::number(rig.driver.writes.size())));
        for (const TransactionResult& r : rig.results)
            QCOMPARE(r.outcome, ReplyOutcome::NoReply);
        // Every request after the first waited out the settle.
        for (int i = 1; i < rig.driver.writes.size(); ++i)
            QVERIFY(rig.driver.writes.at(i).atUs - rig.driver.writes.at(i - 1).atUs >=
                    ModbusMaster::kSettleMs * 1000);
    }

    void oneRequestWaitsAtATime()
    {
        Rig rig;
        rig.answerAfter(4);
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        QCOMPARE(rig.master.writeMultipleRegisters(1, 1, 11, kZeros.data()), SendOutcome::Queued);
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Busy);
        rig.runMs(500);
        QCOMPARE(rig.results.size(), 2);
        QCOMPARE(rig.results.at(0).function, quint8(3));
        QCOMPARE(rig.results.at(1).function, quint8(16));
        QCOMPARE(rig.driver.writes.at(0).bytes, kPoll);
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

    void refusedWriteIsSignalled()
    {
        Rig rig;
        rig.driver.writeStatus = DriverStatusCode::IoError;
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::SendFailed);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.results.first().outcome, ReplyOutcome::SendFailed);
        QCOMPARE(rig.results.first().driverStatus, DriverStatusCode::IoError);
        QVERIFY(!rig.master.pending());
    }

    // The virtual transmitter's faults, each as the master reports it.
    void faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("replyFault");
        QTest::addColumn<int>("exceptionCode");
        using O = ReplyOutcome;
        using F = ReplyFault;
        QTest::newRow("none") << int(Fault::None) << int(O::Reply) << int(F::None) << 0;
        QTest::newRow("no reply") << int(Fault::NoReply) << int(O::NoReply) << int(F::None) << 0;
        QTest::newRow("bad crc") << int(Fault::BadCrc) << int(O::BadReply) << int(F::BadCrc) << 0;
        QTest::newRow("other slave")
            << int(Fault::OtherSlave) << int(O::BadReply) << int(F::WrongSlave) << 0;
        QTest::newRow("wrong function")
            << int(Fault::WrongFunction) << int(O::BadReply) << int(F::WrongFunction) << 0;
        QTest::newRow("wrong byte count")
            << int(Fault::WrongByteCount) << int(O::BadReply) << int(F::BadByteCount) << 0;
        QTest::newRow("truncated")
            << int(Fault::TruncatedReply) << int(O::BadReply) << int(F::Truncated) << 0;
        QTest::newRow("noise first")
            << int(Fault::NoiseBeforeReply) << int(O::BadReply) << int(F::BadCrc) << 0;
        QTest::newRow("exception 2")
            << int(Fault::ExceptionReply) << int(O::Exception) << int(F::Exception) << 2;
        QTest::newRow("read refused")
            << int(Fault::ReadRefused) << int(O::ReadFailed) << int(F::None) << 0;
    }
    void faults()
    {
        QFETCH(int, fault);
        QFETCH(int, outcome);
        QFETCH(int, replyFault);
        QFETCH(int, exceptionCode);
        ManualClock clock;
        VirtualTransmitter device(clock);
        fixtures::holdStill(device);
        device.setFault(Fault(fault), exceptionCode);
        DeviceLink link(device);
        ModbusMaster master(link, clock);
        link.open();
        QCOMPARE(master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        const auto result = fixtures::runToCompletion(master, clock);
        QVERIFY(result);
        QCOMPARE(int(result->outcome), outcome);
        QCOMPARE(int(result->fault), replyFault);
        QCOMPARE(result->exceptionCode, exceptionCode);
        if (result->ok())
            QCOMPARE(result->words.at(1), fixtures::kMeasuredTenths);
        else
            QVERIFY(result->words.empty());
    }

    // Driven by arrival on the event loop: a healthy reading takes the
    // driver's queue count a handful of times, not once every few ms.
    void healthyReadingWakesTheLinkOnlyOnArrival()
    {
        SteadyClock clock;
        VirtualTransmitter device(clock);
        CountingDriver counting(device);
        DeviceLink link(counting);
        ModbusMaster master(link, clock);
        QCOMPARE(link.open(), DriverStatusCode::Ok);
        for (int i = 0; i < 3; ++i) {
            QSignalSpy spy(&master, &ModbusMaster::finished);
            counting.statusCalls = 0;
            QCOMPARE(master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
            QVERIFY(spy.wait(2000));
            QCOMPARE(spy.at(0).at(0).value<TransactionResult>().outcome, ReplyOutcome::Reply);
            QVERIFY2(counting.statusCalls <= 4, qPrintable(QString::number(counting.statusCalls)));
        }
    }
};

QTEST_GUILESS_MAIN(TestModbusMaster)
#include "tst_modbusmaster.moc"
