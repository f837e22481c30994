#pragma once

#include "link/driver.h"
#include "link/linkclock.h"

#include <QStringList>

#include <array>
#include <random>
#include <vector>

namespace quorva::link {

// An in-process model of the transmitter as Modbus slave 1, offered through
// the driver operations so the link cannot tell it from the cable. Replies
// enter the receive queue at the pace of 9600 baud 8N1 after the request has
// crossed the line and the device's turnaround has passed. Faults can be
// injected, as a test server misbehaves on purpose.
class VirtualTransmitter final : public SerialDriver
{
public:
    static constexpr int kRegisterCount = 37;
    static constexpr quint8 kSlaveAddress = 1;
    static constexpr int kDefaultTurnaroundMs = 4;
    // One character of 10 bits (start, 8 data, stop) at 9600 baud.
    static constexpr qint64 kByteTimeUs = 10'000'000 / 9600;

    enum class Fault {
        None,
        NoReply,          // the request is ignored
        BadCrc,           // the reply's CRC is spoiled
        ExceptionReply,   // a Modbus exception with exceptionCode()
        OtherSlave,       // the reply carries slave address 2
        WrongFunction,    // the reply carries another function code
        WrongByteCount,   // a read reply announces and carries one word less
        TruncatedReply,   // only the first half of the reply is sent
        NoiseBeforeReply, // three stray bytes precede the reply
        DoubleReply,      // the reply is sent twice, back to back
        WriteRefused,     // the driver refuses every write
        ReadRefused,      // the driver refuses every read
        Unplugged,        // every driver call fails; opening finds no device
        IgnoreWrites,     // writes are echoed but not stored
        RefuseWrites,     // writes get exception 4; reads are answered
        Flood,            // more than a read buffer of stray bytes, then the reply
    };
    static constexpr int kFloodBytes = 1100;

    // Fault names for the command line and scripts ("no-reply", "bad-crc"...).
    static bool faultFromName(const QString& name, Fault& fault);
    static QStringList faultNames();

    explicit VirtualTransmitter(const LinkClock& clock);

    void setFault(Fault fault, int exceptionCode = 4);
    Fault fault() const { return m_fault; }
    void setTurnaroundMs(int ms) { m_turnaroundUs = qint64(ms) * 1000; }
    qint64 turnaroundUs() const { return m_turnaroundUs; }
    // A slowly drifting temperature with a little noise; off, register 2 holds still.
    void setDrift(bool on) { m_drift = on; }

    // Registers by number, counting from 1.
    quint16 reg(int number) const { return m_registers.at(size_t(number - 1)); }
    void setRegister(int number, quint16 word) { m_registers.at(size_t(number - 1)) = word; }
    const std::vector<std::vector<quint8>>& receivedFrames() const { return m_receivedFrames; }
    void clearReceivedFrames() { m_receivedFrames.clear(); }
    bool isOpen() const { return m_open; }
    // When the last byte of the latest reply is (or was) due in the receive queue.
    qint64 lastByteDueUs() const { return m_lastByteDueUs; }
    quint32 baudRate() const { return m_baudRate; }

    // Serves one request frame as the device would, without pacing: the reply
    // bytes, empty when the device stays silent. The pseudo-terminal server uses it.
    std::vector<quint8> respond(const quint8* request, int length);

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

private:
    struct ScheduledByte
    {
        qint64 arrivesAtUs;
        quint8 value;
    };

    DriverStatus checkHandle(DriverHandle handle) const;
    std::vector<quint8> serve(const quint8* request, int length);
    std::vector<quint8> exceptionReply(quint8 function, quint8 code) const;
    void updateMeasuredValue();
    int arrivedCount() const;

    const LinkClock& m_clock;
    std::array<quint16, kRegisterCount> m_registers{};
    std::vector<ScheduledByte> m_rxQueue; // bytes on their way to, or in, the receive queue
    std::vector<std::vector<quint8>> m_receivedFrames;
    Fault m_fault = Fault::None;
    int m_exceptionCode = 4;
    qint64 m_turnaroundUs = qint64(kDefaultTurnaroundMs) * 1000;
    bool m_drift = true;
    bool m_open = false;
    DriverHandle m_handle = 0;
    DriverHandle m_nextHandle = 0x51;
    quint32 m_baudRate = 0;
    qint64 m_lastByteDueUs = 0;
    std::mt19937 m_noise{2016};
};

} // namespace quorva::link
