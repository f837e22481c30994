#pragma once

#include "link/devicelink.h"
#include "link/linkclock.h"
#include "link/modbusframe.h"

#include <QObject>
#include <QTimer>
#include <optional>
#include <vector>

namespace quorva::link {

enum class SendOutcome {
    Sent,       // the request went out; its result will be signalled
    Queued,     // the line is still held (a transaction, a settle); it goes out after
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
// the answer to the request that caused it:
// - A cancelled transaction keeps the line until its reply is whole (and
//   dropped) or its response timeout has passed.
// - On a paced line, a frame complete sooner than request and reply take on
//   the line answers an older request: it is dropped and the wait goes on.
// - After a transaction that got no valid reply, the next request waits until
//   the line has been quiet for the settle time, so a slave answering up to
//   one poll late is heard (and purged) before the next request goes out.
class ModbusMaster : public QObject
{
    Q_OBJECT

public:
    // Generous for a slow device: at 9600 baud the 37-register reply alone
    // takes about 82 ms on the line.
    static constexpr int kResponseTimeoutMs = 800;
    // One poll interval plus the 91 ms that the poll's request and reply take
    // on the line, with a margin: a slave answering up to one poll late is
    // heard before the next request goes out. A silent slave is then polled
    // every 1.16 s rather than every second, on every tick of the window.
    static constexpr int kSettleMs = 1150;

    ModbusMaster(DeviceLink& link, const LinkClock& clock, QObject* parent = nullptr);
    ~ModbusMaster() override;

    SendOutcome readHoldingRegisters(int slave, int firstRegister, int count);
    SendOutcome writeMultipleRegisters(int slave, int firstRegister, int count,
                                       const qint32* values);

    // A request is waiting for the line; a new one would be refused. One in
    // flight does not count: the next request queues behind it.
    bool busy() const;
    // A request of the caller's is on the line or waiting for it.
    bool pending() const;
    // The caller no longer wants the result of its request: a waiting request
    // is dropped, one in flight keeps the line until its reply is whole or its
    // time is up, and its result is never signalled.
    void cancel();
    // The port was closed: nothing more will arrive; forget the line.
    void reset();

    // Takes what has arrived and moves the line on against the clock. The
    // driver's arrival handler and the timer call it; tests stepping a manual
    // clock call it directly.
    void service();

signals:
    void finished(const quorva::link::TransactionResult& result);

private:
    struct OnLine
    {
        RequestFrame request;
        qint64 sentAtUs = 0;
        QByteArray received;
        bool wanted = true;
    };

    SendOutcome submit(RequestFrame request);
    bool lineHeld() const;
    void sendNow(RequestFrame request);
    void serviceTransaction();
    void finishTransaction(TransactionResult result);
    void drainWhileSettling();
    void armTimer();
    bool takeQueued(QByteArray& into, int wanted, DriverStatus& status);
    qint64 minimumLineTimeUs(const OnLine& t) const;

    DeviceLink& m_link;
    const LinkClock& m_clock;
    QTimer m_timer;
    std::optional<OnLine> m_onLine;
    std::optional<RequestFrame> m_waiting;
    bool m_settling = false;
    qint64 m_lastActivityUs = 0;
    bool m_inService = false;
};

const char* outcomeName(ReplyOutcome outcome);

} // namespace quorva::link

Q_DECLARE_METATYPE(quorva::link::TransactionResult)
