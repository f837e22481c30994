#pragma once

#include "link/devicelink.h"
#include "link/linenote.h"
#include "link/linkclock.h"
#include "link/modbusframe.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace quorva::link {

enum class SendOutcome {
    Sent,       // the request went out; its result will be signalled
    Queued,     // the line is still held (a transaction, the gap, a resync); it goes out after
    SendFailed, // the driver refused the write; the failure is also signalled
    Busy,       // another request is already waiting for the line; nothing was sent
};

enum class ReplyOutcome {
    Reply,      // a complete, valid reply to the request
    NoReply,    // nothing arrived within the response timeout
    BadReply,   // bytes arrived, but not a valid reply (see fault)
    Exception,  // the slave answered with a Modbus exception
    ReadFailed, // the driver refused a read (a pulled cable, a hung-up port)
    SendFailed, // the driver refused the write of the request
    LineBusy,   // never sent: bytes kept arriving with no request of ours on the line
    NotSent,    // never sent: the line did not come into step in time
};

// What one transaction came to, in the terms the layers above need.
struct TransactionResult
{
    quint8 function = 0;
    ReplyOutcome outcome = ReplyOutcome::NoReply;
    ReplyFault fault = ReplyFault::None;
    int exceptionCode = 0;
    DriverStatus driverStatus = DriverStatusCode::Ok; // of the refused write or read
    // A read: its first register and the words, in register order. A write:
    // the first register and quantity the slave's echo confirmed.
    int firstRegister = 0;
    int quantity = 0;
    std::vector<quint16> words;

    bool ok() const { return outcome == ReplyOutcome::Reply; }
    // Nothing of the request reached the line: the device cannot have taken it.
    bool neverSent() const
    {
        return outcome == ReplyOutcome::SendFailed || outcome == ReplyOutcome::LineBusy ||
               outcome == ReplyOutcome::NotSent;
    }
};

// Modbus transactions over the DeviceLink, one on the line at a time, never
// waiting on the caller's thread. A request goes out after a purge of the
// receive queue; the reply is collected as it arrives (the driver's arrival
// handler) or given up by one single-shot timer, and the result is signalled.
//
// The master owns the line's timing, so that a reply is only ever taken as
// the answer to the request that caused it, however late a slave that
// answers in order is (README, "The link's rules"):
// - The line is in step (every request sent was answered), a request is on
//   it, or it is out of step: requests went unanswered, and their answers may
//   still come, before any later request's.
// - In step, a request goes out at once, or after the inter-frame gap where
//   a copy of the last reply could pass for its answer (the same reply shape)
//   or the line is paced.
// - Out of step, a reading goes out only when no unanswered request could be
//   answered with a frame of its shape, a write only once the line is in
//   step. Otherwise the master sends resynchronising reads of 1 to
//   kResyncCounts registers, each of a count nothing unanswered has, until
//   one is answered or refused: in order, every request before it has then
//   been answered, save those younger than a settle (a slave answering out
//   of turn may still send theirs). After a request that went unanswered the
//   master first waits for its late answer (lateAnswerWaitUs()), which
//   brings the line into step as well.
// - While a request is on the line, a whole frame that answers an unanswered
//   request, a copy of the last reply or of a late answer, or an echo of the
//   request itself is dropped and the wait goes on.
// - A port just opened has the past the last master on it noted (opened()).
// - A caller's request waits for the line at most its own bound (a reading:
//   the response timeout and the gap; a write: writeWaitBoundMs()), then
//   fails without going out: LineBusy when bytes kept it off the line,
//   otherwise NotSent, or for a reading the failure of a resync it waited for.
// - An unanswered request is forgotten after kHorizonSettles settles (for a
//   device that answers nothing but its readings, after readingsOnlySettle()).
// - A cancelled transaction keeps the line until its reply is whole (and
//   dropped) or its response timeout has passed.
// - On a paced line, a frame complete sooner than request and reply take on
//   the line answers an older request: it is dropped and the wait goes on.
class ModbusMaster : public QObject
{
    Q_OBJECT

public:
    // Generous for a slow device: at 9600 baud the 37-register reply alone
    // takes about 82 ms on the line. A slow converter may need more.
    static constexpr int kDefaultResponseTimeoutMs = 800;
    static constexpr int kMinResponseTimeoutMs = 100;
    static constexpr int kMaxResponseTimeoutMs = 10000;
    // The settle is the response timeout and this much more: with the
    // default, one poll interval plus the poll's 91 ms on the line, and a
    // margin, so a slave answering up to one poll late is heard.
    static constexpr int kSettleMarginMs = 350;
    // Resyncs read 1 to kResyncCounts registers from register 1.
    static constexpr int kResyncCounts = 16;
    static constexpr int kResyncFirstRegister = 1;
    // How long an unanswered request is remembered, in settles: as long as a
    // resync's count can be told from all the others'.
    static constexpr int kHorizonSettles = kResyncCounts;
    // Bytes cross a pseudo-terminal in scheduling bursts, not character times:
    // a copy of a reply sent "at once" behind it may land a few ms later.
    static constexpr qint64 kUnpacedGapUs = 20'000;

