// The virtual transmitter served on a pseudo-terminal, reached through the
// serial provider as any master would reach it.
#include "fixtures.h"
#include "link/devicelink.h"
#include "link/modbusmaster.h"
#include "link/ptyserver.h"
#include "link/usbserialdriver.h"

#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace quorva::link;

class TestPtyServer : public QObject
{
    Q_OBJECT

private slots:
    void servesReadsAndWritesOverThePty()
    {
        SteadyClock clock;
        VirtualTransmitter device(clock);
        device.setDrift(false);
        PtyServer server(device);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));

        UsbSerialDriver driver(server.devicePath());
        DeviceLink link(driver);
        ModbusMaster master(link, clock);
        QCOMPARE(link.open(), DriverStatusCode::Ok);

        QElapsedTimer t;
        t.start();
        QCOMPARE(master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        TransactionResult r = fixtures::awaitResult(master);
        QCOMPARE(r.outcome, ReplyOutcome::Reply);
        QCOMPARE(r.length, 79);
        // Paced as on the line: 87 characters at 9600 baud.
        QVERIFY2(t.elapsed() >= 85, qPrintable(QString::number(t.elapsed())));
        QCOMPARE((r.bytes[21] << 8) | r.bytes[22], 101); // register 10, firmware

        std::array<qint32, 11> values{9, 9, 9, 7, 1, -1000, 13700, 2, 1, 9, 9};
        QCOMPARE(master.writeMultipleRegisters(1, 1, 11, values.data()), SendOutcome::Sent);
        r = fixtures::awaitResult(master);
        QCOMPARE(r.outcome, ReplyOutcome::Reply);
        QCOMPARE(device.reg(4), quint16(7));
        QCOMPARE(device.reg(6), quint16(-1000));
        QCOMPARE(device.reg(11), quint16(420)); // read-only, kept
        link.close();
    }

    void strayBytesBeforeAFrameAreSkipped()
    {
        SteadyClock clock;
        VirtualTransmitter device(clock);
        PtyServer server(device);
        server.setPacing(false);
        QVERIFY(server.start(nullptr));
        const int fd = ::open(qPrintable(server.devicePath()), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        const RequestFrame poll = buildReadFrame(1, 10, 2);
        QByteArray bytes = QByteArray::fromHex("FF00");
        bytes += QByteArray(reinterpret_cast<const char*>(poll.bytes.data()), poll.length);
        QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        QByteArray reply;
        for (int i = 0; i < 100 && reply.size() < 9; ++i) {
            QTest::qWait(10);
            char chunk[64];
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0)
                reply.append(chunk, int(n));
        }
        ::close(fd);
        QCOMPARE(reply.left(7).toHex(' '), QByteArray("01 03 04 00 65 01 a4"));
    }
};

QTEST_GUILESS_MAIN(TestPtyServer)
#include "tst_ptyserver.moc"
