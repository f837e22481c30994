#include "modbusmaster.h"

#include <QLoggingCategory>
#include <QRandomGenerator>
#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(lcFrames, "quorva.link.frames", QtWarningMsg)

namespace quorva::link {

namespace {
constexpr qint64 kUsPerMs = 1000;
// Before any clock reading: a line not yet used has been quiet for ever.
constexpr qint64 kLongAgoUs = std::numeric_limits<qint64>::min() / 4;

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
    : QObject(parent), m_link(link), m_clock(clock), m_lastActivityUs(kLongAgoUs)
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
    // A reading waits no longer than it would for its reply: polls report at
    // their own pace, a failed one among them.
    return submit(buildReadRequest(slave, firstRegister, count), m_timeoutMs);
}

SendOutcome ModbusMaster::writeMultipleRegisters(int slave, int firstRegister, int count,
                                                 const qint32* values)
{
    return submit(buildWriteRequest(slave, firstRegister, count, values), writeWaitBoundMs());
}

void ModbusMaster::setResponseTimeoutMs(int ms)
{
    m_timeoutMs = std::clamp(ms, kMinResponseTimeoutMs, kMaxResponseTimeoutMs);
}

qint64 ModbusMaster::interFrameGapUs() const
{
    // An RTU frame ends with 3.5 characters of silence on the line.
    return m_link.driver().pacesLine() ? DeviceLink::kByteTimeUs * 7 / 2 : kUnpacedGapUs;
}

bool ModbusMaster::requestWaiting() const
{
    return m_waiting.has_value();
}

bool ModbusMaster::pending() const
{
    return m_waiting.has_value() || (m_onLine && m_onLine->wanted);
}

SendOutcome ModbusMaster::submit(RequestFrame request, int waitBoundMs)
{
    if (requestWaiting())
        return SendOutcome::Busy;
    m_slave = request.slave;
    m_waiting = Waiting{std::move(request), m_clock.nowUs() + qint64(waitBoundMs) * kUsPerMs};
    service(); // the line may be free already by the clock
    if (m_waiting)
        return SendOutcome::Queued;
    return m_onLine && !m_onLine->resync ? SendOutcome::Sent : SendOutcome::SendFailed;
}

void ModbusMaster::sendNow(RequestFrame request, bool resync)
{
    SerialDriver& driver = m_link.driver();
    // Whatever waits in the queue answers an older request: discard it, so a
    // reply is only ever matched with the request that caused it.
    driver.purge(m_link.handle(), kPurgeRx);
    // Taken before the write: the request cannot start on the line earlier.
    const qint64 sentAtUs = m_clock.nowUs();
    const LineState stateBefore = m_state;
    m_onLine = OnLine{std::move(request), sentAtUs, {}, true, resync};
    m_state = LineState::OnLine;
    m_burstHead.clear(); // the next bytes start the answer's burst
    const QByteArray& bytes = m_onLine->request.bytes;
    quint32 written = 0;
    const DriverStatus status =
        driver.write(m_link.handle(), reinterpret_cast<const quint8*>(bytes.constData()),
                     quint32(bytes.size()), &written);
    qCDebug(lcFrames, "tx %s%s status %u", bytes.toHex(' ').constData(), resync ? " (resync)" : "",
            unsigned(status));
    if (status != DriverStatusCode::Ok) {
        // Nothing went out: the line is as it was. A refused resync is the
        // waiting request's failure too, as its own write would be.
        const RequestFrame& owner = resync ? m_waiting->request : m_onLine->request;
        TransactionResult failed = resultFor(owner, ReplyOutcome::SendFailed);
        failed.driverStatus = status;
        m_onLine.reset();
        m_state = stateBefore;
        if (resync)
            m_waiting.reset();
        emit finished(failed);
        return;
    }
    m_lastActivityUs = sentAtUs;
}

void ModbusMaster::cancel()
{
    m_waiting.reset();
    if (m_onLine)
        m_onLine->wanted = false;
}

void ModbusMaster::reset()
{
    const bool unanswered = m_onLine.has_value() || m_state == LineState::OutOfStep;
    if (m_onLine && m_state == LineState::OnLine && !m_onLine->resync)
        m_lastFailure = resultFor(m_onLine->request, ReplyOutcome::NoReply);
    m_waiting.reset();
    m_onLine.reset();
    m_timer.stop();
    m_state = unanswered ? LineState::OutOfStep : LineState::InStep;
    if (unanswered)
        m_outOfStepSinceUs = m_lastActivityUs = m_clock.nowUs();
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
    if (!chunk.isEmpty()) {
        if (quietUs() >= interFrameGapUs())
            m_burstHead.clear();
        m_burstHead += chunk.left(2 - m_burstHead.size());
        m_lastActivityUs = m_clock.nowUs();
    }
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
    // The driver may report arrival from inside a call made here, and a
    // result's receiver may submit the next request.
    if (m_inService)
        return;
    m_inService = true;
    if (m_state == LineState::OnLine)
        serviceTransaction();
    if (m_state != LineState::OnLine && m_waiting)
        startDue();
    expireWaiting();
    armTimer();
    m_inService = false;
}

void ModbusMaster::startDue()
{
    if (!drainLine()) {
        // A failing line: the waiting request's own write or read reports it.
        m_state = LineState::InStep;
        m_lastActivityUs = kLongAgoUs;
    }
    const qint64 quiet = quietUs();
    if (m_state == LineState::InStep) {
        if (quiet < interFrameGapUs())
            return;
        if (m_proveFirst) {
            m_proveFirst = false;
            // The request behind the probe waits as a write would, and the
            // probe's own time: if an earlier answer spoils the probe, the
            // line is brought into step before the request is given up.
            m_waiting->deadlineUs = std::max(
                m_waiting->deadlineUs,
                m_clock.nowUs() + qint64(writeWaitBoundMs() + m_timeoutMs) * kUsPerMs);
            const int count = kProbeMinCount + int(QRandomGenerator::global()->bounded(
                                                   quint32(kProbeMaxCount - kProbeMinCount + 1)));
            sendNow(buildReadRequest(m_slave, kResyncFirstRegister, count), true);
            return;
        }
        RequestFrame next = std::move(m_waiting->request);
        m_waiting.reset();
        sendNow(std::move(next), false);
        return;
    }
    const bool pastBound =
        m_clock.nowUs() - m_outOfStepSinceUs >= qint64(quietBoundMs()) * kUsPerMs;
    if (quiet < qint64(settleMs()) * kUsPerMs && !(pastBound && quiet >= interFrameGapUs()))
        return;
    const int count = m_resyncs++ % kResyncCounts + 1;
    sendNow(buildReadRequest(m_slave, kResyncFirstRegister, count), true);
}

bool ModbusMaster::drainLine()
{
    // Nothing of ours is on the line: whatever came is late, a copy, or
    // another talker's. It restarts the quiet and is dropped.
    QByteArray discarded;
    DriverStatus status = DriverStatusCode::Ok;
    for (int chunk = 0; chunk < 4; ++chunk) {
        const qsizetype before = discarded.size();
        if (!takeQueued(discarded, kReplyBufferSize, status))
            return false;
        if (discarded.size() == before)
            break;
    }
    if (!discarded.isEmpty()) {
        qCDebug(lcFrames, "rx %s dropped: no request on the line",
                discarded.toHex(' ').constData());
        if (m_waiting && !burstLooksLikeAnswer())
            m_waiting->bytesSeen = true;
    }
    return true;
}

bool ModbusMaster::answersAnotherRead(const RequestFrame& request,
                                      const QByteArray& received) const
{
    if (request.function != kReadHoldingRegisters || received.size() < 3 ||
        quint8(received[0]) != request.slave || quint8(received[1]) != kReadHoldingRegisters)
        return false;
    const int count = quint8(received[2]) / 2;
    return quint8(received[2]) % 2 == 0 && count != request.quantity &&
           count <= kMaxRegistersPerRequest && m_unansweredReads.test(size_t(count));
}

bool ModbusMaster::burstLooksLikeAnswer() const
{
    if (m_burstHead.isEmpty() || quint8(m_burstHead[0]) != m_slave)
        return false;
    const quint8 function = m_burstHead.size() < 2 ? 0 : quint8(m_burstHead[1]) & ~kExceptionFlag;
    return m_burstHead.size() < 2 || function == kReadHoldingRegisters ||
           function == kWriteMultipleRegisters;
}

void ModbusMaster::expireWaiting()
{
    if (!m_waiting || m_clock.nowUs() < m_waiting->deadlineUs)
        return;
    // Busy when bytes kept the line from the quiet it needed for longer than
    // the bound; otherwise held by a slave that has not answered in step. A
    // write is told it never went out, whatever held the line.
    const bool busyLine = m_waiting->request.function == kWriteMultipleRegisters ||
                          (m_waiting->bytesSeen &&
                           (m_state == LineState::InStep || m_clock.nowUs() - m_outOfStepSinceUs >=
                                                                qint64(quietBoundMs()) * kUsPerMs));
    TransactionResult failed = resultFor(m_waiting->request, ReplyOutcome::LineBusy);
    if (!busyLine) {
        // A resync refused with an exception: the request itself was never
        // answered, so it is no exception of its own.
        const bool refused = m_lastFailure.outcome == ReplyOutcome::Exception;
        failed.outcome = refused ? ReplyOutcome::BadReply : m_lastFailure.outcome;
        failed.fault = refused ? ReplyFault::Exception : m_lastFailure.fault;
        failed.exceptionCode = m_lastFailure.exceptionCode;
    }
    m_waiting.reset();
    qCDebug(lcFrames, "request never sent: %s", outcomeName(failed.outcome));
    emit finished(failed);
}

void ModbusMaster::serviceTransaction()
{
    OnLine& t = *m_onLine;
    // Bytes taken now came by the time the service began: the timeout is
    // judged against that time.
    const qint64 now = m_clock.nowUs();
    DriverStatus status = DriverStatusCode::Ok;
    if (!collectReply(t, now, status)) {
        TransactionResult failed = resultFor(t.request, ReplyOutcome::ReadFailed);
        failed.driverStatus = status;
        finishTransaction(failed);
    } else if (t.received.size() >= expectedReplyLength(t.request, t.received)) {
        finishTransaction(judgeReply(t));
    } else if (now - t.sentAtUs >= qint64(m_timeoutMs) * kUsPerMs) {
        finishTransaction(expireReply(t));
    }
}

bool ModbusMaster::collectReply(OnLine& t, qint64 now, DriverStatus& status)
{
    // Never more than the frame still needs: bytes past it stay queued for
    // the next purge. The function byte comes first, as it tells an
    // exception's short frame from the full reply.
    for (;;) {
        const int expected = expectedReplyLength(t.request, t.received);
        const int have = int(t.received.size());
        if (have >= expected)
            return true;
        const int wanted = have < 2 ? 2 - have : std::min(expected, kReplyBufferSize) - have;
        if (!takeQueued(t.received, wanted, status))
            return false;
        if (t.received.size() == have)
            return true;
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
}

TransactionResult ModbusMaster::judgeReply(const OnLine& t) const
{
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
    } else if (answersAnotherRead(t.request, t.received)) {
        // Our slave's answer to a read of the count of an earlier request
        // left unanswered: that one's, late. This one is not answered in time.
        result = resultFor(t.request, ReplyOutcome::NoReply);
    } else {
        result.outcome = ReplyOutcome::BadReply;
    }
    return result;
}

TransactionResult ModbusMaster::expireReply(const OnLine& t) const
{
    TransactionResult result = resultFor(t.request, ReplyOutcome::NoReply);
    if (!t.received.isEmpty() && !answersAnotherRead(t.request, t.received)) {
        // An incomplete frame fails its CRC; call it what it is.
        result.outcome = ReplyOutcome::BadReply;
        const ParsedReply parsed = parseReply(t.request, t.received);
        result.fault = parsed.fault == ReplyFault::BadCrc || parsed.ok() ? ReplyFault::Truncated
                                                                         : parsed.fault;
    }
    qCDebug(lcFrames, "rx %s timed out", t.received.toHex(' ').constData());
    return result;
}

void ModbusMaster::finishTransaction(TransactionResult result)
{
    const bool wanted = m_onLine->wanted;
    const bool resync = m_onLine->resync;
    const RequestFrame request = std::move(m_onLine->request);
    m_onLine.reset();
    // An exception answers a caller's request; a resync is answered only by
    // its own registers, which nothing earlier on the line can pass for.
    const bool answered = result.outcome == ReplyOutcome::Reply ||
                          (!resync && result.outcome == ReplyOutcome::Exception);
    // After a failed read the line is gone: a request waiting behind it still
    // goes out and has its own result (its write is refused); held back, a
    // caller waiting for it would wait for ever.
    const bool lineGone = result.outcome == ReplyOutcome::ReadFailed;
    m_state = answered || lineGone ? LineState::InStep : LineState::OutOfStep;
    if (answered)
        m_unansweredReads.reset();
    else if (request.function == kReadHoldingRegisters && result.outcome == ReplyOutcome::NoReply)
        m_unansweredReads.set(request.quantity); // its answer may yet come
    if (m_state == LineState::OutOfStep) {
        // Without a valid answer, a late one may still be on its way.
        m_outOfStepSinceUs = m_clock.nowUs();
        m_lastFailure = result;
    }
    if (wanted && !resync) {
        emit finished(result);
    } else if (resync && lineGone && m_waiting) {
        // The line went away under a resync or probe: that is the waiting
        // request's failure too, as its own read's would be.
        TransactionResult failed = resultFor(m_waiting->request, ReplyOutcome::ReadFailed);
        failed.driverStatus = result.driverStatus;
        m_waiting.reset();
        emit finished(failed);
    }
}

void ModbusMaster::armTimer()
{
    std::optional<qint64> dueUs;
    const qint64 gapEndsUs = m_lastActivityUs + interFrameGapUs();
    if (m_state == LineState::OnLine)
        dueUs = m_onLine->sentAtUs + qint64(m_timeoutMs) * kUsPerMs;
    else if (m_waiting && m_state == LineState::InStep)
        dueUs = gapEndsUs;
    else if (m_waiting)
        dueUs =
            std::min(m_lastActivityUs + qint64(settleMs()) * kUsPerMs,
                     std::max(m_outOfStepSinceUs + qint64(quietBoundMs()) * kUsPerMs, gapEndsUs));
    if (m_waiting)
        dueUs = std::min(dueUs.value_or(m_waiting->deadlineUs), m_waiting->deadlineUs);
    if (!dueUs) {
        m_timer.stop();
        return;
    }
    const qint64 remainingUs = std::max<qint64>(0, *dueUs - m_clock.nowUs());
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
    case ReplyOutcome::LineBusy:
        return "line-busy";
    }
    return "unknown";
}

} // namespace quorva::link
