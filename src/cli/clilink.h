#pragma once

#include "cli/outcome.h"
#include "link/masteronline.h"
#include "sim/virtualtransmitter.h"
#include "transmitter/registermap.h"
#include "transmitter/writeprocedure.h"

#include <QString>
#include <functional>

namespace quorva::cli {

// Which device a command talks to: a named port, the built-in virtual
// transmitter, or (neither given) device index 0 as the window opens it.
struct LinkChoice
{
    QString port;
    bool simulate = false;
    // How long a reply may take; the settle after a failure follows it.
    int timeoutMs = link::ModbusMaster::kDefaultResponseTimeoutMs;
};

// Why a step with the device failed: one Portuguese line for people, the
// outcome (its code for scripts: "port-busy", "no-reply", "bad-reply"...)
// and, for a reply that did not check out, the fault's code ("bad-crc").
struct LinkError
{
    QString message;
    Outcome outcome = Outcome::Ok;
    QString fault;
    // Ctrl-C, SIGTERM or SIGHUP stopped the step (a write, sent or not).
    bool isInterruption() const { return outcome == Outcome::Interrupted; }
};
LinkError interruptedError();

// The link, master and driver for one command, with transactions run to
// completion on a local event loop: a command line may wait for its device.
// A transaction that finds the line gone (a pulled adapter, a closed
// pseudo-terminal) closes the port, so that open() can take it again.
class CliLink
{
public:
    explicit CliLink(const LinkChoice& choice);
    ~CliLink();

    bool open(LinkError* error);
    bool isOpen() const { return m_line.link.isOpen(); }
    bool readImage(transmitter::RegisterImage& image, LinkError* error);
    // The configuration write, to its read-back: true when the device echoed
    // it and read back (`report` tells whether as written). A signal before
    // the request is on the line fails it, sent not at all, as an
    // interruption; once on the line, its outcome is awaited, and a signal
    // then fails the read-back as an interruption (report.echoed()), or the
    // write, its echo not come, as one that was sent (report.sent()).
    bool writeAndReadBack(const transmitter::WriteImage& image, transmitter::WriteReport& report,
                          LinkError* error);
    // The port a record names: the one given or found, or "simulate".
    QString portName() const;
    // The built-in virtual transmitter, which answers for as long as the
    // program runs: it is never unplugged.
    bool isVirtual() const;

private:
    bool transact(const std::function<link::SendOutcome()>& send, link::TransactionResult& result,
                  LinkError* error);
    // Fills `error` for a failed transaction; a line gone lets the port go.
    void describeFailure(const link::TransactionResult& result, bool refused, LinkError* error);
    static void nameReadFailure(LinkError* error);
    static void nameWriteFailure(link::ReplyOutcome outcome, LinkError* error);
    QString lineFailureText() const;

    link::MasterOnLine<link::ChosenDriver> m_line;
};

} // namespace quorva::cli
