#include "modbusmaster.h"

#include "link/linenote.h"

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
// Bytes kept from an idle line to look for late answers in: a few frames.
constexpr qsizetype kIdleBytesKept = 2 * kReplyBufferSize;

TransactionResult resultFor(const RequestFrame& request, ReplyOutcome outcome)
{
    TransactionResult result;
    result.function = request.function;
    result.outcome = outcome;
    result.firstRegister = request.firstRegister();
    return result;
}

// Whether a frame answering one request could pass for the other's answer.
bool sameReplyShape(const RequestFrame& a, const RequestFrame& b)
{
    if (a.slave != b.slave || a.function != b.function)
        return false;
    return a.quantity == b.quantity &&
           (a.function == kReadHoldingRegisters || a.startAddress == b.startAddress);
}

// How many bytes the frame at the head of a reply takes. Bytes that begin
// like the request itself may be its echo (a converter that hears its own
// transmission), which runs to the request's length unless a valid answer
// ends sooner.
int frameLength(const QByteArray& received, const RequestFrame& request)
{
    if (received.size() < 2)
        return 2;
    int length = announcedReplyLength(received);
    if (length == 0)
        length = quint8(received[1]) == kReadHoldingRegisters
                     ? 3
                     : expectedReplyLength(request, received); // another function: judged whole
    const bool validSoFar = received.size() >= length && hasValidCrc(received.left(length));
    if (!validSoFar && request.bytes.startsWith(received.left(request.bytes.size())))
        length = std::max(length, int(request.bytes.size()));
    return length;
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
    if (m_link.isOpen())
        noteLine();
    m_link.driver().setArrivalHandler({});
}

SendOutcome ModbusMaster::readHoldingRegisters(int slave, int firstRegister, int count)
{
    // A reading waits no longer than it would for its reply, and the gap
    // before a resync sent for it, whose outcome it then reports: polls
    // report at their own pace, a failed one among them.
    return submit(buildReadRequest(slave, firstRegister, count),
                  qint64(m_timeoutMs) * kUsPerMs + interFrameGapUs());
}

SendOutcome ModbusMaster::writeMultipleRegisters(int slave, int firstRegister, int count,
                                                 const qint32* values)
{
    return submit(buildWriteRequest(slave, firstRegister, count, values),
                  qint64(writeWaitBoundMs()) * kUsPerMs);
}

void ModbusMaster::setResponseTimeoutMs(int ms)
{
    m_timeoutMs = std::clamp(ms, kMinResponseTimeoutMs, kMaxResponseTimeoutMs);
}

qint64 ModbusMaster::lateAnswerWaitUs() const
{
    // A settle, or the latest this device has answered and the margin, up
    // to two settles: a device late by more than a poll keeps its turn
    // (every other poll read), one later still is resynchronised, not
    // waited for.
    const qint64 settleUs = qint64(settleMs()) * kUsPerMs;
    return std::clamp(m_latestAnswerUs + kSettleMarginMs * kUsPerMs, settleUs, 2 * settleUs);
}

qint64 ModbusMaster::readingsOnlySettleUs() const
{
    return std::max(qint64(settleMs()) * kUsPerMs, 2 * m_latestAnswerUs);
}

qint64 ModbusMaster::copyWindowUs(const QByteArray& frame) const
{
    // A slave that sends an answer twice sends the copy right behind it.
    return frame.size() * DeviceLink::kByteTimeUs + kUnpacedGapUs;
}

qint64 ModbusMaster::interFrameGapUs() const
{
    // An RTU frame ends with 3.5 characters of silence on the line.
    return m_link.driver().pacesLine() ? DeviceLink::kByteTimeUs * 7 / 2 : kUnpacedGapUs;
}

bool ModbusMaster::resyncOnLine() const
{
    const auto* on = std::get_if<OnLine>(&m_line);
    return on && on->sent.resync;
}

bool ModbusMaster::pending() const
{
    const auto* on = std::get_if<OnLine>(&m_line);
    return m_waiting.has_value() || (on && on->wanted && !on->sent.resync);
}

