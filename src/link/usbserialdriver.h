#pragma once

#include "link/driver.h"
#include "link/portline.h"
#include "link/portlock.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>
#include <memory>

namespace quorva::link {

// The real cable, on the system's serial port (PortLine). Device index 0 is the first serial port
// of the USB-serial vendor (FTDI, vendor id 0x0403) in port-name order; an
// explicit port name (any serial device, a pseudo-terminal included) takes
// its place for other adapters and for tests.
class UsbSerialDriver final : public SerialDriver
{
public:
    static constexpr quint16 kFtdiVendorId = 0x0403;

    // A name without a folder that names a file in the working folder means that file.
    explicit UsbSerialDriver(const QString& portName = {});

    // The ports device index 0 chooses from, in the order it counts them.
    static QList<QSerialPortInfo> vendorPorts();
    // The port that open(0) would take, or an empty name.
    QString portForIndex(int deviceIndex) const;

    DriverStatus open(int deviceIndex, DriverHandle* handle) override;
    DriverStatus close(DriverHandle handle) override;
    DriverStatus read(DriverHandle handle, quint8* buffer, quint32 bytesToRead,
                      quint32* bytesReturned) override;
    DriverStatus write(DriverHandle handle, const quint8* buffer, quint32 bytesToWrite,
                       quint32* bytesWritten) override;
    DriverStatus setBaudRate(DriverHandle handle, quint32 baudRate) override;
    DriverStatus setDataCharacteristics(DriverHandle handle, quint8 wordLength, quint8 stopBits,
                                        quint8 parity) override;
    DriverStatus purge(DriverHandle handle, quint32 mask) override;
    DriverStatus setTimeouts(DriverHandle handle, quint32 readTimeoutMs,
                             quint32 writeTimeoutMs) override;
    DriverStatus getStatus(DriverHandle handle, quint32* rxQueued, quint32* txQueued,
                           quint32* eventStatus) override;
    void setArrivalHandler(std::function<void()> handler) override;
    // Only a port the kernel drives as a real UART (a USB-serial adapter, a
    // serial port of the machine) is paced.
    bool pacesLine() const override { return m_pacedLine; }
    LinkFailure lastFailure() const override { return m_lastFailure; }
    // Kept beside the port's lock, for the next program to open the device.
    QByteArray lineNote() const override { return m_lock.note(); }
    void keepLineNote(const QByteArray& note) override { m_lock.keepNote(note); }

private:
    DriverStatus portFor(DriverHandle handle) const;
    void onLineEvent();

    QString m_portName;
    QString m_openName; // the port the open handle is on
    std::unique_ptr<PortLine> m_port;
    DriverHandle m_handle = 0;
    DriverHandle m_nextHandle = 0x1000;
    LinkFailure m_lastFailure;
    std::function<void()> m_arrival;
    bool m_pacedLine = true;
    // Held while the port is open: another name of the same device is busy too.
    PortLock m_lock;
};

} // namespace quorva::link
