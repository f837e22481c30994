// The master against the virtual transmitter, in simulated time: a normal
// reading, the write echo, each injected fault, and the rules of one
// transaction at a time.
#include "fixtures.h"
#include "link/devicelink.h"
#include "link/modbusmaster.h"

#include <QtTest>

using namespace quorva::link;
using quorva::sim::VirtualTransmitter;
using Fault = VirtualTransmitter::Fault;

class TestModbusMaster : public QObject
{
    Q_OBJECT

    struct Rig
    {
        ManualClock clock;
        VirtualTransmitter device{clock};
        DeviceLink link{device};
        ModbusMaster master{link, clock};
        Rig()
        {
            fixtures::holdStill(device);
            link.open();
        }
    };

private slots:
    void readsThirtySevenRegistersAtLinePace()
    {
        Rig rig;
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        QCOMPARE(rig.device.receivedFrames().back(), QByteArray::fromHex("0103000000258411"));
        const qint64 start = rig.clock.nowUs();
        const auto result = fixtures::runToCompletion(rig.master, rig.clock);
        QVERIFY(result);
        QCOMPARE(result->outcome, ReplyOutcome::Reply);
        QCOMPARE(result->length, 79);
        QCOMPARE(int(result->bytes[2]), 74);
        QCOMPARE((result->bytes[5] << 8) | result->bytes[6], int(fixtures::kMeasuredTenths));
        // Request and reply cross the line before the reading completes.
        const qint64 elapsedMs = (rig.clock.nowUs() - start) / 1000;
        QVERIFY2(elapsedMs >= fixtures::kPollLineTimeMs, qPrintable(QString::number(elapsedMs)));
        QVERIFY(elapsedMs <
                fixtures::kPollLineTimeMs + 10 + VirtualTransmitter::kDefaultTurnaroundMs);
        QVERIFY(!rig.master.busy());
    }

    void writeIsConfirmedByItsEcho()
    {
        Rig rig;
        std::array<qint32, 11> values{};
        values[3] = -5;
        QCOMPARE(rig.master.writeMultipleRegisters(1, 1, 11, values.data()), SendOutcome::Sent);
        const auto result = fixtures::runToCompletion(rig.master, rig.clock);
        QVERIFY(result);
        QCOMPARE(result->outcome, ReplyOutcome::Reply);
        QCOMPARE(result->function, quint8(16));
        QCOMPARE(result->length, 8);
        QCOMPARE(rig.device.reg(4), quint16(0xFFFB));
    }

