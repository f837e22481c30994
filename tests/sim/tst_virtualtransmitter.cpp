// The virtual transmitter as a driver: line pacing, the arrival it reports,
// the settings it was given, its port and its memory over a long run.
#include "fixtures.h"
#include "link/devicelink.h"
#include "sim/slaveframe.h"

#include <QtTest>

using namespace quorva::link;
using quorva::sim::VirtualTransmitter;
using Fault = VirtualTransmitter::Fault;

namespace {
const QByteArray kPoll = QByteArray::fromHex("0103000000258411");

void send(VirtualTransmitter& device, DriverHandle h, const QByteArray& frame)
{
    quint32 written = 0;
    QCOMPARE(device.write(h, reinterpret_cast<const quint8*>(frame.constData()),
                          quint32(frame.size()), &written),
             DriverStatusCode::Ok);
}

quint32 queued(VirtualTransmitter& device, DriverHandle h)
{
    quint32 rx = 0, tx = 0, events = 0;
    device.getStatus(h, &rx, &tx, &events);
    return rx;
}
} // namespace

class TestVirtualTransmitter : public QObject
{
    Q_OBJECT

private slots:
    void replyBytesArriveAtNineThousandSixHundredBaud()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        device.setTurnaroundMs(5);
        DriverHandle h = 0;
        QCOMPARE(device.open(0, &h), DriverStatusCode::Ok);
        send(device, h, kPoll);
        // 8 request bytes (8,3 ms) and 5 ms turnaround: nothing before 13 ms.
        clock.advanceMs(13);
        QCOMPARE(queued(device, h), 0u);
        clock.advanceMs(10); // ten byte times, less a little
        QVERIFY(queued(device, h) >= 8 && queued(device, h) <= 10);
        clock.advanceMs(100);
        QCOMPARE(queued(device, h), 79u);
        std::array<quint8, 100> reply{};
        quint32 got = 0;
        QCOMPARE(device.read(h, reply.data(), 100, &got), DriverStatusCode::Ok);
        QCOMPARE(got, 79u);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(reply.data()), 3).toHex(), "01034a");
        QCOMPARE(device.scheduledByteCount(), 0);
    }

    void lineSettingsAtConnect()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        DeviceLink link(device);
        QCOMPARE(link.open(), DriverStatusCode::Ok);
        const VirtualTransmitter::LineSettings& line = device.lineSettings();
        QCOMPARE(line.baudRate, 9600u);
        QCOMPARE(int(line.wordLength), 8);
        QCOMPARE(int(line.stopBits), 0); // D2XX's code for one stop bit
        QCOMPARE(int(line.parity), 0);
        QCOMPARE(line.readTimeoutMs, 10u);
        QCOMPARE(line.writeTimeoutMs, 1u);
        QCOMPARE(line.lastPurgeMask, 3u); // both queues
        QCOMPARE(line.purgeCount, 1);
        QVERIFY(device.pacesLine());
    }

    // Each burst (here three stray bytes, then the reply) is reported once,
    // when it is whole, on the event loop and never from inside write().
    void arrivalIsReportedWhenEachBurstIsWhole()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        DriverHandle h = 0;
        QCOMPARE(device.open(0, &h), DriverStatusCode::Ok);
        QList<quint32> queuedAtCall;
        device.setArrivalHandler([&] { queuedAtCall << queued(device, h); });
        device.setFault(Fault::NoiseBeforeReply);
        send(device, h, kPoll);
        QVERIFY(queuedAtCall.isEmpty());
        QTest::qWait(30);
        QVERIFY(queuedAtCall.isEmpty()); // the clock has not moved
        // The noise is whole after the request, the turnaround and 3 bytes: 15,5 ms.
        clock.advanceMs(16);
        QTRY_COMPARE(queuedAtCall, QList<quint32>{3});
        clock.advanceMs(100);
        QTRY_COMPARE(queuedAtCall, (QList<quint32>{3, 82}));
        QTest::qWait(30);
        QCOMPARE(queuedAtCall.size(), 2);
    }

    void portIsHeldExclusivelyAndCanBeUnplugged()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        DriverHandle first = 0, second = 0;
        QCOMPARE(device.open(0, &first), DriverStatusCode::Ok);
        QVERIFY(device.open(0, &second) != DriverStatusCode::Ok);
        QCOMPARE(device.close(first), DriverStatusCode::Ok);
        QCOMPARE(device.open(0, &second), DriverStatusCode::Ok);
        QVERIFY(second != first);
        quint8 byte = 0;
        quint32 n = 0;
        QCOMPARE(device.write(first, &byte, 1, &n), DriverStatusCode::InvalidHandle);
        int calls = 0;
        device.setArrivalHandler([&] { ++calls; });
        device.setFault(Fault::Unplugged);
        QCOMPARE(calls, 0);
        QTRY_COMPARE(calls, 1); // the line failed: the link hears of it
        QVERIFY(device.write(second, &byte, 1, &n) != DriverStatusCode::Ok);
        QVERIFY(device.read(second, &byte, 1, &n) != DriverStatusCode::Ok);
        device.close(second);
        QCOMPARE(device.open(0, &second), DriverStatusCode::DeviceNotFound);
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
        for (int i = 0; i < kRequests; ++i) {
            device.purge(h, kPurgeRx); // as the master does before each request
            send(device, h, kPoll);
            clock.advanceMs(100);
        }
        QCOMPARE(device.requestCount(), qint64(kRequests));
        QCOMPARE(int(device.receivedFrames().size()), VirtualTransmitter::kRequestLogSize);
        QCOMPARE(device.receivedFrames().back(), kPoll);
        QVERIFY(device.scheduledByteCount() <= quorva::sim::kMaxAnswersWaiting * (1100 + 79));
        clock.advanceMs(10'000);
        device.purge(h, kPurgeRx);
        QCOMPARE(device.scheduledByteCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestVirtualTransmitter)
#include "tst_virtualtransmitter.moc"
