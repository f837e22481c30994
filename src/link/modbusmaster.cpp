#include "modbusmaster.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcFrames, "quorva.link.frames", QtWarningMsg)

namespace quorva::link {

namespace {
constexpr qint64 kUsPerMs = 1000;

TransactionResult resultFor(const RequestFrame& request, ReplyOutcome outcome)
{
    TransactionResult result;
    result.function = request.function;
    result.outcome = outcome;
    result.firstRegister = request.firstRegister();
    return result;
}
} // namespace

ModbusMaster::ModbusMaster(DeviceLink& link, const LinkClock& clock, QObject* parent)
    : QObject(parent), m_link(link), m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ModbusMaster::service);
    m_link.driver().setArrivalHandler([this] { service(); });
}

ModbusMaster::~ModbusMaster()
{
    m_link.driver().setArrivalHandler({});
}

SendOutcome ModbusMaster::readHoldingRegisters(int slave, int firstRegister, int count)
{
    return submit(buildReadRequest(slave, firstRegister, count));
}

SendOutcome ModbusMaster::writeMultipleRegisters(int slave, int firstRegister, int count,
                                                 const qint32* values)
{
    return submit(buildWriteRequest(slave, firstRegister, count, values));
}

bool ModbusMaster::busy() const
{
    return m_waiting.has_value();
}

bool ModbusMaster::pending() const
{
    return m_waiting.has_value() || (m_onLine && m_onLine->wanted);
}

bool ModbusMaster::lineHeld() const
{
    return m_onLine.has_value() || m_settling;
}

SendOutcome ModbusMaster::submit(RequestFrame request)
{
    if (busy())
        return SendOutcome::Busy;
    if (lineHeld()) {
        m_waiting = std::move(request);
        service(); // the line may be free already by the clock
        if (!m_waiting)
            return m_onLine ? SendOutcome::Sent : SendOutcome::SendFailed;
        return SendOutcome::Queued;
    }
    sendNow(std::move(request));
    return m_onLine ? SendOutcome::Sent : SendOutcome::SendFailed;
}

void ModbusMaster::sendNow(RequestFrame request)
{
    SerialDriver& driver = m_link.driver();
    // Whatever waits in the queue answers an older request: discard it, so a
    // reply is only ever matched with the request that caused it.
    driver.purge(m_link.handle(), kPurgeRx);
    // Taken before the write: the request cannot start on the line earlier.
    const qint64 sentAtUs = m_clock.nowUs();
    quint32 written = 0;
    const DriverStatus status =
        driver.write(m_link.handle(), reinterpret_cast<const quint8*>(request.bytes.constData()),
                     quint32(request.bytes.size()), &written);
    qCDebug(lcFrames, "tx %s status %u", request.bytes.toHex(' ').constData(), unsigned(status));
    if (status != DriverStatusCode::Ok) {
        TransactionResult failed = resultFor(request, ReplyOutcome::SendFailed);
        failed.driverStatus = status;
        emit finished(failed);
        return;
    }
    m_onLine = OnLine{std::move(request), sentAtUs, {}, true};
    m_lastActivityUs = sentAtUs;
    armTimer();
}

void ModbusMaster::cancel()
{
    m_waiting.reset();
    if (m_onLine)
        m_onLine->wanted = false;
}

void ModbusMaster::reset()
{
    m_waiting.reset();
    m_onLine.reset();
    m_settling = false;
    m_timer.stop();
}

bool ModbusMaster::takeQueued(QByteArray& into, int wanted, DriverStatus& status)
{
    SerialDriver& driver = m_link.driver();
    quint32 rxQueued = 0, txQueued = 0, events = 0;
    status = driver.getStatus(m_link.handle(), &rxQueued, &txQueued, &events);
    // A failing status call still reads: the read's status is what tells a
    // pulled cable from a quiet line.
    if (status == DriverStatusCode::Ok && rxQueued == 0)
        return true;
    const quint32 room = quint32(std::clamp(wanted, 0, kReplyBufferSize));
    const quint32 asked = std::min(rxQueued, room);
    QByteArray chunk(qsizetype(asked), '\0');
    quint32 got = 0;
    status = driver.read(m_link.handle(), reinterpret_cast<quint8*>(chunk.data()), asked, &got);
    if (status != DriverStatusCode::Ok)
        return false;
    chunk.truncate(qsizetype(std::min(got, asked)));
    if (!chunk.isEmpty())
        m_lastActivityUs = m_clock.nowUs();
    into += chunk;
    return true;
}

qint64 ModbusMaster::minimumLineTimeUs(const OnLine& t) const
{
    const qint64 bytes = t.request.bytes.size() + expectedReplyLength(t.request, t.received);
    // A tenth off for the tolerance of the two ends' baud clocks.
    return bytes * DeviceLink::kByteTimeUs * 9 / 10;
}

void ModbusMaster::service()
{
    // The driver may report arrival from inside a call made here.
    if (m_inService)
        return;
    m_inService = true;
    if (m_onLine)
        serviceTransaction();
    if (!m_onLine && m_settling)
        drainWhileSettling();
    if (!m_onLine && !m_settling && m_waiting) {
        RequestFrame next = std::move(*m_waiting);
        m_waiting.reset();
        sendNow(std::move(next));
    }
    armTimer();
    m_inService = false;
}

