// The virtual transmitter as a device: line pacing, the registers it keeps
// to itself, the exceptions a real slave gives, and its driver behaviour.
#include "fixtures.h"
#include "link/modbusframe.h"

#include <QtTest>

using namespace quorva::link;
using Fault = VirtualTransmitter::Fault;

class TestVirtualTransmitter : public QObject
{
    Q_OBJECT

    static std::vector<quint8> frame(std::vector<quint8> head)
    {
        head.resize(head.size() + 3);
        AppendCrc(head.data(), int(head.size()) - 3);
        head.pop_back();
        return head;
    }

private slots:
    void replyBytesArriveAtNineThousandSixHundredBaud()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        device.setTurnaroundMs(5);
        DriverHandle h = 0;
        QCOMPARE(device.open(0, &h), DriverStatusCode::Ok);
        const RequestFrame poll = buildReadFrame(1, 1, 37);
        quint32 written = 0;
        QCOMPARE(device.write(h, poll.bytes.data(), 8, &written), DriverStatusCode::Ok);
        quint32 rx = 0, tx = 0, ev = 0;
        // 8 request bytes (8,3 ms) and 5 ms turnaround: nothing before 13 ms.
        clock.advanceMs(13);
        device.getStatus(h, &rx, &tx, &ev);
        QCOMPARE(rx, 0u);
        clock.advanceMs(10); // ten byte times, less a little
        device.getStatus(h, &rx, &tx, &ev);
        QVERIFY(rx >= 8 && rx <= 10);
        clock.advanceMs(100);
        device.getStatus(h, &rx, &tx, &ev);
        QCOMPARE(rx, 79u);
    }

    void readOnlyRegistersKeepTheirValues()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        std::array<qint32, 11> values{};
        for (int k = 0; k < 11; ++k)
            values[size_t(k)] = 100 + k;
        const RequestFrame write = buildWriteFrame(1, 1, 11, values.data());
        const std::vector<quint8> echo = device.respond(write.bytes.data(), write.length);
        QCOMPARE(echo, frame({0x01, 0x10, 0x00, 0x00, 0x00, 0x0B}));
        QCOMPARE(device.reg(1), quint16(0));
        QCOMPARE(device.reg(3), quint16(0));
        QCOMPARE(device.reg(10), fixtures::kFirmware);
        QCOMPARE(device.reg(11), fixtures::kModelTrvA);
        for (int number = 4; number <= 9; ++number)
            QCOMPARE(device.reg(number), quint16(100 + number - 1));
    }

    void slaveExceptions()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        auto ask = [&](const std::vector<quint8>& head) {
            const std::vector<quint8> request = frame(head);
            return device.respond(request.data(), int(request.size()));
        };
        QCOMPARE(ask({0x01, 0x03, 0x00, 0x24, 0x00, 0x02}), frame({0x01, 0x83, 0x02}));
        QCOMPARE(ask({0x01, 0x04, 0x00, 0x00, 0x00, 0x01}), frame({0x01, 0x84, 0x01}));
        QCOMPARE(ask({0x01, 0x03, 0x00, 0x00, 0x00, 0x00}), frame({0x01, 0x83, 0x03}));
        QVERIFY(ask({0x02, 0x03, 0x00, 0x00, 0x00, 0x01}).empty()); // another slave's request
        std::vector<quint8> spoilt = frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
        spoilt.back() ^= 1;
        QVERIFY(device.respond(spoilt.data(), int(spoilt.size())).empty());
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
        device.setFault(Fault::Unplugged);
        QVERIFY(device.write(second, &byte, 1, &n) != DriverStatusCode::Ok);
        device.close(second);
        QCOMPARE(device.open(0, &second), DriverStatusCode::DeviceNotFound);
    }

    void temperatureDriftsSlowly()
    {
        ManualClock clock;
        VirtualTransmitter device(clock);
        const RequestFrame poll = buildReadFrame(1, 2, 1);
        QSet<int> seen;
        for (int s = 0; s < 120; ++s) {
            clock.advanceMs(1000);
            const auto reply = device.respond(poll.bytes.data(), poll.length);
            const int tenths = qint16((reply[3] << 8) | reply[4]);
            QVERIFY2(qAbs(tenths - fixtures::kMeasuredTenths) <= 25,
                     qPrintable(QString::number(tenths)));
            seen.insert(tenths);
        }
        QVERIFY(seen.size() > 5);
    }
};

QTEST_APPLESS_MAIN(TestVirtualTransmitter)
#include "tst_virtualtransmitter.moc"
