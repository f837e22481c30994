// The test transmitter: the frames it answers, faults included, as literal
// frames (CRCs computed with pymodbus 3.0), and its paced driver's memory over
// a long run. Its pacing shows in the fault matrix, its pseudo-terminal in
// the command line's tests with mbpoll.
#include "sim/slaveframe.h"
#include "sim/virtualtransmitter.h"

#include <QtTest>

using namespace quorva::link;
using namespace quorva::sim;

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    // Factory values: 23,5 °C, Pt100 from -200 to 650 °C, firmware 1,01, TRV-A.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArrayList>("bursts");
        QTest::addColumn<int>("zeroAfter");                // register 4, the zero adjustment
        const QByteArray read = "01 03 00 09 00 02 14 09"; // registers 10 and 11
        const QByteArray reply = "01 03 04 00 65 01 A4 EA 07";
        const QByteArray writeZero = "01 10 00 03 00 01 02 FF FB A6 10";
        auto row = [](const char* name, const QByteArray& request, Fault fault,
                      const QByteArrayList& bursts, int zeroAfter = 0) {
            QTest::newRow(name) << request << int(fault) << bursts << zeroAfter;
        };
        row("firmware and model", read, Fault::None, {reply});
        row("past the last", "01 03 00 24 00 02 84 00", Fault::None, {"01 83 02 C0 F1"});
        row("function 4", "01 04 00 00 00 01 31 CA", Fault::None, {"01 84 01 82 C0"});
        row("eleven registers, the device's own kept",
            "01 10 00 00 00 0B 16 00 64 00 65 00 66 00 67 00 68 00 69 00 6A 00 6B 00 6C 00 6D 00 "
            "6E 30 F6",
            Fault::None, {"01 10 00 00 00 0B 81 CE"}, 103);
        row("write", writeZero, Fault::None, {"01 10 00 03 00 01 F1 C9"}, -5);
        row("refused write", writeZero, Fault::RefuseWrites, {"01 90 04 4D C3"});
        row("refused writes, read", read, Fault::RefuseWrites, {reply});
        row("ignored write", writeZero, Fault::IgnoreWrites, {"01 10 00 03 00 01 F1 C9"});
        row("no reply", writeZero, Fault::NoReply, {});
        row("exception", read, Fault::ExceptionReply, {"01 83 03 01 31"});
        row("bad crc", read, Fault::BadCrc, {"01 03 04 00 65 01 A4 EA 5D"});
        row("other slave", read, Fault::OtherSlave, {"02 03 04 00 65 01 A4 D9 07"});
        row("wrong function", read, Fault::WrongFunction, {"01 04 04 00 65 01 A4 EB B0"});
        row("wrong byte count", read, Fault::WrongByteCount, {"01 03 02 00 65 78 6F"});
        row("truncated", read, Fault::TruncatedReply, {"01 03 04 00"});
        row("noise", read, Fault::NoiseBeforeReply, {"FF 00 55", reply});
        row("double reply", read, Fault::DoubleReply, {reply, reply});
        row("flood", read, Fault::Flood,
            {QByteArray(1100, char(0xAA)).toHex(' ').toUpper(), reply});
        row("another slave's request", "02 03 00 00 00 01 84 39", Fault::None, {});
        row("spoilt request", "01 03 00 00 00 01 84 0B", Fault::None, {});
        row("too short", "01 03 00 00 84 0B", Fault::None, {});
    }
    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, fault);
        QFETCH(QByteArrayList, bursts);
        QFETCH(int, zeroAfter);
        TransmitterModel model;
        model.setDrift(false);
        QByteArrayList sent;
        for (const QByteArray& burst :
             answerFrame(model, QByteArray::fromHex(request), 0, {Fault(fault), 3}))
            sent << burst.toHex(' ').toUpper();
        QCOMPARE(sent, bursts);
        // The zero as written; the measured value, the firmware and the model
        // belong to the device.
        QCOMPARE((QList<int>{model.reg(1), model.reg(2), model.reg(3), qint16(model.reg(4)),
                             model.reg(10), model.reg(11)}),
                 (QList<int>{0, 235, 0, zeroAfter, 101, 420}));
    }

    // The faults the reply's checks detect go by the codes the JSON reports
    // ("fault":"wrong-slave"); their former names are still taken.
    void faultNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("fault"); // -1: not a fault's name
        QTest::addColumn<bool>("listed");
        QTest::newRow("wrong-slave") << "wrong-slave" << int(Fault::OtherSlave) << true;
        QTest::newRow("other-slave") << "other-slave" << int(Fault::OtherSlave) << false;
        QTest::newRow("bad-byte-count") << "bad-byte-count" << int(Fault::WrongByteCount) << true;
        QTest::newRow("wrong-byte-count")
            << "wrong-byte-count" << int(Fault::WrongByteCount) << false;
        QTest::newRow("unknown") << "wrong-slaves" << -1 << false;
    }
    void faultNames()
    {
        QFETCH(QString, name);
        QFETCH(int, fault);
        QFETCH(bool, listed);
        Fault found = Fault::None;
        QCOMPARE(faultFromName(name, found) ? int(found) : -1, fault);
        QCOMPARE(lineFaultNames().contains(name), listed);
    }

    // A day and more of polls, each answer (a flood of stray bytes, then the
    // reply) longer on the line than the interval: the request log and the
    // receive queue keep to their bounds.
    void memoryStaysFlat()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        DriverHandle h = 0;
        QCOMPARE(device.open(0, &h), DriverStatusCode::Ok);
        device.setFault(Fault::Flood);
        constexpr int kRequests = 100'000;
        const QByteArray poll = QByteArray::fromHex("0103000000258411");
        for (int i = 0; i < kRequests; ++i) {
            device.purge(h, kPurgeRx); // as the master does before each request
            quint32 written = 0;
            device.write(h, reinterpret_cast<const quint8*>(poll.constData()), 8, &written);
            clock.advanceMs(100);
        }
        QCOMPARE(device.requestCount(), qint64(kRequests));
        QCOMPARE(int(device.receivedFrames().size()), VirtualTransmitter::kRequestLogSize);
        QVERIFY(device.scheduledByteCount() <= kMaxAnswersWaiting * (1100 + 79));
        clock.advanceMs(10'000);
        device.purge(h, kPurgeRx);
        QCOMPARE(device.scheduledByteCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
