#pragma once

#include "link/devicelink.h"
#include "link/linkclock.h"
#include "link/modbusframe.h"

#include <QObject>
#include <QTimer>

namespace quorva::link {

enum class SendOutcome {
    Sent,       // the driver took the request; a reply is awaited
    SendFailed, // the driver refused the write; LinkStatus holds its status
    Busy,       // another transaction is in flight; nothing was sent
};

enum class ReplyOutcome {
    Reply,      // a complete, valid reply to the request
    NoReply,    // nothing arrived within the response timeout
    BadReply,   // bytes arrived, but not a valid reply (see fault)
    Exception,  // the slave answered with a Modbus exception
    ReadFailed, // the driver refused a read; LinkStatus holds its status
};

struct TransactionResult
{
    quint8 function = 0;
    ReplyOutcome outcome = ReplyOutcome::NoReply;
    ReplyFault fault = ReplyFault::None;
    int exceptionCode = 0;
    int bytesReceived = 0; // how many reply bytes were taken from the driver
    int length = 0;        // the accepted reply's length, CRC included; 0 unless Reply
    std::array<quint8, kReplyBufferSize> bytes{};
};

// One Modbus transaction at a time over the DeviceLink. A request is sent at
// once; the reply is collected from the event loop, by a short timer that
// checks the driver's receive-queue count, and the outcome is signalled.
// The caller's thread never waits for the line.
class ModbusMaster : public QObject
{
    Q_OBJECT

public:
    // Below the one-second poll interval, and generous for a slow device: at
    // 9600 baud the 37-register reply alone takes about 82 ms on the line.
    static constexpr int kResponseTimeoutMs = 800;
    static constexpr int kServiceIntervalMs = 2;

    ModbusMaster(DeviceLink& link, const LinkClock& clock, QObject* parent = nullptr);

    SendOutcome readHoldingRegisters(int slave, int firstRegister, int count);
    SendOutcome writeMultipleRegisters(int slave, int firstRegister, int count,
                                       const qint32* values);

    bool busy() const { return m_inFlight; }
    quint8 functionInFlight() const { return m_inFlight ? m_request.function : 0; }
    const RequestFrame& lastRequest() const { return m_request; }
    // Drops the transaction in flight; its reply is discarded unseen.
    void cancel();
    // Takes what the driver has queued and completes the transaction when the
    // reply is whole or the timeout has passed. Driven by a timer; tests with
    // a manual clock call it directly.
    void service();

signals:
    void finished(const quorva::link::TransactionResult& result);

private:
    SendOutcome send(const RequestFrame& request);
    void complete(ReplyOutcome outcome, ReplyCheck check = {});
    void completeFromReceived();
    bool takeQueuedBytes(quint32 available);

    DeviceLink& m_link;
    const LinkClock& m_clock;
    QTimer m_serviceTimer;
    RequestFrame m_request;
    TransactionResult m_result;
    bool m_inFlight = false;
    qint64 m_sentAtUs = 0;
};

} // namespace quorva::link

Q_DECLARE_METATYPE(quorva::link::TransactionResult)
