#pragma once

#include "link/devicelink.h"
#include "link/linkclock.h"
#include "link/modbusframe.h"

#include <QObject>
#include <QTimer>
#include <bitset>
#include <optional>
#include <vector>

namespace quorva::link {

enum class SendOutcome {
    Sent,       // the request went out; its result will be signalled
    Queued,     // the line is still held (a transaction, the gap, a settle); it goes out after
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
};

// Modbus transactions over the DeviceLink, one on the line at a time, never
// waiting on the caller's thread. A request goes out after a purge of the
// receive queue; the reply is collected as it arrives (the driver's arrival
// handler) or given up by one single-shot timer, and the result is signalled.
//
// The master owns the line's timing, so that a reply is only ever taken as
// the answer to the request that caused it, however late a slave answers:
// - The line is in step (the last request was answered), a request is on it,
//   or it is out of step (the last request went unanswered, so its answer may
//   still come, at any time).
// - In step, a request goes out once the line has been quiet for the
//   inter-frame gap; what arrived meanwhile (a second copy of the last reply,
//   a trailing fragment) is purged.
// - Out of step, nothing of the caller's goes out. The master waits for the
//   line to be quiet for the settle time (purging what comes late), then
//   sends a resynchronising read of a few registers from register 1, again
//   until one is answered within the response timeout; only then is the line
//   in step. Each resync asks for another count, so its answer has a length
//   no reading's and no other recent resync's has: a late answer to anything
//   earlier fails it instead of passing for it. A slave that answers in order
//   is thus never heard for a request it does not answer, unless it is later
//   than kResyncCounts settle times (18 s with the default timeout).
// - Every wait for quiet is bounded: past quietBoundMs() the resync goes out
//   once the line has been quiet for the inter-frame gap, so a slave on a
//   noisy line still reads.
// - A caller's request waits for the line at most its own bound (a reading:
//   the response timeout, so a poll reports at its own pace; a write:
//   writeWaitBoundMs()); past it, it fails with the reason the line is held:
//   a reading with LineBusy if bytes kept coming with no request on the line
//   past the bound, otherwise with the last unanswered request's outcome; a
//   write always with LineBusy (it was never sent).
// - After an open, the line may be proved first: a probe that nothing
//   earlier can answer goes out before the caller's first request.
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
    // margin, so a slave answering up to one poll late is heard and purged.
    static constexpr int kSettleMarginMs = 350;
    // Resyncs read 1, 2, ... kResyncCounts registers from register 1, in turn.
    static constexpr int kResyncCounts = 16;
    static constexpr int kResyncFirstRegister = 1;
    // The probe after an open reads a count above every resync's and below a
    // reading's, so no answer to an earlier request, of this program or of
    // another that used the port before, can pass for it.
    static constexpr int kProbeMinCount = kResyncCounts + 1;
    static constexpr int kProbeMaxCount = 36;
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
    int responseTimeoutMs() const { return m_timeoutMs; }
    int settleMs() const { return m_timeoutMs + kSettleMarginMs; }
    // The longest the master waits for a quiet line before a resync goes out.
    int quietBoundMs() const { return settleMs() + m_timeoutMs; }
    // The longest a write waits for the line: the bound, then one resync.
    int writeWaitBoundMs() const { return quietBoundMs() + m_timeoutMs; }
    // 3.5 characters on a paced line.
    qint64 interFrameGapUs() const;
    // The last request on the line was answered.
    bool inStep() const { return m_state == LineState::InStep; }
    // The request on the line is the master's own resync (the driver's write
    // of it is under way or done).
    bool resyncOnLine() const { return m_onLine && m_onLine->resync; }