ModbusMaster::Backlog* ModbusMaster::backlog()
{
    auto* out = std::get_if<OutOfStep>(&m_line);
    return out ? &out->backlog : nullptr;
}

SendOutcome ModbusMaster::submit(RequestFrame request, qint64 waitBoundUs)
{
    if (requestWaiting())
        return SendOutcome::Busy;
    m_slave = request.slave;
    const qint64 now = m_clock.nowUs();
    m_waiting = Waiting{std::move(request), now, now + waitBoundUs, std::nullopt, false,
                        std::nullopt};
    service(); // the line may be free already by the clock
    if (m_waiting)
        return SendOutcome::Queued;
    return pending() ? SendOutcome::Sent : SendOutcome::SendFailed;
}

void ModbusMaster::cancel()
{
    m_waiting.reset();
    if (auto* on = std::get_if<OnLine>(&m_line))
        on->wanted = false;
}

void ModbusMaster::opened()
{
    const qint64 nowMs = m_noteNowMs();
    if (const std::optional<LineNote> note = decodeLineNote(m_link.driver().lineNote(), nowMs)) {
        const qint64 now = m_clock.nowUs();
        Backlog past;
        for (const LineNote::Request& r : note->unanswered) {
            RequestFrame request;
            request.slave = m_slave;
            request.function = r.function;
            request.startAddress = r.startAddress;
            request.quantity = r.quantity;
            past.requests.push_back({request, now - r.ageMs * kUsPerMs, r.resync});
        }
        // A holder that never let go may have sent anything since it opened.
        if (note->inUse)
            past.unknownSinceUs = now - note->ageMs * kUsPerMs;
        past.resyncDueUs = now; // that run is over: its answers are late already
        m_readingsOnly = note->readingsOnly;
        m_line = OutOfStep{std::move(past)};
        forgetExpired();
    }
    // Without a note (no master used this port since the machine started, or
    // a provider that keeps none) the line's past is what this master knows.
    LineNote holding;
    holding.inUse = true;
    holding.readingsOnly = m_readingsOnly;
    m_link.driver().keepLineNote(encodeLineNote(holding, nowMs));
}

void ModbusMaster::reset()
{
    noteLine();
    Backlog left = unansweredNow();
    left.resyncDueUs = m_clock.nowUs();
    m_waiting.reset();
    m_timer.stop();
    m_idleBytes.clear();
    m_lastAnswered.reset();
    m_line = left.empty() ? decltype(m_line){InStep{}} : OutOfStep{std::move(left)};
}

ModbusMaster::Backlog ModbusMaster::unansweredNow() const
{
    if (const auto* out = std::get_if<OutOfStep>(&m_line))
        return out->backlog;
    if (const auto* on = std::get_if<OnLine>(&m_line)) {
        Backlog left = on->backlog;
        left.requests.push_back(on->sent); // its answer may yet come
        return left;
    }
    return {};
}