    void faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("replyFault");
        QTest::addColumn<int>("exceptionCode");
        QTest::addColumn<bool>("bytesArrived");
        QTest::newRow("no reply") << int(Fault::NoReply) << int(ReplyOutcome::NoReply)
                                  << int(ReplyFault::None) << 0 << false;
        QTest::newRow("bad crc") << int(Fault::BadCrc) << int(ReplyOutcome::BadReply)
                                 << int(ReplyFault::BadCrc) << 0 << true;
        QTest::newRow("other slave") << int(Fault::OtherSlave) << int(ReplyOutcome::BadReply)
                                     << int(ReplyFault::WrongSlave) << 0 << true;
        QTest::newRow("wrong function") << int(Fault::WrongFunction) << int(ReplyOutcome::BadReply)
                                        << int(ReplyFault::WrongFunction) << 0 << true;
        QTest::newRow("wrong byte count")
            << int(Fault::WrongByteCount) << int(ReplyOutcome::BadReply)
            << int(ReplyFault::BadByteCount) << 0 << true;
        QTest::newRow("truncated") << int(Fault::TruncatedReply) << int(ReplyOutcome::BadReply)
                                   << int(ReplyFault::Truncated) << 0 << true;
        QTest::newRow("noise first") << int(Fault::NoiseBeforeReply) << int(ReplyOutcome::BadReply)
                                     << int(ReplyFault::BadCrc) << 0 << true;
        for (int code = 1; code <= 4; ++code)
            QTest::addRow("exception %d", code)
                << int(Fault::ExceptionReply) << int(ReplyOutcome::Exception)
                << int(ReplyFault::Exception) << code << true;
        QTest::newRow("read refused") << int(Fault::ReadRefused) << int(ReplyOutcome::ReadFailed)
                                      << int(ReplyFault::None) << 0 << false;
    }
    void faults()
    {
        QFETCH(int, fault);
        QFETCH(int, outcome);
        QFETCH(int, replyFault);
        QFETCH(int, exceptionCode);
        QFETCH(bool, bytesArrived);
        Rig rig;
        rig.device.setFault(Fault(fault), exceptionCode);
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        const auto result = fixtures::runToCompletion(rig.master, rig.clock);
        QVERIFY(result);
        QCOMPARE(int(result->outcome), outcome);
        QCOMPARE(int(result->fault), replyFault);
        QCOMPARE(result->exceptionCode, exceptionCode);
        QCOMPARE(result->bytesReceived > 0, bytesArrived);
        QCOMPARE(result->length, 0);
        QCOMPARE(rig.link.LinkStatus == DriverStatusCode::Ok,
                 outcome != int(ReplyOutcome::ReadFailed));
    }

    void silenceTimesOutAtTheResponseTimeout()
    {
        Rig rig;
        rig.device.setFault(Fault::NoReply);
        rig.master.readHoldingRegisters(1, 1, 37);
        const qint64 start = rig.clock.nowUs();
        QVERIFY(fixtures::runToCompletion(rig.master, rig.clock));
        QCOMPARE((rig.clock.nowUs() - start) / 1000, qint64(ModbusMaster::kResponseTimeoutMs));
    }

    void slowDeviceWithinTheTimeoutIsHeard()
    {
        Rig rig;
        rig.device.setTurnaroundMs(600);
        rig.master.readHoldingRegisters(1, 1, 37);
        const auto result = fixtures::runToCompletion(rig.master, rig.clock);
        QVERIFY(result);
        QCOMPARE(result->outcome, ReplyOutcome::Reply);
    }

    void extraBytesAfterTheReplyAreLeftForThePurge()
    {
        Rig rig;
        rig.device.setFault(Fault::DoubleReply);
        rig.master.readHoldingRegisters(1, 1, 37);
        auto result = fixtures::runToCompletion(rig.master, rig.clock);
        QVERIFY(result);
        QCOMPARE(result->outcome, ReplyOutcome::Reply);
        // Once the line is quiet, the second copy must not be taken as the
        // answer to a write.
        rig.device.setFault(Fault::None);
        rig.clock.advanceMs(100);
        std::array<qint32, 11> values{};
        QCOMPARE(rig.master.writeMultipleRegisters(1, 1, 11, values.data()), SendOutcome::Sent);
        result = fixtures::runToCompletion(rig.master, rig.clock);
        QVERIFY(result);
        QCOMPARE(result->outcome, ReplyOutcome::Reply);
        QCOMPARE(result->length, 8);
    }

    void staleReplyIsDiscardedBeforeTheNextRequest()
    {
        Rig rig;
        // A write's echo left queued must not be read as the next reading.
        std::array<qint32, 11> values{};
        rig.master.writeMultipleRegisters(1, 1, 11, values.data());
        rig.master.cancel();
        rig.clock.advanceMs(200);
        rig.master.readHoldingRegisters(1, 1, 37);
        const auto result = fixtures::runToCompletion(rig.master, rig.clock);
        QVERIFY(result);
        QCOMPARE(result->outcome, ReplyOutcome::Reply);
        QCOMPARE(result->length, 79);
    }

    void oneTransactionAtATime()
    {
        Rig rig;
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        QVERIFY(rig.master.busy());
        QCOMPARE(rig.master.functionInFlight(), quint8(3));
        std::array<qint32, 11> values{};
        QCOMPARE(rig.master.writeMultipleRegisters(1, 1, 11, values.data()), SendOutcome::Busy);
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::Busy);
        QCOMPARE(rig.device.receivedFrames().size(), size_t(1));
    }

    void cancelledTransactionNeverCompletes()
    {
        Rig rig;
        QSignalSpy spy(&rig.master, &ModbusMaster::finished);
        rig.master.readHoldingRegisters(1, 1, 37);
        rig.clock.advanceMs(40);
        rig.master.service();
        rig.master.cancel();
        QVERIFY(!rig.master.busy());
        for (int i = 0; i < 1000; ++i) {
            rig.clock.advanceMs(1);
            rig.master.service();
        }
        QCOMPARE(spy.count(), 0);
    }

    void sendFailureStoresTheStatusAndReadsNothing()
    {
        Rig rig;
        rig.device.setFault(Fault::WriteRefused);
        QSignalSpy spy(&rig.master, &ModbusMaster::finished);
        QCOMPARE(rig.master.readHoldingRegisters(1, 1, 37), SendOutcome::SendFailed);
        QCOMPARE(rig.link.LinkStatus, DriverStatusCode::IoError);
        QVERIFY(!rig.master.busy());
        rig.master.service();
        QCOMPARE(spy.count(), 0);
    }

    void unpluggedWhileReadingFailsTheRead()
    {
        Rig rig;
        rig.master.readHoldingRegisters(1, 1, 37);
        rig.clock.advanceMs(30);
        rig.master.service();
        rig.device.setFault(Fault::Unplugged);
        const auto result = fixtures::runToCompletion(rig.master, rig.clock);
        QVERIFY(result);
        QCOMPARE(result->outcome, ReplyOutcome::ReadFailed);
        QVERIFY(rig.link.LinkStatus != DriverStatusCode::Ok);
    }

    void completesFromTheEventLoopInRealTime()
    {
        SteadyClock clock;
        VirtualTransmitter device(clock);
        DeviceLink link(device);
        ModbusMaster master(link, clock);
        QCOMPARE(link.open(), DriverStatusCode::Ok);
        QSignalSpy spy(&master, &ModbusMaster::finished);
        QCOMPARE(master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        QVERIFY(spy.wait(2000));
        QCOMPARE(spy.at(0).at(0).value<TransactionResult>().outcome, ReplyOutcome::Reply);
    }
};

QTEST_GUILESS_MAIN(TestModbusMaster)
#include "tst_modbusmaster.moc"
