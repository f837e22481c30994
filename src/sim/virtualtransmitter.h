#pragma once

#include "link/devicelink.h"
#include "link/driver.h"
#include "link/linkclock.h"
#include "sim/transmittermodel.h"

#include <QByteArray>
#include <QTimer>

#include <deque>
#include <functional>

namespace quorva::sim {

// The transmitter offered through the driver operations, so the link cannot
// tell it from the cable. Replies enter the receive queue at the pace of 9600
// baud 8N1 after the request has crossed the line and the device's
// turnaround has passed, and the arrival handler hears of each burst when it
// is whole. Faults can be injected, as a test server misbehaves on purpose.
class VirtualTransmitter final : public link::SerialDriver
{
public:
    using Fault = sim::Fault;
    static constexpr int kDefaultTurnaroundMs = 4;
    static constexpr qint64 kByteTimeUs = link::DeviceLink::kByteTimeUs;
    // The latest requests kept for tests to look at; older ones are forgotten,
    // so a device left running keeps its memory flat.
    static constexpr int kRequestLogSize = 16;

    // What the driver was told at connect.
    struct LineSettings
    {
        quint32 baudRate = 0;
        quint8 wordLength = 0;
        quint8 stopBits = 0;
        quint8 parity = 0;
        quint32 readTimeoutMs = 0;
        quint32 writeTimeoutMs = 0;
        quint32 lastPurgeMask = 0;
        int purgeCount = 0; // since the port was opened
    };

    explicit VirtualTransmitter(const link::LinkClock& clock);

    TransmitterModel& model() { return m_model; }
    const TransmitterModel& model() const { return m_model; }
    quint16 reg(int number) const { return m_model.reg(number); }
    void setRegister(int number, quint16 word) { m_model.setRegister(number, word); }
    void setDrift(bool on) { m_model.setDrift(on); }

    // Unplugging an open port makes its line fail: the arrival handler hears of it.
    void setFault(Fault fault, int exceptionCode = ExceptionCode::SlaveDeviceFailure);
    Fault fault() const { return m_fault.fault; }
    void setTurnaroundMs(int ms) { m_turnaroundUs = qint64(ms) * 1000; }
    // A real device's turnaround is no whole number of milliseconds: the
    // benchmark draws one per reading, so replies land at any phase of the
    // event loop's timers.
    void setTurnaroundUs(qint64 us) { m_turnaroundUs = us; }
    qint64 turnaroundUs() const { return m_turnaroundUs; }
    // Another talker on the line: a burst of `bytes` stray bytes every
    // `periodMs`, the first one period from now; a period of 0 stops it.
    void setNoise(int periodMs, int bytes = 16);

    // The latest requests received, oldest first, at most kRequestLogSize.
    const std::deque<QByteArray>& receivedFrames() const { return m_requestLog; }
    // How many requests arrived since the device was made or the log cleared.
    qint64 requestCount() const { return m_requestCount; }
    void clearReceivedFrames();

    bool isOpen() const { return m_open; }
    const LineSettings& lineSettings() const { return m_line; }
    // When the last byte of the latest reply is (or was) due in the receive queue.
    qint64 lastByteDueUs() const { return m_lastByteDueUs; }
    // Reply bytes on their way to the receive queue or waiting in it.
    qsizetype scheduledByteCount() const;

    link::DriverStatus open(int deviceIndex, link::DriverHandle* handle) override;
    link::DriverStatus close(link::DriverHandle handle) override;
    link::DriverStatus read(link::DriverHandle handle, quint8* buffer, quint32 bytesToRead,
                            quint32* bytesReturned) override;
    link::DriverStatus write(link::DriverHandle handle, const quint8* buffer, quint32 bytesToWrite,
                             quint32* bytesWritten) override;
    link::DriverStatus setBaudRate(link::DriverHandle handle, quint32 baudRate) override;
    link::DriverStatus setDataCharacteristics(link::DriverHandle handle, quint8 wordLength,
                                              quint8 stopBits, quint8 parity) override;
    link::DriverStatus purge(link::DriverHandle handle, quint32 mask) override;
    link::DriverStatus setTimeouts(link::DriverHandle handle, quint32 readTimeoutMs,
                                   quint32 writeTimeoutMs) override;
    link::DriverStatus getStatus(link::DriverHandle handle, quint32* rxQueued, quint32* txQueued,
                                 quint32* eventStatus) override;
    void setArrivalHandler(std::function<void()> handler) override;
    bool pacesLine() const override { return true; }

private:
    // Bytes that leave the device back to back; byte k is whole in the
    // receive queue one character time after byte k - 1.
    struct Burst
    {
        qint64 startUs = 0;
        QByteArray bytes;
        qsizetype taken = 0; // read or purged
        bool endsAnswer = false;
        qint64 dueUs(qsizetype k) const { return startUs + (k + 1) * kByteTimeUs; }
        qint64 endUs() const { return dueUs(bytes.size() - 1); }
    };

    link::DriverStatus checkHandle(link::DriverHandle handle) const;
    void logRequest(QByteArray request);
    qsizetype arrivedCount() const;
    int answersWaiting(qint64 nowUs) const;
    // Takes up to `count` arrived bytes off the queue; `into` may be null.
    void take(qsizetype count, quint8* into);
    void armArrivalTimer();
    void onArrivalTimer();
    // Queues the noise bursts due by now; true if there were any.
    bool collectNoise();

    const link::LinkClock& m_clock;
    TransmitterModel m_model;
    FaultSetting m_fault;
    qint64 m_turnaroundUs = qint64(kDefaultTurnaroundMs) * 1000;
    bool m_open = false;
    link::DriverHandle m_handle = 0;
    link::DriverHandle m_nextHandle = 0x51;
    LineSettings m_line;
    std::deque<Burst> m_rxQueue; // on their way to, or in, the receive queue
    std::deque<QByteArray> m_requestLog;
    qint64 m_requestCount = 0;
    qint64 m_lastByteDueUs = 0;
    std::function<void()> m_onArrival;
    QTimer m_arrivalTimer;
    qint64 m_reportedUpToUs = 0; // bursts whole by then have been reported
    bool m_lineFailureToReport = false;
    qint64 m_noisePeriodUs = 0;
    int m_noiseBytes = 0;
    qint64 m_nextNoiseUs = 0;
    qsizetype m_noiseQueued = 0; // arrived, not yet read or purged
};

} // namespace quorva::sim