void ModbusMaster::noteLine()
{
    const qint64 now = m_clock.nowUs();
    const Backlog left = unansweredNow();
    LineNote note;
    for (const Sent& s : left.requests)
        note.unanswered.push_back({s.request.function, s.request.startAddress,
                                   s.request.quantity, (now - s.sentAtUs) / kUsPerMs, s.resync});
    // What this master could not account for, the next one cannot either.
    note.inUse = left.unknownSinceUs.has_value();
    note.ageMs = left.unknownSinceUs ? (now - *left.unknownSinceUs) / kUsPerMs : 0;
    note.readingsOnly = m_readingsOnly;
    m_link.driver().keepLineNote(encodeLineNote(note, m_noteNowMs()));
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

qint64 ModbusMaster::minimumLineTimeUs(const OnLine& on) const
{
    const qint64 bytes =
        on.sent.request.bytes.size() + expectedReplyLength(on.sent.request, on.received);
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
    if (std::holds_alternative<OnLine>(m_line))
        serviceTransaction();
    // An idle line in step is left alone: nothing waits, nothing is owed.
    if (m_waiting || std::holds_alternative<OutOfStep>(m_line))
        takeIdleBytes();
    expireWaiting();
    if (!std::holds_alternative<OnLine>(m_line))
        startDue();
    armTimer();
    m_inService = false;
}

void ModbusMaster::takeIdleBytes()
{
    if (!drainLine()) {
        // A failing line: the waiting request's own write or read reports it.
        m_line = InStep{};
        m_lastActivityUs = kLongAgoUs;
        return;
    }
    resolveLateAnswers();
    forgetExpired();
}

bool ModbusMaster::drainLine()
{
    // Nothing of ours is on the line: whatever came is late, a copy, or
    // another talker's. It restarts the quiet, and is kept a while to look
    // for late answers in.
    const bool newBurst = quietUs() >= interFrameGapUs();
    QByteArray taken;
    DriverStatus status = DriverStatusCode::Ok;
    for (int chunk = 0; chunk < 4; ++chunk) {
        const qsizetype before = taken.size();
        if (!takeQueued(taken, kReplyBufferSize, status))
            return false;
        if (taken.size() == before)
            break;
    }
    if (taken.isEmpty())
        return true;
    if (newBurst)
        m_idleBytes.clear();
    m_idleBytes += taken;
    if (m_idleBytes.size() > kIdleBytesKept)
        m_idleBytes.remove(0, m_idleBytes.size() - kIdleBytesKept);
    return true;
}

void ModbusMaster::resolveLateAnswers()
{
    Backlog* unanswered = backlog();
    if (!unanswered)
        return;
    for (qsizetype at = 0; at < m_idleBytes.size(); ++at) {
        if (quint8(m_idleBytes[at]) != m_slave)
            continue;
        const QByteArray rest = m_idleBytes.mid(at);
        const int length = announcedReplyLength(rest);
        if (length == 0 || rest.size() < length || !resolve(*unanswered, rest.left(length)))
            continue;
        qCDebug(lcFrames, "rx %s: a late answer, no request on the line",
                rest.left(length).toHex(' ').constData());
        m_idleBytes.remove(0, at + length);
        at = -1;
    }
    if (unanswered->empty())
        m_line = InStep{};
}

bool ModbusMaster::resolve(Backlog& backlog, const QByteArray& frame)
{
    if (!hasValidCrc(frame))
        return false;
    std::vector<Sent>& requests = backlog.requests;
    const quint8 function = quint8(frame[1]);
    const bool refusal = function & kExceptionFlag;
    const auto answers = [&](const Sent& s) {
        // A refusal names no count: it goes to the oldest request it can
        // refuse whose answer may still come; one older than that did not
        // answer, and the refusal is a later request's.
        if (refusal)
            return function == (s.request.function | kExceptionFlag) &&
                   quint8(frame[0]) == s.request.slave &&
                   m_clock.nowUs() - s.sentAtUs < lateAnswerWaitUs();
        return parseReply(s.request, frame).ok();
    };
    const auto answered = std::find_if(requests.begin(), requests.end(), answers);
    if (answered == requests.end())
        return false;
    m_lastLate = frame;
    m_lastLateAtUs = m_clock.nowUs();
    if (!refusal)
        m_latestAnswerUs = std::max(m_latestAnswerUs, m_clock.nowUs() - answered->sentAtUs);
    // A slave answering in order skipped the resyncs before it: it answers
    // nothing but the reads it knows. Answering a resync, it does not.
    if (answered->resync)
        m_readingsOnly = false;
    else if (std::any_of(requests.begin(), answered, [](const Sent& s) { return s.resync; }))
        m_readingsOnly = true;
    // An answer of its shape is its own; a refusal, maybe a later one's.
    const size_t index = size_t(answered - requests.begin());
    if (!refusal || settled(*answered))
        requests.erase(answered);
    forgetSettled(requests, index);
    return true;
}

bool ModbusMaster::answersUnknownPast(const OnLine& on, const QByteArray& frame, qint64 now) const
{
    // Whole and sound, but not the request's answer: another run's. A
    // refusal, which names no request, is taken for that past's only within
    // a settle of it; after that it is the request's on the line, and brings
    // the line into step.
    const bool refusal = quint8(frame[1]) & kExceptionFlag;
    if (refusal)
        return now - *on.backlog.unknownSinceUs < qint64(settleMs()) * kUsPerMs;
    return hasValidCrc(frame) && !parseReply(on.sent.request, frame).ok();
}

bool ModbusMaster::settled(const Sent& sent) const
{
    return m_clock.nowUs() - sent.sentAtUs >= qint64(settleMs()) * kUsPerMs;
}

void ModbusMaster::forgetSettled(std::vector<Sent>& requests, size_t before)
{
    // Answered in turn, or never to be: a later request's answer has come.
    // One younger than a settle is kept, as a slave answering out of turn
    // may still send its answer.
    const auto end = requests.begin() + qsizetype(std::min(before, requests.size()));
    requests.erase(std::remove_if(requests.begin(), end,
                                  [this](const Sent& s) { return settled(s); }),
                   end);
}

void ModbusMaster::forgetExpired()
{
    Backlog* unanswered = backlog();
    if (!unanswered)
        return;
    const qint64 now = m_clock.nowUs();
    auto& requests = unanswered->requests;
    requests.erase(std::remove_if(requests.begin(), requests.end(),
                                  [&](const Sent& s) {
                                      const qint64 age = now - s.sentAtUs;
                                      return age >= horizonUs() ||
                                             (m_readingsOnly && !s.resync &&
                                              s.request.function == kReadHoldingRegisters &&
                                              age >= readingsOnlySettleUs());
                                  }),
                   requests.end());
    if (unanswered->unknownSinceUs && now - *unanswered->unknownSinceUs >= horizonUs())
        unanswered->unknownSinceUs.reset();
    if (unanswered->empty())
        m_line = InStep{};
}

bool ModbusMaster::blocks(const Backlog& backlog, const RequestFrame& request) const
{
    if (backlog.unknownSinceUs)
        return true;
    // A write goes out only to a device that has proved it answers in step.
    if (request.function == kWriteMultipleRegisters)
        return !backlog.requests.empty();
    return std::any_of(backlog.requests.begin(), backlog.requests.end(),
                       [&](const Sent& s) { return sameReplyShape(s.request, request); });
}

bool ModbusMaster::needsGap(const RequestFrame& request) const
{
    // A paced line needs its silence between frames; a pseudo-terminal only
    // where a copy of the last reply, or what trails a spoiled one, could
    // meet the request.
    return m_link.driver().pacesLine() || !std::holds_alternative<InStep>(m_line) ||
           !m_lastAnswered || sameReplyShape(*m_lastAnswered, request);
}

void ModbusMaster::startDue()
{
    if (!m_waiting)
        return;
    const bool quiet = quietUs() >= interFrameGapUs();
    if (Backlog* unanswered = backlog(); unanswered && blocks(*unanswered, m_waiting->request)) {
        if (m_clock.nowUs() < unanswered->resyncDueUs)
            return;
        if (!quiet) {
            m_waiting->heldSinceUs = m_waiting->heldSinceUs.value_or(m_clock.nowUs());
            return;
        }
        m_waiting->heldSinceUs.reset();
        sendResync(*unanswered);
        return;
    }
    if (!quiet && needsGap(m_waiting->request)) {
        m_waiting->heldSinceUs = m_waiting->heldSinceUs.value_or(m_clock.nowUs());
        return;
    }
    RequestFrame next = std::move(m_waiting->request);
    m_waiting.reset();
    sendNow(std::move(next), false);
}

void ModbusMaster::sendResync(Backlog& backlog)
{
    // A count no unanswered request has where one is free, so its answer
    // passes for no other; the first after an unknown past at random, as
    // another program may have used the ones before.
    if (backlog.unknownSinceUs && m_resyncs == 0)
        m_resyncs = int(QRandomGenerator::global()->bounded(quint32(kResyncCounts)));
    const auto taken = [&](int count) {
        return std::any_of(backlog.requests.begin(), backlog.requests.end(), [&](const Sent& s) {
            return s.request.function == kReadHoldingRegisters && s.request.quantity == count;
        });
    };
    int count = m_resyncs % kResyncCounts + 1;
    for (int tried = 0; tried < kResyncCounts && taken(count); ++tried)
        count = ++m_resyncs % kResyncCounts + 1;
    ++m_resyncs;
    m_waiting->resyncSent = true;
    sendNow(buildReadRequest(m_slave, kResyncFirstRegister, count), true);
}

void ModbusMaster::sendNow(RequestFrame request, bool resync)
{
    SerialDriver& driver = m_link.driver();
    // Whatever waits in the queue answers an older request: discard it, so a
    // reply is only ever matched with the request that caused it.
    driver.purge(m_link.handle(), kPurgeRx);
    m_idleBytes.clear();
    Backlog before = unansweredNow();
    // Taken before the write: the request cannot start on the line earlier.
    const qint64 sentAtUs = m_clock.nowUs();
    const QByteArray bytes = request.bytes;
    const quint8 function = request.function;
    m_line = OnLine{{std::move(request), sentAtUs, resync}, true, {}, before};
    quint32 written = 0;
    const DriverStatus status =
        driver.write(m_link.handle(), reinterpret_cast<const quint8*>(bytes.constData()),
                     quint32(bytes.size()), &written);
    qCDebug(lcFrames, "tx %s%s status %u", bytes.toHex(' ').constData(), resync ? " (resync)" : "",
            unsigned(status));
    if (status == DriverStatusCode::Ok) {
        m_lastActivityUs = sentAtUs;
        if (!resync)
            emit requestSent(function);
        return;
    }
    // Nothing went out: the line is as it was. A refused resync is the
    // waiting request's failure too, as its own write would be.
    const RequestFrame owner = resync ? m_waiting->request : std::get<OnLine>(m_line).sent.request;
    TransactionResult failed = resultFor(owner, ReplyOutcome::SendFailed);
    failed.driverStatus = status;
    m_line = before.empty() ? decltype(m_line){InStep{}} : OutOfStep{std::move(before)};
    if (resync)
        m_waiting.reset();
    emit finished(failed);
}

void ModbusMaster::serviceTransaction()
{
    OnLine& on = std::get<OnLine>(m_line);
    // Bytes taken now came by the time the service began: the timeout is
    // judged against that time.
    const qint64 now = m_clock.nowUs();
    DriverStatus status = DriverStatusCode::Ok;
    switch (collectReply(on, now, status)) {
    case Collected::ReadFailed: {
        TransactionResult failed = resultFor(on.sent.request, ReplyOutcome::ReadFailed);
        failed.driverStatus = status;
        finishTransaction(failed);
        return;
    }
    case Collected::Whole:
        finishTransaction(judgeReply(on));
        return;
    case Collected::Waiting:
        if (now - on.sent.sentAtUs >= qint64(m_timeoutMs) * kUsPerMs)
            finishTransaction(expireReply(on));
        return;
    }
}

ModbusMaster::Collected ModbusMaster::collectReply(OnLine& on, qint64 now, DriverStatus& status)
{
    // Never more than the frame at the head still needs: bytes past it stay
    // queued for the next purge.
    for (;;) {
        const int length = frameLength(on.received, on.sent.request);
        const int have = int(on.received.size());
        if (have >= length) {
            if (dropForeignFrame(on, now, length))
                continue;
            on.received.truncate(length);
            return Collected::Whole;
        }
        if (!takeQueued(on.received, std::min(length, kReplyBufferSize) - have, status))
            return Collected::ReadFailed;
        if (on.received.size() == have)
            return Collected::Waiting;
    }
}

bool ModbusMaster::dropForeignFrame(OnLine& on, qint64 now, int length)
{
    const QByteArray frame = on.received.left(length);
    const char* why = nullptr;
    if (frame == on.sent.request.bytes) {
        why = "the request's echo";
    } else if (frame == m_lastLate && now - m_lastLateAtUs <= copyWindowUs(frame)) {
        why = "a copy of a late answer";
    } else if (resolve(on.backlog, frame)) {
        // Checked before its own answer: a resync reusing an unanswered
        // one's count takes the second frame of that shape, not the first,
        // and a refusal goes to the oldest request it can refuse.
        why = "a late answer";
    } else if (on.backlog.unknownSinceUs && answersUnknownPast(on, frame, now)) {
        why = "an answer to a request of an unknown past";
    } else if (m_link.driver().pacesLine() && now - on.sent.sentAtUs < minimumLineTimeUs(on)) {
        // Whole sooner than the request and a reply take on the line: it
        // answers an older request, and whatever is queued behind it landed
        // just as early (a second copy, say), so it is judged now.
        why = "too early for the request";
    } else if (m_lastAnswered && !sameReplyShape(*m_lastAnswered, on.sent.request) &&
               parseReply(*m_lastAnswered, frame).ok()) {
        // Of its own shape it would be taken: the gap before the request
        // keeps such a copy off its wait.
        why = "a copy of the last reply";
    }
    if (!why)
        return false;
    qCDebug(lcFrames, "rx %s dropped: %s", frame.toHex(' ').constData(), why);
    on.received.remove(0, length);
    return true;
}

TransactionResult ModbusMaster::judgeReply(const OnLine& on) const
{
    const RequestFrame& request = on.sent.request;
    const ParsedReply parsed = parseReply(request, on.received);
    qCDebug(lcFrames, "rx %s %s", on.received.toHex(' ').constData(), faultName(parsed.fault));
    TransactionResult result = resultFor(request, ReplyOutcome::Reply);
    result.fault = parsed.fault;
    if (parsed.ok()) {
        if (request.function == kReadHoldingRegisters) {
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
    return result;
}

TransactionResult ModbusMaster::expireReply(const OnLine& on) const
{
    TransactionResult result = resultFor(on.sent.request, ReplyOutcome::NoReply);
    const QByteArray& received = on.received;
    // The head of an unanswered read's answer, still on its way: that
    // request's, late. This one met silence.
    const bool lateAnswerBegun =
        received.size() >= 3 && quint8(received[0]) == on.sent.request.slave &&
        std::any_of(on.backlog.requests.begin(), on.backlog.requests.end(), [&](const Sent& s) {
            return quint8(received[1]) == s.request.function &&
                   (s.request.function != kReadHoldingRegisters ||
                    quint8(received[2]) == 2 * s.request.quantity);
        });
    if (!received.isEmpty() && !lateAnswerBegun) {
        // An incomplete frame fails its CRC; call it what it is.
        result.outcome = ReplyOutcome::BadReply;
        const ParsedReply parsed = parseReply(on.sent.request, received);
        result.fault = parsed.fault == ReplyFault::BadCrc || parsed.ok() ? ReplyFault::Truncated
                                                                         : parsed.fault;
    }
    qCDebug(lcFrames, "rx %s timed out", received.toHex(' ').constData());
    return result;
}

void ModbusMaster::finishTransaction(TransactionResult result)
{
    OnLine on = std::move(std::get<OnLine>(m_line));
    settleLine(on, result);
    const bool failed = !result.ok() && result.outcome != ReplyOutcome::Exception;
    if (on.sent.resync && failed && m_waiting)
        m_waiting->resyncFailure = result; // news of the device for the request behind it
    if (on.wanted && !on.sent.resync) {
        emit finished(result);
    } else if (on.sent.resync && result.outcome == ReplyOutcome::ReadFailed && m_waiting) {
        // The line went away under a resync: that is the waiting request's
        // failure too, as its own read's would be.
        TransactionResult gone = resultFor(m_waiting->request, ReplyOutcome::ReadFailed);
        gone.driverStatus = result.driverStatus;
        m_waiting.reset();
        emit finished(gone);
    }
}

void ModbusMaster::settleLine(OnLine& on, const TransactionResult& result)
{
    const qint64 now = m_clock.nowUs();
    Backlog backlog = std::move(on.backlog);
    const bool clean = result.ok();
    m_lastAnswered = clean && !on.sent.resync ? std::optional(on.sent.request) : std::nullopt;
    if (result.outcome == ReplyOutcome::ReadFailed) {
        m_line = InStep{}; // the line is gone: the port closes
        return;
    }
    if (clean || result.outcome == ReplyOutcome::Exception) {
        // Its own answer or refusal (a refusal for a request still
        // unanswered is dropped as that one's): everything before it has been
        // answered or never will be.
        if (clean)
            m_latestAnswerUs = std::max(m_latestAnswerUs, now - on.sent.sentAtUs);
        if (on.sent.resync)
            m_readingsOnly = false;
        else if (clean && std::any_of(backlog.requests.begin(), backlog.requests.end(),
                                      [](const Sent& s) { return s.resync; }))
            m_readingsOnly = true; // it skipped a resync and answered the reading
        forgetSettled(backlog.requests, backlog.requests.size());
        if (backlog.unknownSinceUs && now - *backlog.unknownSinceUs >= qint64(settleMs()) * kUsPerMs)
            backlog.unknownSinceUs.reset();
        if (backlog.empty()) {
            m_line = InStep{};
            return;
        }
        // Those still young: a resync once the last of them has settled.
        backlog.resyncDueUs = backlog.requests.empty()
                                  ? now
                                  : backlog.requests.back().sentAtUs + qint64(settleMs()) * kUsPerMs;
        m_line = OutOfStep{std::move(backlog)};
        return;
    }
    // Its answer (or a valid copy of a spoilt one) may yet come: it is waited
    // for before a resync. A resync's is told from every other: the next one
    // goes at once.
    backlog.resyncDueUs = on.sent.sentAtUs + lateAnswerWaitUs();
    backlog.requests.push_back(on.sent);
    if (result.outcome == ReplyOutcome::BadReply)
        m_idleBytes = on.received.mid(1); // its answer may be among them, behind noise
    m_line = OutOfStep{std::move(backlog)};
}

void ModbusMaster::expireWaiting()
{
    if (!m_waiting || m_clock.nowUs() < m_waiting->deadlineUs)
        return;
    const bool reading = m_waiting->request.function == kReadHoldingRegisters;
    TransactionResult failed = resultFor(m_waiting->request, ReplyOutcome::NotSent);
    // Busy when, due, it found the line never quiet for the gap over half its
    // wait or more: not a late answer landing as its time ran out.
    const Waiting& w = *m_waiting;
    if (w.heldSinceUs && !w.resyncSent &&
        2 * (w.deadlineUs - *w.heldSinceUs) >= w.deadlineUs - w.submittedAtUs) {
        failed.outcome = ReplyOutcome::LineBusy;
    } else if (reading && m_waiting->resyncFailure) {
        failed.outcome = m_waiting->resyncFailure->outcome;
        failed.fault = m_waiting->resyncFailure->fault;
    }
    m_waiting.reset();
    qCDebug(lcFrames, "request never sent: %s", outcomeName(failed.outcome));
    emit finished(failed);
}

std::optional<qint64> ModbusMaster::idleDueUs() const
{
    const qint64 gapEndsUs = m_lastActivityUs + interFrameGapUs();
    const auto* out = std::get_if<OutOfStep>(&m_line);
    if (!out || !blocks(out->backlog, m_waiting->request))
        return needsGap(m_waiting->request) ? gapEndsUs : m_clock.nowUs();
    // The resync, or the unanswered request's time running out, whichever first.
    qint64 dueUs = std::max(out->backlog.resyncDueUs, gapEndsUs);
    for (const Sent& s : out->backlog.requests) {
        const bool reading = !s.resync && s.request.function == kReadHoldingRegisters;
        dueUs = std::min(dueUs, s.sentAtUs + (m_readingsOnly && reading ? readingsOnlySettleUs()
                                                                         : horizonUs()));
    }
    if (out->backlog.unknownSinceUs)
        dueUs = std::min(dueUs, *out->backlog.unknownSinceUs + horizonUs());
    return dueUs;
}

void ModbusMaster::armTimer()
{
    std::optional<qint64> dueUs;
    if (const auto* on = std::get_if<OnLine>(&m_line))
        dueUs = on->sent.sentAtUs + qint64(m_timeoutMs) * kUsPerMs;
    else if (m_waiting)
        dueUs = idleDueUs();
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
    case ReplyOutcome::NotSent:
        return "not-sent";
    }
    return "unknown";
}

} // namespace quorva::link
