#include "usbserialdriver.h"

#include <QFileInfo>

#include <algorithm>

namespace quorva::link {

namespace {

QStringList serialPortsPresent()
{
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << PortLine::nameOf(info);
    ports.sort();
    return ports;
}

} // namespace

namespace {

// Qt takes a name without a folder for one in /dev; a file of that name in
// the working folder (a simulator's link) is the one meant.
QString portMeant(const QString& given)
{
    const QFileInfo file(given);
    return file.isRelative() && file.exists() ? file.absoluteFilePath() : given;
}

} // namespace

UsbSerialDriver::UsbSerialDriver(const QString& portName) : m_portName(portMeant(portName)) {}

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
    return PortLine::nameOf(ports.at(deviceIndex));
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
    if (m_port && !m_port->failed()) {
        m_lastFailure = {FailureKind::PortBusy, name, {}, {}}; // held by this very program
        return DriverStatusCode::DeviceNotOpened;
    }
    m_port.reset(); // a line that failed lets go of its port first
    // Held under any of its names by another program: the port is left as it
    // is, its line settings untouched.
    if (m_lock.take(name) == PortLock::Outcome::Busy) {
        m_lastFailure = {FailureKind::PortBusy, name, {}, {}};
        return DriverStatusCode::DeviceNotOpened;
    }
    PortLine::OpenFailure failure;
    m_port = PortLine::open(
        name, [this] { onLineEvent(); }, &failure);
    if (!m_port) {
        m_lock.release();
        m_lastFailure = {failure.kind, name, {}, failure.systemText};
        return failure.code == QSerialPort::DeviceNotFoundError ? DriverStatusCode::DeviceNotFound
                                                                : DriverStatusCode::DeviceNotOpened;
    }
    // A port that appeared between the lock and the open (an adapter just
    // plugged in) is locked now, or let go if another program was quicker.
    if (!m_lock.held() && m_lock.take(name) == PortLock::Outcome::Busy) {
        m_port.reset();
        m_lastFailure = {FailureKind::PortBusy, name, {}, {}};
        return DriverStatusCode::DeviceNotOpened;
    }
    m_pacedLine = m_port->paced();
    m_openName = name;
    m_handle = m_nextHandle++;
    *handle = m_handle;
    return DriverStatusCode::Ok;
}

DriverStatus UsbSerialDriver::portFor(DriverHandle handle) const
{
    if (!m_port || handle != m_handle)
        return DriverStatusCode::InvalidHandle;
    if (m_port->failed())
        return DriverStatusCode::IoError;
    return DriverStatusCode::Ok;
}

void UsbSerialDriver::onLineEvent()
{
    if (m_port && m_port->failed())
        m_lastFailure = {FailureKind::PortGone, m_openName, {}, {}};
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
    m_port.reset();
    m_lock.release();
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
    if (!m_port->write(reinterpret_cast<const char*>(buffer), qint64(bytesToWrite)))
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
    return m_port->setEightNoneOne() ? DriverStatusCode::Ok : DriverStatusCode::InvalidParameter;
}

DriverStatus UsbSerialDriver::purge(DriverHandle handle, quint32 mask)
{
    if (const DriverStatus status = portFor(handle); status != DriverStatusCode::Ok)
        return status;
    m_port->clear(mask & kPurgeRx, mask & kPurgeTx);
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
