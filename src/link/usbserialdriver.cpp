#include "usbserialdriver.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace quorva::link {

namespace {
// Asks the kernel's driver to hand received bytes on at once. On an FTDI
// cable this sets the adapter's latency timer to 1 ms instead of 16, which
// otherwise may hold back the tail of a reply longer than one USB packet. A
// port that does not take it (a pseudo-terminal) works as before.
void requestLowLatency([[maybe_unused]] QSerialPort& port)
{
#ifdef Q_OS_LINUX
    serial_struct serial{};
    if (::ioctl(port.handle(), TIOCGSERIAL, &serial) != 0)
        return; // not a serial driver's port
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(port.handle(), TIOCSSERIAL, &serial);
#endif
}

// The device file behind a port name: Qt takes a bare name for one in /dev.
QString deviceFile(const QString& name)
{
    return name.contains(u'/') ? name : QStringLiteral("/dev/") + name;
}

QStringList serialPortsPresent()
{
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    ports.sort();
    return ports;
}

// Whether the kernel drives the open port as a real UART, which moves bytes
// at the baud rate: a USB-serial adapter's driver or the serial core's. The
// device number leads to it whatever path reached the port (a link, a bind
// mount); a pseudo-terminal or another virtual port has no such driver.
bool isRealUart([[maybe_unused]] QSerialPort& port)
{
#ifdef Q_OS_LINUX
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
#else
    return true;
#endif
}

} // namespace

UsbSerialDriver::UsbSerialDriver(QString portName) : m_portName(std::move(portName)) {}

QList<QSerialPortInfo> UsbSerialDriver::vendorPorts()
{
    QList<QSerialPortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.hasVendorIdentifier() && info.vendorIdentifier() == kFtdiVendorId)
            ports.append(info);
    }
    std::sort(ports.begin(), ports.end(), [](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return a.portName() < b.portName();
    });
    return ports;
}

QString UsbSerialDriver::portForIndex(int deviceIndex) const
{
    if (!m_portName.isEmpty())
        return deviceIndex == 0 ? m_portName : QString();
    const QList<QSerialPortInfo> ports = vendorPorts();
    if (deviceIndex < 0 || deviceIndex >= ports.size())
        return {};
    return ports.at(deviceIndex).systemLocation();
}

DriverStatus UsbSerialDriver::open(int deviceIndex, DriverHandle* handle)
{
    m_lastFailure = {};
    const QString name = portForIndex(deviceIndex);
    if (name.isEmpty()) {
        if (m_portName.isEmpty())
            m_lastFailure = {FailureKind::NoCable, {}, serialPortsPresent(), {}};
        else
            m_lastFailure = {FailureKind::PortNotFound, m_portName, {}, {}};
        return DriverStatusCode::DeviceNotFound;
    }
    // Held by this very program, or under any of its names by another: the
    // port is left as it is, its line settings untouched.
    if ((m_port && m_port->isOpen()) || m_lock.take(deviceFile(name)) == PortLock::Outcome::Busy) {
        m_lastFailure = {FailureKind::PortBusy, name, {}, {}};
        return DriverStatusCode::DeviceNotOpened;
    }
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(name);
    if (!port->open(QIODevice::ReadWrite)) {
        m_lock.release();
        const bool mayReadWrite =
            ::access(QFile::encodeName(deviceFile(name)).constData(), R_OK | W_OK) == 0;
        m_lastFailure = {
            classifyOpenError(port->error(), mayReadWrite), name, {}, port->errorString()};
        return port->error() == QSerialPort::DeviceNotFoundError
                   ? DriverStatusCode::DeviceNotFound
                   : DriverStatusCode::DeviceNotOpened;
    }
    // A port that appeared between the lock and the open (an adapter just
    // plugged in) is locked now, or let go if another program was quicker.
    if (!m_lock.held() && m_lock.take(deviceFile(name)) == PortLock::Outcome::Busy) {
        m_lastFailure = {FailureKind::PortBusy, name, {}, {}};
        return DriverStatusCode::DeviceNotOpened;
    }
    requestLowLatency(*port);
    // Anything but a real UART (a pseudo-terminal, a virtual port) moves
    // bytes at once, whatever its baud rate says.
    m_pacedLine = isRealUart(*port);
    QObject::connect(port.get(), &QSerialPort::readyRead, port.get(), [this] { notifyArrival(); });
    QObject::connect(port.get(), &QSerialPort::errorOccurred, port.get(),
                     [this](QSerialPort::SerialPortError error) { onPortError(error); });
    m_lineFailed = false;
    m_openName = name;
    m_port = std::move(port);
    m_handle = m_nextHandle++;
    *handle = m_handle;
    return DriverStatusCode::Ok;
}

DriverStatus UsbSerialDriver::portFor(DriverHandle handle) const
{
    if (!m_port || handle != m_handle)
        return DriverStatusCode::InvalidHandle;
    if (m_lineFailed)
        return DriverStatusCode::IoError;
    if (!m_port->isOpen())
        return DriverStatusCode::InvalidHandle;
    return DriverStatusCode::Ok;
}

