#pragma once

// A driver whose line is a script on a manual clock: bytes enter the receive
// queue at chosen times, every write is recorded with its time, and the line
// can hang up. The master's tests play a slave through it.
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
    DriverStatus status = kOk; // of every read, write and queue count
    struct Write
    {
        qint64 atUs;
        QByteArray bytes;
    };
    QList<Write> writes;
    int reads = 0;
    int statusCalls = 0;

    // As the driver reports received bytes or a failed line.
    void notifyArrival() const
    {
        if (m_arrival)
            m_arrival();
    }
    void hangUp()
    {
        status = quorva::link::DriverStatusCode::IoError;
        notifyArrival();
    }

    DriverStatus open(int, DriverHandle* handle) override
    {
        *handle = 7;
        return kOk;
    }
    DriverStatus close(DriverHandle) override { return kOk; }
    DriverStatus read(DriverHandle, quint8* buffer, quint32 size, quint32* got) override
    {
        ++reads;
        *got = 0;
        if (status != kOk)
            return status;
        arrive();
        *got = std::min<quint32>(size, quint32(m_queue.size()));
        std::copy_n(m_queue.constData(), *got, reinterpret_cast<char*>(buffer));
        m_queue.remove(0, *got);
        return kOk;
    }
    DriverStatus write(DriverHandle, const quint8* buffer, quint32 size, quint32* put) override
    {
        *put = 0;
        if (status != kOk)
            return status;
        const QByteArray request(reinterpret_cast<const char*>(buffer), qsizetype(size));
        writes.append({m_clock.nowUs(), request});
        *put = size;
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
        arrive();
        if (mask & quorva::link::kPurgeRx)
            m_queue.clear();
        return kOk;
    }
    DriverStatus setTimeouts(DriverHandle, quint32, quint32) override { return kOk; }
    DriverStatus getStatus(DriverHandle, quint32* rx, quint32* tx, quint32* events) override
    {
        ++statusCalls;
        *rx = *tx = *events = 0;
        arrive();
        *rx = quint32(m_queue.size());
        return status;
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
