#pragma once

#include "link/modbusmaster.h"
#include "transmitter/registermap.h"

#include <QObject>
#include <vector>

// A configuration write from its request to the comparison of what the device
// read back, on the master's signals: the window and the command line send
// the same way and are told the same outcome.
namespace quorva::transmitter {

enum class WriteOutcome {
    Confirmed,       // echoed, and read back as it was sent
    EchoFailed,      // no matching echo: see the write's result (it may never have gone out)
    ReadBackFailed,  // echoed, but the read-back brought no reading
    ReadBackDiffers, // echoed, and read back otherwise: see the differences
};

// A configuration register that read back otherwise than it was written.
struct WriteDifference
{
    int slot = 0;
    qint32 written = 0; // as the word sent reads back
    qint32 read = 0;
};

struct WriteReport
{
    WriteOutcome outcome = WriteOutcome::EchoFailed;
    // The transaction that decided the outcome: the write's until it was
    // echoed, then the read-back's.
    link::TransactionResult result;
    RegisterImage readBack{};                 // once read back
    std::vector<WriteDifference> differences; // in slot order

    // The request went out on the line (a refused send, or a line that never
    // came free, sent nothing), so the device may have taken it.
    bool sent() const;
    bool echoed() const { return outcome != WriteOutcome::EchoFailed; }
};

// Writes an image (function 16, registers 1 to 11), awaits its echo, reads the
// registers back and compares the six configuration registers. An echo says
// the request arrived, not that the device kept it: only the read-back
// confirms. One write at a time; `finished` is emitted once per start.
class ConfigurationWrite : public QObject
{
    Q_OBJECT

public:
    enum class Step { Idle, AwaitingEcho, ReadingBack };

    explicit ConfigurationWrite(link::ModbusMaster& master, QObject* parent = nullptr);

    // False when a write is under way or the master already has a request
    // waiting: nothing is sent, nothing reported. A write the driver refuses
    // at once is reported before this returns, active() false again.
    bool start(const WriteImage& image);
    // Drops the write while it waits for the line, or the read-back: nothing
    // more goes out for it and nothing is reported. A request on the line
    // keeps it until its reply is whole or its time is up.
    void cancel();
    Step step() const { return m_step; }
    bool active() const { return m_step != Step::Idle; }

signals:
    // The write's request has gone on the line (it may have waited for it).
    void writeSent();
    // The echo matched; the read-back goes out after this returns, unless a
    // receiver cancels.
    void echoed(const quorva::link::TransactionResult& echo);
    void finished(const quorva::transmitter::WriteReport& report);

private:
    void take(const link::TransactionResult& result);
    void finish(WriteOutcome outcome, const link::TransactionResult& result);

    link::ModbusMaster& m_master;
    QMetaObject::Connection m_connection;
    QMetaObject::Connection m_sentConnection;
    WriteImage m_image{};
    Step m_step = Step::Idle;
    WriteReport m_report;
};

} // namespace quorva::transmitter
