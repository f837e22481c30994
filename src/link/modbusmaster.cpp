#include "modbusmaster.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcFrames, "quorva.link.frames", QtWarningMsg)

namespace quorva::link {

namespace {
QByteArray hex(const quint8* bytes, int length)
{
    return QByteArray(reinterpret_cast<const char*>(bytes), length).toHex(' ');
}
} // namespace

ModbusMaster::ModbusMaster(DeviceLink& link, const LinkClock& clock, QObject* parent)
    : QObject(parent), m_link(link), m_clock(clock)
{
    m_serviceTimer.setInterval(kServiceIntervalMs);
    m_serviceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_serviceTimer, &QTimer::timeout, this, &ModbusMaster::service);
}

SendOutcome ModbusMaster::readHoldingRegisters(int slave, int firstRegister, int count)
{
    if (m_inFlight)
        return SendOutcome::Busy;
    return send(buildReadFrame(slave, firstRegister, count));
}

SendOutcome ModbusMaster::writeMultipleRegisters(int slave, int firstRegister, int count,
                                                 const qint32* values)
{
    if (m_inFlight)
        return SendOutcome::Busy;
    return send(buildWriteFrame(slave, firstRegister, count, values));
}

SendOutcome ModbusMaster::send(const RequestFrame& request)
{
    m_request = request;
    SerialDriver& driver = m_link.driver();
    // Whatever waits in the queue answers an older request: discard it, so a
    // reply is only ever matched with the request that caused it.
    driver.purge(m_link.DeviceHandle, kPurgeRx);
    quint32 written = 0;
    m_link.LinkStatus = driver.write(m_link.DeviceHandle, m_request.bytes.data(),
                                     quint32(m_request.length), &written);
    qCDebug(lcFrames, "tx %s status %u", hex(m_request.bytes.data(), m_request.length).constData(),
            unsigned(m_link.LinkStatus));
    if (m_link.LinkStatus != DriverStatusCode::Ok)
        return SendOutcome::SendFailed;
    m_result = TransactionResult{};
    m_result.function = m_request.function;
    m_inFlight = true;
    m_sentAtUs = m_clock.nowUs();
    m_serviceTimer.start();
    return SendOutcome::Sent;
}

void ModbusMaster::cancel()
{
    m_inFlight = false;
    m_serviceTimer.stop();
}

bool ModbusMaster::takeQueuedBytes(quint32 available)
{
    const int expected =
        expectedReplyLength(m_request, m_result.bytes.data(), m_result.bytesReceived);
    // Never more than the frame still needs, and never past the buffer.
    const int room =
        std::clamp(expected - m_result.bytesReceived, 0, kReplyBufferSize - m_result.bytesReceived);
    const quint32 wanted = std::min<quint32>(available, quint32(room));
    quint32 got = 0;
    m_link.LinkStatus = m_link.driver().read(
        m_link.DeviceHandle, m_result.bytes.data() + m_result.bytesReceived, wanted, &got);
    if (m_link.LinkStatus != DriverStatusCode::Ok)
        return false;
    m_result.bytesReceived += int(std::min(got, wanted));
    return true;
}

void ModbusMaster::service()
{
    if (!m_inFlight)
        return;
    SerialDriver& driver = m_link.driver();
    quint32 rxQueued = 0, txQueued = 0, events = 0;
    const DriverStatus status =
        driver.getStatus(m_link.DeviceHandle, &rxQueued, &txQueued, &events);
    const bool timedOut = m_clock.nowUs() - m_sentAtUs >= qint64(kResponseTimeoutMs) * 1000;

    // A failing status call, and the last look before giving up, still read:
    // the read's status is what tells a pulled cable from a silent device.
    if (rxQueued > 0 || status != DriverStatusCode::Ok || timedOut) {
        if (!takeQueuedBytes(rxQueued)) {
            complete(ReplyOutcome::ReadFailed);
            return;
        }
    }
    const int received = m_result.bytesReceived;
    if (received >= expectedReplyLength(m_request, m_result.bytes.data(), received)) {
        completeFromReceived();
        return;
    }
    if (timedOut) {
        if (received == 0) {
            complete(ReplyOutcome::NoReply);
            return;
        }
        // An incomplete frame fails its CRC; call it what it is.
        ReplyCheck check = checkReply(m_request, m_result.bytes.data(), received);
        if (check.fault == ReplyFault::BadCrc || check.ok())
            check = {ReplyFault::Truncated, 0};
        complete(ReplyOutcome::BadReply, check);
    }
}

void ModbusMaster::completeFromReceived()
{
    const ReplyCheck check = checkReply(m_request, m_result.bytes.data(), m_result.bytesReceived);
    if (check.ok()) {
        m_result.length = m_result.bytesReceived;
        complete(ReplyOutcome::Reply);
    } else if (check.fault == ReplyFault::Exception) {
        complete(ReplyOutcome::Exception, check);
    } else {
        complete(ReplyOutcome::BadReply, check);
    }
}

void ModbusMaster::complete(ReplyOutcome outcome, ReplyCheck check)
{
    m_inFlight = false;
    m_serviceTimer.stop();
    m_result.outcome = outcome;
    m_result.fault = check.fault;
    m_result.exceptionCode = check.exceptionCode;
    qCDebug(lcFrames, "rx %s outcome %d %s",
            hex(m_result.bytes.data(), m_result.bytesReceived).constData(), int(outcome),
            faultName(check.fault));
    // A copy: a receiver may start the next transaction from its slot.
    const TransactionResult result = m_result;
    emit finished(result);
}

} // namespace quorva::link
