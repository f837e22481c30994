#include "virtualtransmitter.h"

#include "sim/slaveframe.h"

#include <algorithm>
#include <utility>

namespace quorva::sim {

using link::DriverHandle;
using link::DriverStatus;
namespace DriverStatusCode = link::DriverStatusCode;

VirtualTransmitter::VirtualTransmitter(const link::LinkClock& clock) : m_clock(clock)
{
    m_arrivalTimer.setSingleShot(true);
    m_arrivalTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_arrivalTimer, &QTimer::timeout, [this] { onArrivalTimer(); });
}

void VirtualTransmitter::setFault(Fault fault, int exceptionCode)
{
    const bool unplugging = fault == Fault::Unplugged && m_fault.fault != Fault::Unplugged;
    m_fault = {fault, exceptionCode};
    if (unplugging && m_open) {
        m_lineFailureToReport = true;
        armArrivalTimer();
    }
}

void VirtualTransmitter::setNoise(int periodMs, int bytes)
{
    m_noisePeriodUs = qint64(std::max(periodMs, 0)) * 1000;
    m_noiseBytes = bytes;
    m_nextNoiseUs = m_clock.nowUs() + m_noisePeriodUs;
    armArrivalTimer();
}

bool VirtualTransmitter::collectNoise()
{
    const qsizetype before = m_noiseQueued;
    for (; m_noisePeriodUs > 0 && m_nextNoiseUs <= m_clock.nowUs();
         m_nextNoiseUs += m_noisePeriodUs)
        m_noiseQueued += m_noiseBytes;
    return m_noiseQueued > before;
}

void VirtualTransmitter::clearReceivedFrames()
{
    m_requestLog.clear();
    m_requestCount = 0;
}

void VirtualTransmitter::logRequest(QByteArray request)
{
    ++m_requestCount;
    m_requestLog.push_back(std::move(request));
    if (m_requestLog.size() > size_t(kRequestLogSize))
        m_requestLog.pop_front();
}

