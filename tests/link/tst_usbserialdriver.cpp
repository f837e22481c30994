// The cable's driver on real ports: whether a line is paced is the kernel's
// word on the port's driver, not its path. A pseudo-terminal reached through
// /dev/ptmx (outside /dev/pts) is a virtual port, and pymodbus answering
// promptly on its other end reads. The line is set as the transmitter's.
#include "link/masteronline.h"
#include "link/usbserialdriver.h"
#include "ptypair.h"

#include <QDir>
#include <QSignalSpy>
#include <cstdlib>
#include <termios.h>

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
    void pacingIsTheDriversNotThePaths()
    {
        PtyPair pty; // only for its pymodbus slave
        MasterOnLine<UsbSerialDriver> wired(QStringLiteral("/dev/ptmx"));
        auto& [clock, driver, link, master] = wired;
        QCOMPARE(link.open(), DriverStatusCode::Ok);
        QVERIFY(!driver.pacesLine());
        const int fd = ptmxDescriptor();
        QVERIFY(fd >= 0 && ::unlockpt(fd) == 0);
        // The transmitter's line as the kernel holds it: 9600 baud, 8 data
        // bits, no parity, one stop bit, no flow control.
        termios line{};
        QCOMPARE(::tcgetattr(fd, &line), 0);
        QCOMPARE(::cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
        QVERIFY2(pty.startPymodbusSlave(QString::fromLatin1(::ptsname(fd))),
                 "python3-pymodbus is needed");
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

    // A name without a folder is a file of the working folder when there is
    // one (a simulator's link made there), as both programs take it; else
    // the system's port of that name.
    void aNameHereIsTheFileHere()
    {
        PtyPair pty;
        QVERIFY(pty.startPymodbusSlave());
        const QString here = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QFileInfo(pty.masterEnd()).path()));
        MasterOnLine<UsbSerialDriver> wired(QStringLiteral("master"));
        const DriverStatus opened = wired.link.open();
        QDir::setCurrent(here);
        QCOMPARE(opened, DriverStatusCode::Ok);
        QCOMPARE(wired.driver.portForIndex(0), pty.masterEnd());
        QSignalSpy finished(&wired.master, &ModbusMaster::finished);
        wired.master.readHoldingRegisters(1, 1, 37);
        QVERIFY(finished.wait(3000));
        QVERIFY(finished.takeFirst().at(0).value<TransactionResult>().ok());
        QCOMPARE(UsbSerialDriver(QStringLiteral("ttyQuorvaNone")).portForIndex(0),
                 QStringLiteral("ttyQuorvaNone"));
    }
};

QTEST_GUILESS_MAIN(TestUsbSerialDriver)
#include "tst_usbserialdriver.moc"