    ModbusMaster(DeviceLink& link, const LinkClock& clock, QObject* parent = nullptr);
    ~ModbusMaster() override;

    SendOutcome readHoldingRegisters(int slave, int firstRegister, int count);
    SendOutcome writeMultipleRegisters(int slave, int firstRegister, int count,
                                       const qint32* values);

    // Clamped to the limits above; the settle and the bounds follow it.
    void setResponseTimeoutMs(int ms);
    // The clock the line's notes are dated on: the machine's monotonic
    // clock, which every process reads alike; a test dates them on its own.
    void setNoteClock(std::function<qint64()> nowMs) { m_noteNowMs = std::move(nowMs); }
    int responseTimeoutMs() const { return m_timeoutMs; }
    int settleMs() const { return m_timeoutMs + kSettleMarginMs; }
    // The longest a write waits for the line: the settle, then a resync.
    int writeWaitBoundMs() const { return settleMs() + 2 * m_timeoutMs; }
    qint64 horizonUs() const { return qint64(kHorizonSettles) * settleMs() * 1000; }
    // How long after a request that went unanswered its late answer is
    // waited for before a resync goes out.
    qint64 lateAnswerWaitUs() const;
    // For a device known to answer its readings alone: the settle, or twice
    // the latest answer it gave, whichever is longer.
    qint64 readingsOnlySettleUs() const;
    // 3.5 characters on a paced line.
    qint64 interFrameGapUs() const;
    // The request on the line is the master's own resync (the driver's write
    // of it is under way or done).
    bool resyncOnLine() const;
    // The device has skipped a resync and answered the reading after it.
    bool readingsOnly() const { return m_readingsOnly; }

    // A request is waiting for the line; a new one would be refused. One in
    // flight does not count: the next request queues behind it.
    bool requestWaiting() const { return m_waiting.has_value(); }
    // A request of the caller's is on the line or waiting for it.
    bool pending() const;
    // The caller no longer wants the result of its request: a waiting request
    // is dropped, one in flight keeps the line until its reply is whole or its
    // time is up, and its result is never signalled.
    void cancel();

    // The port was just opened. What the last master on it noted (the
    // driver's line note) is the line's past: requests it left unanswered hold
    // this one's back as its own would. The master notes at once that it
    // holds the port, so a run killed outright leaves the past unknown.
    void opened();
    // The port is about to close: notes what is unanswered for the next
    // master, and forgets the line's present. Nothing more arrives.
    void reset();

    // Takes what has arrived and moves the line on against the clock. The
    // driver's arrival handler and the timer call it; tests stepping a manual
    // clock call it directly.
    void service();

signals:
    // A caller's request has gone on the line (function 3 or 16).
    void requestSent(quint8 function);
    void finished(const quorva::link::TransactionResult& result);

private:
    struct Sent
    {
        RequestFrame request;
        qint64 sentAtUs = 0;
        bool resync = false;
    };
    // Requests sent and not answered, oldest first: a slave answering in
    // order sends their answers, if ever, before any later request's.
    struct Backlog
    {
        std::vector<Sent> requests;
        // The port was opened on an unknown past: anything may still come.
        std::optional<qint64> unknownSinceUs;
        // When a resync may go out for a caller's request held back.
        qint64 resyncDueUs = 0;
        bool empty() const { return requests.empty() && !unknownSinceUs; }
    };
    struct InStep
    {};
    struct OutOfStep
    {
        Backlog backlog;
    };
    struct OnLine
    {
        Sent sent;
        bool wanted = true;
        QByteArray received;
        Backlog backlog; // what was unanswered when it went out
    };
    struct Waiting
    {
        RequestFrame request;
        qint64 submittedAtUs = 0;
        qint64 deadlineUs = 0;
        // Since when it has been due, but the line never quiet for the gap.
        std::optional<qint64> heldSinceUs;
        bool resyncSent = false;
        std::optional<TransactionResult> resyncFailure; // the last, while it waited
    };
    // Where the reply to the request on the line stands.
    enum class Collected { Waiting, Whole, ReadFailed };

