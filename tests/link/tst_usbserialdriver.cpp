// The cable's driver on real ports: whether a line is paced is the kernel's
// word on the port's driver, not its path. A pseudo-terminal reached through
// /dev/ptmx (outside /dev/pts) is a virtual port, and pymodbus answering
// promptly on its other end reads.
#include "link/devicelink.h"
#include "link/modbusmaster.h"
#include "link/usbserialdriver.h"
#include "ptypair.h"

#include <QDir>
#include <QSignalSpy>
#include <cstdlib>

using namespace quorva::link;

namespace {
// The pseudo-terminal master this process holds open on /dev/ptmx.
int ptmxDescriptor()
{
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System))
        if (fd.symLinkTarget() == "/dev/ptmx")
            return fd.fileName().toInt();
    return -1;
}
} // namespace

class TestUsbSerialDriver : public QObject
{
    Q_OBJECT

private slots:
    void pacingIsTheDriversNotThePaths_data()
    {
        QTest::addColumn<bool>("throughPtmx");
        QTest::newRow("socat pseudo-terminal, by its link") << false;
        QTest::newRow("pseudo-terminal opened through /dev/ptmx") << true;
    }
    void pacingIsTheDriversNotThePaths()
    {
        QFETCH(bool, throughPtmx);
        PtyPair pty;
        QVERIFY(pty.waitForLinks());
        UsbSerialDriver driver(throughPtmx ? QStringLiteral("/dev/ptmx") : pty.masterEnd());
        DeviceLink link(driver);
        SteadyClock clock;
        ModbusMaster master(link, clock);
        QCOMPARE(link.open(), DriverStatusCode::Ok);
        QVERIFY(!driver.pacesLine());
        QString slaveEnd;
        if (throughPtmx) {
            const int fd = ptmxDescriptor();
            QVERIFY(fd >= 0 && ::unlockpt(fd) == 0);
            slaveEnd = QString::fromLatin1(::ptsname(fd));
        }
        QVERIFY2(pty.startPymodbusSlave(slaveEnd), "socat and python3-pymodbus are needed");

        QSignalSpy finished(&master, &ModbusMaster::finished);
        for (int i = 0; i < 3; ++i) {
            master.readHoldingRegisters(1, 1, 37);
            QVERIFY(finished.wait(3000));
            const auto r = finished.takeFirst().at(0).value<TransactionResult>();
            QVERIFY2(r.ok(), outcomeName(r.outcome));
            QCOMPARE(r.words.at(1), quint16(217)); // pymodbus_slave.py's measured value
        }
        link.close();
    }
};

QTEST_GUILESS_MAIN(TestUsbSerialDriver)
#include "tst_usbserialdriver.moc"
