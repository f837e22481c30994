// End to end over a real serial line: the USB serial provider opens one end of
// a socat pseudo-terminal pair, Debian's pymodbus serves slave 1 on the other.
#include "fixtures.h"
#include "link/devicelink.h"
#include "link/modbusmaster.h"
#include "link/usbserialdriver.h"
#include "ptypair.h"

#include <QtTest>

using namespace quorva::link;

class TestUsbSerialPymodbus : public QObject
{
    Q_OBJECT

private slots:
    void readAndWriteAgainstPymodbus()
    {
        PtyPair pty;
        QVERIFY2(pty.startPymodbusSlave(), "socat and python3-pymodbus are needed");

        UsbSerialDriver driver(pty.masterEnd());
        DeviceLink link(driver);
        SteadyClock clock;
        ModbusMaster master(link, clock);
        QCOMPARE(link.open(), DriverStatusCode::Ok);

        QCOMPARE(master.readHoldingRegisters(1, 1, 37), SendOutcome::Sent);
        TransactionResult result = fixtures::awaitResult(master);
        QCOMPARE(result.outcome, ReplyOutcome::Reply);
        const QList<int> expected = pty.slaveRegisters();
        QCOMPARE(expected.size(), 37);
        QCOMPARE(QList<int>(result.words.begin(), result.words.end()), expected);

        std::array<qint32, 11> values{0, 0, 0, -5, 0, -2000, 6500, 1, 0, 0, 0};
        QCOMPARE(master.writeMultipleRegisters(1, 1, 11, values.data()), SendOutcome::Sent);
        result = fixtures::awaitResult(master);
        QCOMPARE(result.outcome, ReplyOutcome::Reply);
        QCOMPARE(std::make_pair(result.firstRegister, result.quantity), std::make_pair(1, 11));
        const QList<int> written = pty.slaveRegisters();
        for (int k = 0; k < 11; ++k)
            QCOMPARE(written.at(k), int(quint16(values[size_t(k)])));
        QCOMPARE(written.at(11), expected.at(11));

        // A register the slave does not have gives its exception, not data.
        QCOMPARE(master.readHoldingRegisters(1, 1, 100), SendOutcome::Sent);
        result = fixtures::awaitResult(master);
        QCOMPARE(result.outcome, ReplyOutcome::Exception);
        QCOMPARE(result.exceptionCode, 2);
        link.close();
    }

    void openingAMissingPortFails()
    {
        UsbSerialDriver driver(QStringLiteral("/dev/quorva-no-such-port"));
        DeviceLink link(driver);
        QVERIFY(link.open() != DriverStatusCode::Ok);
        QVERIFY(!driver.lastOpenError().isEmpty());
    }

    void portIsHeldUntilClosed()
    {
        PtyPair pty;
        QVERIFY(pty.waitForLinks());
        UsbSerialDriver driver(pty.masterEnd());
        DriverHandle first = 0, second = 0;
        QCOMPARE(driver.open(0, &first), DriverStatusCode::Ok);
        QVERIFY(driver.open(0, &second) != DriverStatusCode::Ok);
        QCOMPARE(driver.close(first), DriverStatusCode::Ok);
        QCOMPARE(driver.open(0, &second), DriverStatusCode::Ok);
        quint32 n = 0;
        const quint8 byte = 0;
        QCOMPARE(driver.write(first, &byte, 1, &n), DriverStatusCode::InvalidHandle);
        driver.close(second);
    }
};

QTEST_GUILESS_MAIN(TestUsbSerialPymodbus)
#include "tst_usbserial_pymodbus.moc"