    SendOutcome submit(RequestFrame request, qint64 waitBoundUs);
    // What is unanswered now, the request on the line included.
    Backlog unansweredNow() const;
    void noteLine();
    void takeIdleBytes();
    bool drainLine();
    void resolveLateAnswers();
    // A whole frame that answers an unanswered request (an exception, the
    // oldest it can refuse): everything before that request has been
    // answered or never will be. False when it answers none.
    bool resolve(Backlog& backlog, const QByteArray& frame);
    // After a run killed while it held the port: whether `frame` answers that
    // run's request rather than the one on the line.
    bool answersUnknownPast(const OnLine& on, const QByteArray& frame, qint64 now) const;
    bool settled(const Sent& sent) const;
    // Forgets the first `before` requests that have settled.
    void forgetSettled(std::vector<Sent>& requests, size_t before);
    // Forgets what is unanswered past the horizon (or, for a device that
    // answers nothing but its readings, readings past its settle).
    void forgetExpired();
    bool blocks(const Backlog& backlog, const RequestFrame& request) const;
    bool needsGap(const RequestFrame& request) const;
    void startDue();
    void sendResync(Backlog& backlog);
    void sendNow(RequestFrame request, bool resync);
    void serviceTransaction();
    Collected collectReply(OnLine& on, qint64 now, DriverStatus& status);
    // Drops the whole frame of `length` at the head of the reply when it is
    // no answer to the request on the line: its echo, an unanswered
    // request's late answer, a frame too early for it, a copy of the last
    // reply. False when it is the reply to judge.
    bool dropForeignFrame(OnLine& on, qint64 now, int length);
    TransactionResult judgeReply(const OnLine& on) const;
    TransactionResult expireReply(const OnLine& on) const;
    void finishTransaction(TransactionResult result);
    // Where the line stands once the request on it has come to `result`.
    void settleLine(OnLine& on, const TransactionResult& result);
    void expireWaiting();
    std::optional<qint64> idleDueUs() const;
    void armTimer();
    bool takeQueued(QByteArray& into, int wanted, DriverStatus& status);
    qint64 minimumLineTimeUs(const OnLine& on) const;
    qint64 copyWindowUs(const QByteArray& frame) const;
    qint64 quietUs() const { return m_clock.nowUs() - m_lastActivityUs; }
    Backlog* backlog();

    DeviceLink& m_link;
    const LinkClock& m_clock;
    QTimer m_timer;
    std::variant<InStep, OutOfStep, OnLine> m_line;
    std::optional<Waiting> m_waiting;
    int m_timeoutMs = kDefaultResponseTimeoutMs;
    // The last bytes seen or request sent: quiet counts from it.
    qint64 m_lastActivityUs;
    // Bytes taken off an idle line since it was last quiet, looked through
    // for late answers.
    QByteArray m_idleBytes;
    // The last request answered in time, whose reply a copy may repeat.
    std::optional<RequestFrame> m_lastAnswered;
    // The last late answer taken for an unanswered request, and when: a copy
    // right behind it is no answer either.
    QByteArray m_lastLate;
    qint64 m_lastLateAtUs = 0;
    qint64 m_latestAnswerUs = 0; // the longest a request waited for its answer
    bool m_readingsOnly = false;
    std::function<qint64()> m_noteNowMs = monotonicNowMs;
    int m_resyncs = 0;
    quint8 m_slave = 1; // of the caller's last request; resyncs ask it
    bool m_inService = false;
};

const char* outcomeName(ReplyOutcome outcome);

} // namespace quorva::link

Q_DECLARE_METATYPE(quorva::link::TransactionResult)
