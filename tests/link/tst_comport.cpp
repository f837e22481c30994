// The cable's driver on a Windows COM port (portline_windows.cpp), run under
// wine by tests/windows/com_port_test.sh: the port named by
// QUORVA_TEST_COM_PORT reaches Debian's pymodbus serving slave 1
// (tests/tools/pymodbus_slave.py), which records its registers in
// QUORVA_TEST_SLAVE_STATE after every write. Without them it skips.
#include "link/masteronline.h"
#include "link/usbserialdriver.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

using namespace quorva::link;

namespace {

QString testPort()
{
    return qEnvironmentVariable("QUORVA_TEST_COM_PORT");
}

QList<int> slaveRegisters()
{
    QFile f(qEnvironmentVariable("QUORVA_TEST_SLAVE_STATE"));
    QList<int> values;
    if (f.open(QIODevice::ReadOnly))
        for (const auto& v : QJsonDocument::fromJson(f.readAll()).array())
            values << v.toInt();
    return values;
}

TransactionResult awaitResult(QSignalSpy& finished)
{
    if (!finished.wait(3000))
        return {};
    return finished.takeFirst().at(0).value<TransactionResult>();
}

} // namespace

class TestComPort : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (testPort().isEmpty())
            QSKIP("QUORVA_TEST_COM_PORT names no port (tests/windows/com_port_test.sh sets it)");
    }

    // pymodbus's registers, read three times over, and a write it confirms
    // and records. A port wine maps onto a pseudo-terminal is no device of
    // Windows': its bytes cross at once, unpaced.
    void readsAndWritesThroughTheComPort()
    {
        MasterOnLine<UsbSerialDriver> wired(testPort());
        auto& [clock, driver, link, master] = wired;
        QCOMPARE(link.open(), DriverStatusCode::Ok);
        QVERIFY(!driver.pacesLine());
        QSignalSpy finished(&master, &ModbusMaster::finished);
        for (int i = 0; i < 3; ++i) {
            master.readHoldingRegisters(1, 1, 37);
            const TransactionResult r = awaitResult(finished);
            QVERIFY2(r.ok(), outcomeName(r.outcome));
            QCOMPARE(int(r.words.size()), 37);
            QCOMPARE(r.words.at(1), quint16(217)); // pymodbus_slave.py's measured value
            QCOMPARE(r.words.at(9), quint16(123)); // and its firmware
        }
        // Registers 1 to 11 as the configuration's write sends them: Pt100,
        // zero +0,5, 0 to 600 °C, no fault action, rising.
        const qint32 values[] = {0, 0, 0, 5, 0, 0, 6000, 0, 0, 123, 10};
        master.writeMultipleRegisters(1, 1, 11, values);
        const TransactionResult w = awaitResult(finished);
        QVERIFY2(w.ok(), outcomeName(w.outcome));
        QCOMPARE(w.quantity, 11);
        QTRY_COMPARE(slaveRegisters().mid(0, 11),
                     QList<int>({0, 0, 0, 5, 0, 0, 6000, 0, 0, 123, 10}));
        link.close();
    }

    // A port that is not there is named as such, in the same words as on
    // Linux. (That a COM port is one program's at a time is Windows' own
    // rule, which wine does not keep for a port mapped onto a Linux device.)
    void refusesAMissingPort()
    {
        UsbSerialDriver driver(QStringLiteral("COM98"));
        DriverHandle handle = 0;
        QCOMPARE(driver.open(0, &handle), DriverStatusCode::DeviceNotFound);
        QCOMPARE(driver.lastFailure().kind, FailureKind::PortNotFound);
        QCOMPARE(failureExplanation(driver.lastFailure()).section(u'\n', 0, 0),
                 "COM98: porta não encontrada.");
    }

    // Closing and opening again leaves a working line: the worker and its
    // pending read end with the close.
    void closesAndOpensAgain()
    {
        UsbSerialDriver driver(testPort());
        for (int round = 0; round < 3; ++round) {
            DriverHandle handle = 0;
            QCOMPARE(driver.open(0, &handle), DriverStatusCode::Ok);
            QCOMPARE(driver.close(handle), DriverStatusCode::Ok);
        }
        MasterOnLine<UsbSerialDriver> wired(testPort());
        auto& [clock, again, link, master] = wired;
        QCOMPARE(link.open(), DriverStatusCode::Ok);
        QSignalSpy finished(&master, &ModbusMaster::finished);
        master.readHoldingRegisters(1, 1, 37);
        QVERIFY(awaitResult(finished).ok());
    }
};

QTEST_GUILESS_MAIN(TestComPort)
#include "tst_comport.moc"
