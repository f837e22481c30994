#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

namespace quorva::link {

// Monotonic time in microseconds. Transactions and the virtual transmitter's
// line pacing read it, so tests can step time instead of waiting for it.
class LinkClock
{
public:
    virtual ~LinkClock() = default;
    virtual qint64 nowUs() const = 0;
};

class SteadyClock final : public LinkClock
{
public:
    SteadyClock() { m_timer.start(); }
    qint64 nowUs() const override { return m_timer.nsecsElapsed() / 1000; }

private:
    QElapsedTimer m_timer;
};

class ManualClock final : public LinkClock
{
public:
    qint64 nowUs() const override { return m_nowUs; }
    void advanceUs(qint64 us) { m_nowUs += us; }
    void advanceMs(qint64 ms) { m_nowUs += ms * 1000; }

private:
    qint64 m_nowUs = 0;
};

} // namespace quorva::link