void UsbSerialDriver::onPortError(QSerialPort::SerialPortError error)
{
    // A pulled adapter shows as a resource error; a hung-up terminal as a
    // read that finds nothing although the port reported data. Either way
    // the line is gone: close the port at once, or its notifier would wake
    // the event loop for ever, and tell the link.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_port || !m_port->isOpen())
        return;
    m_lineFailed = true;
    m_lastFailure = {FailureKind::PortGone, m_openName, {}, {}};
    m_port->close();
    notifyArrival();
}

void UsbSerialDriver::notifyArrival() const
{
    if (m_arrival)
        m_arrival();
}

void UsbSerialDriver::setArrivalHandler(std::function<void()> handler)
{
    m_arrival = std::move(handler);
}

DriverStatus UsbSerialDriver::close(DriverHandle handle)
{
    if (!m_port || handle != m_handle)
        return DriverStatusCode::InvalidHandle;
    m_port->close();
    m_port.reset();
    m_lock.release();
    m_lineFailed = false;
    return DriverStatusCode::Ok;
}

DriverStatus UsbSerialDriver::read(DriverHandle handle, quint8* buffer, quint32 bytesToRead,
                                   quint32* bytesReturned)
{
    *bytesReturned = 0;
    if (const DriverStatus status = portFor(handle); status != DriverStatusCode::Ok)
        return status;
    const qint64 got = m_port->read(reinterpret_cast<char*>(buffer), qint64(bytesToRead));
    if (got < 0)
        return DriverStatusCode::IoError;
    *bytesReturned = quint32(got);
    return DriverStatusCode::Ok;
}

DriverStatus UsbSerialDriver::write(DriverHandle handle, const quint8* buffer, quint32 bytesToWrite,
                                    quint32* bytesWritten)
{
    *bytesWritten = 0;
    if (const DriverStatus status = portFor(handle); status != DriverStatusCode::Ok)
        return status;
    const qint64 queued =
        m_port->write(reinterpret_cast<const char*>(buffer), qint64(bytesToWrite));
    if (queued != qint64(bytesToWrite))
        return DriverStatusCode::IoError;
    // Hands the bytes to the device without waiting for the line.
    m_port->flush();
    if (m_lineFailed || m_port->error() == QSerialPort::WriteError)
        return DriverStatusCode::IoError;
    *bytesWritten = bytesToWrite;
    return DriverStatusCode::Ok;
}

DriverStatus UsbSerialDriver::setBaudRate(DriverHandle handle, quint32 baudRate)
{
    if (const DriverStatus status = portFor(handle); status != DriverStatusCode::Ok)
        return status;
    return m_port->setBaudRate(qint32(baudRate)) ? DriverStatusCode::Ok
                                                 : DriverStatusCode::InvalidParameter;
}

DriverStatus UsbSerialDriver::setDataCharacteristics(DriverHandle handle, quint8 wordLength,
                                                     quint8 stopBits, quint8 parity)
{
    if (const DriverStatus status = portFor(handle); status != DriverStatusCode::Ok)
        return status;
    if (wordLength != kBits8 || stopBits != kStopBits1 || parity != kParityNone)
        return DriverStatusCode::InvalidParameter;
    const bool ok = m_port->setDataBits(QSerialPort::Data8) &&
                    m_port->setStopBits(QSerialPort::OneStop) &&
                    m_port->setParity(QSerialPort::NoParity) &&
                    m_port->setFlowControl(QSerialPort::NoFlowControl);
    return ok ? DriverStatusCode::Ok : DriverStatusCode::InvalidParameter;
}

DriverStatus UsbSerialDriver::purge(DriverHandle handle, quint32 mask)
{
    if (const DriverStatus status = portFor(handle); status != DriverStatusCode::Ok)
        return status;
    QSerialPort::Directions directions;
    if (mask & kPurgeRx)
        directions |= QSerialPort::Input;
    if (mask & kPurgeTx)
        directions |= QSerialPort::Output;
    m_port->clear(directions);
    return DriverStatusCode::Ok;
}

DriverStatus UsbSerialDriver::setTimeouts(DriverHandle handle, quint32, quint32)
{
    // Accepted and not applied: reads take only what is queued and writes only
    // queue, so neither ever waits on the event loop's thread.
    return portFor(handle);
}

DriverStatus UsbSerialDriver::getStatus(DriverHandle handle, quint32* rxQueued, quint32* txQueued,
                                        quint32* eventStatus)
{
    *rxQueued = 0;
    *txQueued = 0;
    *eventStatus = 0;
    if (const DriverStatus status = portFor(handle); status != DriverStatusCode::Ok)
        return status;
    *rxQueued = quint32(m_port->bytesAvailable());
    *txQueued = quint32(m_port->bytesToWrite());
    return DriverStatusCode::Ok;
}

} // namespace quorva::link
