#pragma once

// A driver whose line is a script on a manual clock: bytes enter the receive
// queue at chosen times, every write is recorded with its time, writes and
// reads can be refused, and the line can hang up. The master's tests and the
// fuzz targets play a slave through it, to the real master (ScriptedLine);
// the window's tests run the master on the virtual transmitter (MasterOn).
#include "link/driver.h"
#include "link/masteronline.h"

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
    DriverStatus readStatus = kOk; // of reads and queue counts alike

    struct Write
    {
        qint64 atUs;
        QByteArray bytes;
    };
    QList<Write> writes;
    int reads = 0;
    int statusCalls = 0;

    // As the port reports arrival, or a hang-up, on the event loop.
    void notifyArrival()
    {
        if (m_arrival)
            m_arrival();
    }
    void hangUp()
    {
        readStatus = writeStatus = quorva::link::DriverStatusCode::IoError;
        notifyArrival();
    }

    DriverStatus read(DriverHandle, quint8* buffer, quint32 size, quint32* got) override
    {
        ++reads;
        arrive();
        *got = readStatus != kOk ? 0 : std::min<quint32>(size, quint32(m_queue.size()));
        std::copy_n(m_queue.constData(), *got, reinterpret_cast<char*>(buffer));
        m_queue.remove(0, *got);
        return readStatus;
    }
    DriverStatus write(DriverHandle, const quint8* buffer, quint32 size, quint32* put) override
    {
        *put = 0;
        if (writeStatus != kOk)
            return writeStatus;
        const QByteArray request(reinterpret_cast<const char*>(buffer), qsizetype(size));
        writes.append({m_clock.nowUs(), request});
        *put = size;
        if (slave)
            slave(request, m_clock.nowUs());
        return kOk;
    }
    DriverStatus purge(DriverHandle, quint32 mask) override
    {
        arrive();
        if (mask & quorva::link::kPurgeRx)
            m_queue.clear();
        return kOk;
    }
    DriverStatus getStatus(DriverHandle, quint32* rx, quint32* tx, quint32* events) override
    {
        ++statusCalls;
        arrive();
        *rx = readStatus != kOk ? 0 : quint32(m_queue.size());
        *tx = *events = 0;
        return readStatus;
    }
    DriverStatus open(int, DriverHandle* handle) override { return *handle = 7, kOk; }
    DriverStatus close(DriverHandle) override { return kOk; }
    DriverStatus setBaudRate(DriverHandle, quint32) override { return kOk; }
    DriverStatus setDataCharacteristics(DriverHandle, quint8, quint8, quint8) override
    {
        return kOk;
    }
    DriverStatus setTimeouts(DriverHandle, quint32, quint32) override { return kOk; }
    void setArrivalHandler(std::function<void()> handler) override
    {
        m_arrival = std::move(handler);
    }
    bool pacesLine() const override { return paced; }
    // The note kept beside the port's lock, as a program leaves it for the next.
    QByteArray note;
    QByteArray lineNote() const override { return note; }
    void keepLineNote(const QByteArray& kept) override { note = kept; }

private:
    void arrive()
    {
        for (auto due = m_line.begin(); due != m_line.end() && due->first <= m_clock.nowUs();)
            m_queue += due->second, due = m_line.erase(due);
    }

    const quorva::link::ManualClock& m_clock;
    std::multimap<qint64, QByteArray> m_line;
    QByteArray m_queue;
    std::function<void()> m_arrival;
};

// The master on a line of `Driver`, in simulated time.
template <typename Driver>
struct MasterOn : quorva::link::MasterOnLine<Driver, quorva::link::ManualClock>
{
    // Time passes a millisecond at a time, the master serviced at each.
    void runMs(int ms)
    {
        for (int i = 0; i < ms; ++i) {
            this->clock.advanceMs(1);
            this->master.service();
        }
    }
};

// The master on an open scripted line, paced or a pseudo-terminal.
struct ScriptedLine : MasterOn<ScriptedDriver>
{
    explicit ScriptedLine(bool paced) { driver.paced = paced, link.open(); }
};

// Line time of `bytes` characters at 9600 baud, 10 bits each.
constexpr qint64 lineTimeUs(qint64 bytes)
{
    return bytes * 10'000'000 / 9600;
}
