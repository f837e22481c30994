#pragma once

// A driver whose line is a script on a manual clock: bytes enter the receive
// queue at chosen times, every write is recorded with its time, and each
// operation can be made to fail. The master's tests and the session fuzzer
// play a slave through it.
#include "link/driver.h"
#include "link/linkclock.h"

#include <QByteArray>
#include <QList>
#include <functional>
#include <map>

class ScriptedDriver final : public quorva::link::SerialDriver
{
public:
    using DriverStatus = quorva::link::DriverStatus;
    using DriverHandle = quorva::link::DriverHandle;
    static constexpr DriverStatus kOk = quorva::link::DriverStatusCode::Ok;

    explicit ScriptedDriver(const quorva::link::ManualClock& clock) : m_clock(clock) {}

    // Bytes that reach the receive queue at `atUs` (a purge before then does
    // not touch them: they are still on the line).
    void arriveAt(qint64 atUs, const QByteArray& bytes) { m_line.emplace(atUs, bytes); }
    // The slave: called with each request written and the time it was written.
    std::function<void(const QByteArray& request, qint64 atUs)> slave;
    bool paced = true;
    DriverStatus writeStatus = kOk;
    DriverStatus readStatus = kOk;
    DriverStatus statusStatus = kOk;

    struct Write
    {
        qint64 atUs;
        QByteArray bytes;
    };
    QList<Write> writes;
    int purges = 0;
    int reads = 0;
    int statusCalls = 0;

    // As the port reports arrival on the event loop.
    void notifyArrival()
    {
        if (m_arrival)
            m_arrival();
    }
    void hangUp()
    {
        readStatus = writeStatus = statusStatus = quorva::link::DriverStatusCode::IoError;
        if (m_arrival)
            m_arrival();
    }

    DriverStatus open(int, DriverHandle* handle) override
    {
        *handle = 7;
        return kOk;
    }
    DriverStatus close(DriverHandle) override { return kOk; }
    DriverStatus read(DriverHandle, quint8* buffer, quint32 bytesToRead,
                      quint32* bytesReturned) override
    {
        ++reads;
        *bytesReturned = 0;
        if (readStatus != kOk)
            return readStatus;
        arrive();
        const quint32 n = std::min<quint32>(bytesToRead, quint32(m_queue.size()));
        std::copy_n(m_queue.constData(), n, reinterpret_cast<char*>(buffer));
        m_queue.remove(0, n);
        *bytesReturned = n;
        return kOk;
    }
    DriverStatus write(DriverHandle, const quint8* buffer, quint32 bytesToWrite,
                       quint32* bytesWritten) override
    {
        *bytesWritten = 0;
        if (writeStatus != kOk)
            return writeStatus;
        const QByteArray request(reinterpret_cast<const char*>(buffer), qsizetype(bytesToWrite));
        writes.append({m_clock.nowUs(), request});
        *bytesWritten = bytesToWrite;
        if (slave)
            slave(request, m_clock.nowUs());
        return kOk;
    }
    DriverStatus setBaudRate(DriverHandle, quint32) override { return kOk; }
    DriverStatus setDataCharacteristics(DriverHandle, quint8, quint8, quint8) override
    {
        return kOk;
    }
    DriverStatus purge(DriverHandle, quint32 mask) override
    {
        ++purges;
        if (mask & quorva::link::kPurgeRx) {
            arrive();
            m_queue.clear();
        }
        return kOk;
    }
    DriverStatus setTimeouts(DriverHandle, quint32, quint32) override { return kOk; }
    DriverStatus getStatus(DriverHandle, quint32* rxQueued, quint32* txQueued,
                           quint32* events) override
    {
        ++statusCalls;
        *rxQueued = *txQueued = *events = 0;
        if (statusStatus != kOk)
            return statusStatus;
        arrive();
        *rxQueued = quint32(m_queue.size());
        return kOk;
    }
    void setArrivalHandler(std::function<void()> handler) override
    {
        m_arrival = std::move(handler);
    }
    bool pacesLine() const override { return paced; }

private:
    void arrive()
    {
        while (!m_line.empty() && m_line.begin()->first <= m_clock.nowUs()) {
            m_queue += m_line.begin()->second;
            m_line.erase(m_line.begin());
        }
    }

    const quorva::link::ManualClock& m_clock;
    std::multimap<qint64, QByteArray> m_line;
    QByteArray m_queue;
    std::function<void()> m_arrival;
};

// Line time of `bytes` characters at 9600 baud, 10 bits each.
constexpr qint64 lineTimeUs(qint64 bytes)
{
    return bytes * 10'000'000 / 9600;
}
