#pragma once

#include "link/driver.h"
#include "link/portline.h"

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

    explicit UsbSerialDriver(QString portName = {});

    // The ports device index 0 chooses from, in the order it counts them.
    static QList<QSerialPortInfo> vendorPorts();
    // The port that open(0) would take, or an empty name.
    QString portForIndex(int deviceIndex) const;
    // Why the last open failed, in the port's own words (lastFailure() tells
    // the cases apart).
    QString lastOpenError() const { return m_lastOpenError; }
    QSerialPort::SerialPortError lastOpenErrorCode() const { return m_lastOpenErrorCode; }

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

    // Whether the open port took the low-latency request (a USB adapter's
    // driver does; a pseudo-terminal does not, and nothing else changes).
    bool lowLatency() const { return m_lowLatency; }

private:
    DriverStatus portFor(DriverHandle handle) const;
    void onLineEvent();

    QString m_portName;
    QString m_openName; // the port the open handle is on
    std::unique_ptr<PortLine> m_port;
    DriverHandle m_handle = 0;
    DriverHandle m_nextHandle = 0x1000;
    QString m_lastOpenError;
    QSerialPort::SerialPortError m_lastOpenErrorCode = QSerialPort::NoError;
    LinkFailure m_lastFailure;
    std::function<void()> m_arrival;
    bool m_pacedLine = true;
    bool m_lowLatency = false;
};

} // namespace quorva::link
