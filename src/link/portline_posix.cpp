// The serial port on Linux and other POSIX systems: Qt Serial Port, with the
// kernel asked for low latency and about the port's driver.
#include "link/portline.h"

#include <QFile>
#include <QFileInfo>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quorva::link {

namespace {

// Asks the kernel's driver to hand received bytes on at once. On an FTDI
// cable this sets the adapter's latency timer to 1 ms instead of 16, which
// otherwise may hold back the tail of a reply longer than one USB packet.
void requestLowLatency(QSerialPort& port)
{
    serial_struct serial{};
    if (::ioctl(port.handle(), TIOCGSERIAL, &serial) != 0)
        return; // not a serial driver's port (a pseudo-terminal)
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(port.handle(), TIOCSSERIAL, &serial);
}

// Whether the kernel drives the open port as a real UART, which moves bytes
// at the baud rate: a USB-serial adapter's driver or the serial core's. The
// device number leads to it whatever path reached the port (a link, a bind
// mount); a pseudo-terminal or another virtual port has no such driver.
bool isRealUart(QSerialPort& port)
{
    struct stat node
    {
    };
    if (::fstat(port.handle(), &node) != 0 || !S_ISCHR(node.st_mode))
        return false;
    // /sys/bus/<bus>/drivers/<driver>
    const QString driver = QFileInfo(QStringLiteral("/sys/dev/char/%1:%2/device/driver")
                                         .arg(major(node.st_rdev))
                                         .arg(minor(node.st_rdev)))
                               .canonicalFilePath();
    static const QStringList kUartBuses{"usb-serial", "serial-base", "platform",
                                        "pnp",        "pci",         "amba"};
    return kUartBuses.contains(driver.section(u'/', 3, 3));
}

// The device file behind a port name: Qt takes a bare name for one in /dev.
QString deviceFile(const QString& name)
{
    return name.contains(u'/') ? name : QStringLiteral("/dev/") + name;
}

} // namespace

struct PortLine::Private
{
    QSerialPort port;
    std::function<void()> onEvent;
    bool failed = false;
    bool paced = true;

    void onPortError(QSerialPort::SerialPortError error)
    {
        // A pulled adapter shows as a resource error; a hung-up terminal as a
        // read that finds nothing although the port reported data. Either way
        // the line is gone: close the port at once, or its notifier would wake
        // the event loop for ever, and tell the link.
        if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
            return;
        if (!port.isOpen())
            return;
        failed = true;
        port.close();
        onEvent();
    }
};

std::unique_ptr<PortLine> PortLine::open(const QString& name, std::function<void()> onEvent,
                                         OpenFailure* failure)
{
    auto d = std::make_unique<Private>();
    d->port.setPortName(name);
    if (!d->port.open(QIODevice::ReadWrite)) {
        const bool mayReadWrite =
            ::access(QFile::encodeName(deviceFile(name)).constData(), R_OK | W_OK) == 0;
        *failure = {classifyOpenError(d->port.error(), mayReadWrite), d->port.errorString(),
                    d->port.error()};
        return nullptr;
    }
    requestLowLatency(d->port);
    // Anything but a real UART (a pseudo-terminal, a virtual port) moves
    // bytes at once, whatever its baud rate says.
    d->paced = isRealUart(d->port);
    d->onEvent = std::move(onEvent);
    Private* raw = d.get();
    QObject::connect(&d->port, &QSerialPort::readyRead, &d->port, [raw] { raw->onEvent(); });
    QObject::connect(&d->port, &QSerialPort::errorOccurred, &d->port,
                     [raw](QSerialPort::SerialPortError error) { raw->onPortError(error); });
    return std::unique_ptr<PortLine>(new PortLine(std::move(d)));
}

QString PortLine::nameOf(const QSerialPortInfo& info)
{
    return info.systemLocation();
}

PortLine::PortLine(std::unique_ptr<Private> d) : d(std::move(d)) {}

PortLine::~PortLine() = default;

qint64 PortLine::read(char* data, qint64 size)
{
    return d->port.read(data, size);
}

bool PortLine::write(const char* data, qint64 size)
{
    if (d->port.write(data, size) != size)
        return false;
    // Hands the bytes to the device without waiting for the line.
    d->port.flush();
    return !d->failed && d->port.error() != QSerialPort::WriteError;
}

bool PortLine::setBaudRate(qint32 baudRate)
{
    return d->port.setBaudRate(baudRate);
}

bool PortLine::setEightNoneOne()
{
    return d->port.setDataBits(QSerialPort::Data8) && d->port.setStopBits(QSerialPort::OneStop) &&
           d->port.setParity(QSerialPort::NoParity) &&
           d->port.setFlowControl(QSerialPort::NoFlowControl);
}

void PortLine::clear(bool input, bool output)
{
    QSerialPort::Directions directions;
    if (input)
        directions |= QSerialPort::Input;
    if (output)
        directions |= QSerialPort::Output;
    d->port.clear(directions);
}

qint64 PortLine::bytesAvailable() const
{
    return d->port.bytesAvailable();
}

qint64 PortLine::bytesToWrite() const
{
    return d->port.bytesToWrite();
}

bool PortLine::failed() const
{
    return d->failed;
}

bool PortLine::paced() const
{
    return d->paced;
}


} // namespace quorva::link
