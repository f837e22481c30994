#pragma once

#include "link/linkfailure.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>
#include <functional>
#include <memory>

namespace quorva::link {

// One open serial port as the operating system offers it: received bytes
// waiting to be taken, writes handed over without waiting for the line, the
// line's settings. The cable's driver (UsbSerialDriver) keeps the device
// indices, handles and failures above it. Each system has its own file:
// portline_posix.cpp on Qt Serial Port and the terminal interface,
// portline_windows.cpp on the Win32 communications API.
class PortLine
{
public:
    struct OpenFailure
    {
        FailureKind kind = FailureKind::None;
        QString systemText; // the system's words, for OpenFailed
        QSerialPort::SerialPortError code = QSerialPort::NoError;
    };

    // The port `name` names, opened for reading and writing; null with the
    // failure when it cannot be. `onEvent` runs on the calling thread's event
    // loop whenever bytes have arrived or the line has failed.
    static std::unique_ptr<PortLine> open(const QString& name, std::function<void()> onEvent,
                                          OpenFailure* failure);
    // The name a port goes by in messages and in --port.
    static QString nameOf(const QSerialPortInfo& info);

    ~PortLine();
    PortLine(const PortLine&) = delete;
    PortLine& operator=(const PortLine&) = delete;

    // Up to `size` of the bytes already received; never waits. -1 on failure.
    qint64 read(char* data, qint64 size);
    // Queues `size` bytes for the line and returns at once; false on failure.
    bool write(const char* data, qint64 size);
    bool setBaudRate(qint32 baudRate);
    // 8 data bits, no parity, one stop bit, no flow control.
    bool setEightNoneOne();
    void clear(bool input, bool output);
    qint64 bytesAvailable() const;
    qint64 bytesToWrite() const;
    // The port stopped working since it was opened (adapter pulled, far end
    // gone); it reads and writes nothing more.
    bool failed() const;
    // Whether bytes cross it at its baud rate (a real UART or USB adapter)
    // rather than at once (a pseudo-terminal).
    bool paced() const;

private:
    struct Private;
    explicit PortLine(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

} // namespace quorva::link