void ModbusMaster::serviceTransaction()
{
    OnLine& t = *m_onLine;
    const qint64 now = m_clock.nowUs();
    const bool timedOut = now - t.sentAtUs >= qint64(kResponseTimeoutMs) * kUsPerMs;
    // Never more than the frame still needs: bytes past it stay queued for
    // the next purge. The function byte comes first, as it tells an
    // exception's short frame from the full reply.
    DriverStatus status = DriverStatusCode::Ok;
    for (;;) {
        const int expected = expectedReplyLength(t.request, t.received);
        const int have = int(t.received.size());
        if (have >= expected)
            break;
        const int wanted = have < 2 ? 2 - have : std::min(expected, kReplyBufferSize) - have;
        if (!takeQueued(t.received, wanted, status)) {
            TransactionResult failed = resultFor(t.request, ReplyOutcome::ReadFailed);
            failed.driverStatus = status;
            finishTransaction(failed);
            return;
        }
        if (t.received.size() == have)
            break;
        if (t.received.size() >= expectedReplyLength(t.request, t.received) &&
            m_link.driver().pacesLine() && now - t.sentAtUs < minimumLineTimeUs(t)) {
            // Whole sooner than the request and a reply take on the line: it
            // answers an older request. Drop it and go on: whatever is queued
            // behind it landed just as early (a second copy, say), so it is
            // judged now, not when the timer next looks.
            qCDebug(lcFrames, "rx %s dropped: too early for the request",
                    t.received.toHex(' ').constData());
            t.received.clear();
        }
    }

    if (t.received.size() >= expectedReplyLength(t.request, t.received)) {
        const ParsedReply parsed = parseReply(t.request, t.received);
        qCDebug(lcFrames, "rx %s %s", t.received.toHex(' ').constData(), faultName(parsed.fault));
        TransactionResult result = resultFor(t.request, ReplyOutcome::Reply);
        result.fault = parsed.fault;
        if (parsed.ok()) {
            if (t.request.function == kReadHoldingRegisters) {
                result.quantity = int(parsed.words.size());
                result.words = parsed.words;
            } else {
                result.firstRegister = int(parsed.echoStart) + 1;
                result.quantity = parsed.echoQuantity;
            }
        } else if (parsed.fault == ReplyFault::Exception) {
            result.outcome = ReplyOutcome::Exception;
            result.exceptionCode = parsed.exceptionCode;
        } else {
            result.outcome = ReplyOutcome::BadReply;
        }
        finishTransaction(result);
        return;
    }
    if (timedOut) {
        TransactionResult result = resultFor(t.request, ReplyOutcome::NoReply);
        if (!t.received.isEmpty()) {
            // An incomplete frame fails its CRC; call it what it is.
            result.outcome = ReplyOutcome::BadReply;
            const ParsedReply parsed = parseReply(t.request, t.received);
            result.fault = parsed.fault == ReplyFault::BadCrc || parsed.ok() ? ReplyFault::Truncated
                                                                             : parsed.fault;
        }
        qCDebug(lcFrames, "rx %s timed out", t.received.toHex(' ').constData());
        finishTransaction(result);
    }
}

void ModbusMaster::finishTransaction(TransactionResult result)
{
    const bool wanted = m_onLine->wanted;
    m_onLine.reset();
    // Without a valid answer, a late one may still be on its way. A request
    // waiting behind a failed read still goes out and has its own result (on
    // a line that is gone, its write is refused): dropped unheard, a caller
    // waiting for it would wait for ever.
    m_settling =
        result.outcome == ReplyOutcome::NoReply || result.outcome == ReplyOutcome::BadReply;
    if (wanted)
        emit finished(result);
}

void ModbusMaster::drainWhileSettling()
{
    QByteArray discarded;
    DriverStatus status = DriverStatusCode::Ok;
    // Late bytes restart the quiet; a failing line ends the settle, and the
    // next request's write reports it.
    if (!takeQueued(discarded, kReplyBufferSize, status)) {
        m_settling = false;
        return;
    }
    if (!discarded.isEmpty())
        qCDebug(lcFrames, "rx %s dropped: late", discarded.toHex(' ').constData());
    if (m_clock.nowUs() - m_lastActivityUs >= qint64(kSettleMs) * kUsPerMs)
        m_settling = false;
}

void ModbusMaster::armTimer()
{
    qint64 dueUs = -1;
    if (m_onLine)
        dueUs = m_onLine->sentAtUs + qint64(kResponseTimeoutMs) * kUsPerMs;
    else if (m_settling && m_waiting)
        dueUs = m_lastActivityUs + qint64(kSettleMs) * kUsPerMs;
    if (dueUs < 0) {
        m_timer.stop();
        return;
    }
    const qint64 remainingUs = std::max<qint64>(0, dueUs - m_clock.nowUs());
    // Rounded up, so the timer never fires before the time it waits for.
    m_timer.start(int((remainingUs + kUsPerMs - 1) / kUsPerMs));
}

const char* outcomeName(ReplyOutcome outcome)
{
    switch (outcome) {
    case ReplyOutcome::Reply:
        return "reply";
    case ReplyOutcome::NoReply:
        return "no-reply";
    case ReplyOutcome::BadReply:
        return "bad-reply";
    case ReplyOutcome::Exception:
        return "exception";
    case ReplyOutcome::ReadFailed:
        return "read-failed";
    case ReplyOutcome::SendFailed:
        return "send-failed";
    }
    return "unknown";
}

} // namespace quorva::link