DriverStatus VirtualTransmitter::checkHandle(DriverHandle handle) const
{
    if (m_fault.fault == Fault::Unplugged)
        return DriverStatusCode::IoError;
    if (!m_open || handle != m_handle)
        return DriverStatusCode::InvalidHandle;
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::open(int deviceIndex, DriverHandle* handle)
{
    if (m_fault.fault == Fault::Unplugged || deviceIndex != 0)
        return DriverStatusCode::DeviceNotFound;
    if (m_open) // a serial port is held exclusively
        return DriverStatusCode::DeviceNotOpened;
    m_open = true;
    m_handle = m_nextHandle++;
    m_line = {};
    m_rxQueue.clear();
    m_noiseQueued = 0;
    m_reportedUpToUs = m_clock.nowUs();
    *handle = m_handle;
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::close(DriverHandle handle)
{
    if (!m_open || handle != m_handle)
        return DriverStatusCode::InvalidHandle;
    m_open = false;
    m_rxQueue.clear();
    m_noiseQueued = 0;
    m_lineFailureToReport = false;
    m_arrivalTimer.stop();
    return DriverStatusCode::Ok;
}

qsizetype VirtualTransmitter::scheduledByteCount() const
{
    qsizetype count = 0;
    for (const Burst& burst : m_rxQueue)
        count += burst.bytes.size() - burst.taken;
    return count;
}

qsizetype VirtualTransmitter::arrivedCount() const
{
    const qint64 now = m_clock.nowUs();
    qsizetype count = m_noiseQueued;
    for (const Burst& burst : m_rxQueue) {
        qsizetype k = burst.taken;
        while (k < burst.bytes.size() && burst.dueUs(k) <= now)
            ++k;
        count += k - burst.taken;
        if (k < burst.bytes.size())
            break;
    }
    return count;
}

void VirtualTransmitter::take(qsizetype count, quint8* into)
{
    // Another talker's bytes come first: they interleave with a reply as the
    // reader happens to meet them.
    const qsizetype noise = std::min(count, m_noiseQueued);
    if (into) {
        std::fill_n(into, noise, quint8(0xA5));
        into += noise;
    }
    m_noiseQueued -= noise;
    count -= noise;
    while (count > 0 && !m_rxQueue.empty()) {
        Burst& burst = m_rxQueue.front();
        const qsizetype n = std::min(count, burst.bytes.size() - burst.taken);
        if (into) {
            std::copy_n(burst.bytes.constData() + burst.taken, n, reinterpret_cast<char*>(into));
            into += n;
        }
        burst.taken += n;
        count -= n;
        if (burst.taken == burst.bytes.size())
            m_rxQueue.pop_front();
    }
}

int VirtualTransmitter::answersWaiting(qint64 nowUs) const
{
    return int(std::count_if(m_rxQueue.begin(), m_rxQueue.end(), [nowUs](const Burst& b) {
        return b.endsAnswer && b.endUs() > nowUs;
    }));
}

DriverStatus VirtualTransmitter::read(DriverHandle handle, quint8* buffer, quint32 bytesToRead,
                                      quint32* bytesReturned)
{
    *bytesReturned = 0;
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    collectNoise();
    if (m_fault.fault == Fault::ReadRefused)
        return DriverStatusCode::IoError;
    const qsizetype n = std::min(arrivedCount(), qsizetype(bytesToRead));
    take(n, buffer);
    *bytesReturned = quint32(n);
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::write(DriverHandle handle, const quint8* buffer,
                                       quint32 bytesToWrite, quint32* bytesWritten)
{
    *bytesWritten = 0;
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    if (m_fault.fault == Fault::WriteRefused)
        return DriverStatusCode::IoError;
    *bytesWritten = bytesToWrite;
    const QByteArray request(reinterpret_cast<const char*>(buffer), qsizetype(bytesToWrite));
    const qint64 now = m_clock.nowUs();
    logRequest(request);
    if (answersWaiting(now) >= kMaxAnswersWaiting)
        return DriverStatusCode::Ok; // unheard
    const std::vector<QByteArray> bursts = answerFrame(m_model, request, now, m_fault);
    // The request crosses the line, the device turns around, then the reply
    // comes a character at a time; it queues behind anything still arriving.
    qint64 startUs = now + qint64(bytesToWrite) * kByteTimeUs + m_turnaroundUs;
    if (!m_rxQueue.empty())
        startUs = std::max(startUs, m_rxQueue.back().endUs());
    for (const QByteArray& bytes : bursts) {
        m_rxQueue.push_back({startUs, bytes, 0, false});
        startUs = m_rxQueue.back().endUs();
        m_lastByteDueUs = startUs;
    }
    if (!bursts.empty())
        m_rxQueue.back().endsAnswer = true;
    // Never from in here: the handler hears of the reply on the event loop.
    armArrivalTimer();
    return DriverStatusCode::Ok;
}

void VirtualTransmitter::setArrivalHandler(std::function<void()> handler)
{
    m_onArrival = std::move(handler);
    armArrivalTimer();
}

void VirtualTransmitter::armArrivalTimer()
{
    if (!m_onArrival || !m_open) {
        m_arrivalTimer.stop();
        return;
    }
    if (m_lineFailureToReport) {
        m_arrivalTimer.start(0);
        return;
    }
    const auto next = std::find_if(m_rxQueue.begin(), m_rxQueue.end(),
                                   [this](const Burst& b) { return b.endUs() > m_reportedUpToUs; });
    qint64 dueUs = next == m_rxQueue.end() ? -1 : next->endUs();
    if (m_noisePeriodUs > 0 && (dueUs < 0 || m_nextNoiseUs < dueUs))
        dueUs = m_nextNoiseUs;
    if (dueUs < 0) {
        m_arrivalTimer.stop();
        return;
    }
    const qint64 waitUs = std::max<qint64>(0, dueUs - m_clock.nowUs());
    m_arrivalTimer.start(int((waitUs + 999) / 1000));
}

void VirtualTransmitter::onArrivalTimer()
{
    // A manual clock may not have reached the time yet: then this only re-arms.
    const qint64 now = m_clock.nowUs();
    bool due = std::exchange(m_lineFailureToReport, false);
    due = collectNoise() || due;
    for (const Burst& burst : m_rxQueue) {
        if (burst.endUs() > now)
            break;
        due = due || burst.endUs() > m_reportedUpToUs;
    }
    m_reportedUpToUs = std::max(m_reportedUpToUs, now);
    armArrivalTimer();
    if (due && m_onArrival) {
        const std::function<void()> handler = m_onArrival; // it may replace itself
        handler();
    }
}

DriverStatus VirtualTransmitter::setBaudRate(DriverHandle handle, quint32 baudRate)
{
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    m_line.baudRate = baudRate;
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::setDataCharacteristics(DriverHandle handle, quint8 wordLength,
                                                        quint8 stopBits, quint8 parity)
{
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    m_line.wordLength = wordLength;
    m_line.stopBits = stopBits;
    m_line.parity = parity;
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::purge(DriverHandle handle, quint32 mask)
{
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    collectNoise();
    m_line.lastPurgeMask = mask;
    ++m_line.purgeCount;
    // Only what has arrived can be purged; bytes still on the line come later.
    if (mask & link::kPurgeRx)
        take(arrivedCount(), nullptr);
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::setTimeouts(DriverHandle handle, quint32 readTimeoutMs,
                                             quint32 writeTimeoutMs)
{
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    m_line.readTimeoutMs = readTimeoutMs;
    m_line.writeTimeoutMs = writeTimeoutMs;
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::getStatus(DriverHandle handle, quint32* rxQueued,
                                           quint32* txQueued, quint32* eventStatus)
{
    *rxQueued = 0;
    *txQueued = 0;
    *eventStatus = 0;
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    collectNoise();
    *rxQueued = quint32(arrivedCount());
    return DriverStatusCode::Ok;
}

} // namespace quorva::sim