    // A request is waiting for the line; a new one would be refused. One in
    // flight does not count: the next request queues behind it.
    bool requestWaiting() const;
    // A request of the caller's is on the line or waiting for it.
    bool pending() const;
    // The caller no longer wants the result of its request: a waiting request
    // is dropped, one in flight keeps the line until its reply is whole or its
    // time is up, and its result is never signalled.
    void cancel();
    // The line's past is unknown (a port just opened: another program may
    // have left a request on it unanswered, whose answer is still to come).
    // The caller's next request goes out only after a probe, a read of a
    // count chosen at random from the probe's, has been answered in time;
    // an unanswered probe leaves the line out of step, and the request waits
    // for it to come into step as long as a write would.
    void proveLineFirst() { m_proveFirst = true; }

    // The port was closed: nothing more will arrive; forget the line. A
    // request left unanswered may still be answered on the next open, so the
    // line stays out of step.
    void reset();

    // Takes what has arrived and moves the line on against the clock. The
    // driver's arrival handler and the timer call it; tests stepping a manual
    // clock call it directly.
    void service();

signals:
    void finished(const quorva::link::TransactionResult& result);

private:
    enum class LineState {
        InStep,    // free; a request goes out after the inter-frame gap
        OnLine,    // a request (the caller's or a resync) awaits its reply
        OutOfStep, // free, but only a resync may go out, after the settle
    };
    struct OnLine
    {
        RequestFrame request;
        qint64 sentAtUs = 0;
        QByteArray received;
        bool wanted = true;
        bool resync = false;
    };
    struct Waiting
    {
        RequestFrame request;
        qint64 deadlineUs = 0;
        bool bytesSeen = false; // bytes arrived with no request on the line
    };

    SendOutcome submit(RequestFrame request, int waitBoundMs);
    void startDue();
    void sendNow(RequestFrame request, bool resync);
    // The step of a transaction on the line: collect what the reply still
    // needs, judge it once whole, or give it up at its timeout.
    void serviceTransaction();
    // Takes the reply's next bytes off the queue, dropping a frame whole too
    // early to answer the request. False when the driver refused a read
    // (`status` says how).
    bool collectReply(OnLine& t, qint64 now, DriverStatus& status);
    // What a whole reply comes to.
    TransactionResult judgeReply(const OnLine& t) const;
    // What a reply given up at its timeout comes to: none, a late answer to
    // another read, or the fault of what part of it came.
    TransactionResult expireReply(const OnLine& t) const;
    void finishTransaction(TransactionResult result);
    bool drainLine();
    void expireWaiting();
    void armTimer();
    bool takeQueued(QByteArray& into, int wanted, DriverStatus& status);
    qint64 minimumLineTimeUs(const OnLine& t) const;
    qint64 quietUs() const { return m_clock.nowUs() - m_lastActivityUs; }

    DeviceLink& m_link;
    const LinkClock& m_clock;
    QTimer m_timer;
    LineState m_state = LineState::InStep;
    std::optional<OnLine> m_onLine;
    std::optional<Waiting> m_waiting;
    int m_timeoutMs = kDefaultResponseTimeoutMs;
    // The last bytes seen, a request sent or a reply given up: quiet counts from it.
    qint64 m_lastActivityUs;
    qint64 m_outOfStepSinceUs = 0;
    TransactionResult m_lastFailure; // why the line is out of step
    // The first two bytes of the burst arriving now (a burst starts after our
    // request or after a quiet gap). One that starts like our slave's reply
    // is a late answer, not another talker: a slow slave is no busy line.
    QByteArray m_burstHead;
    bool burstLooksLikeAnswer() const;
    bool answersAnotherRead(const RequestFrame& request, const QByteArray& received) const;
    // The counts of reads given up unanswered since the last answered
    // request: a reply naming one of them is a late answer.
    std::bitset<kMaxRegistersPerRequest + 1> m_unansweredReads;
    int m_resyncs = 0;
    quint8 m_slave = 1; // of the caller's last request; resyncs ask it
    bool m_inService = false;
    bool m_proveFirst = false;
};

const char* outcomeName(ReplyOutcome outcome);

} // namespace quorva::link

Q_DECLARE_METATYPE(quorva::link::TransactionResult)
