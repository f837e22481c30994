#pragma once

#include "link/devicelink.h"
#include "link/linkclock.h"
#include "link/modbusmaster.h"
#include "sim/virtualtransmitter.h"
#include "transmitter/registermap.h"

#include <QString>
#include <functional>
#include <memory>

namespace quorva::cli {

// Which device a command talks to: a named port, the built-in virtual
// transmitter, or (neither given) device index 0 as the window opens it.
struct LinkChoice
{
    QString port;
    bool simulate = false;
};

// The link, master and driver for one command, with transactions run to
// completion on a local event loop: a command line may wait for its device.
class CliLink
{
public:
    explicit CliLink(const LinkChoice& choice);
    ~CliLink();

    bool open(QString* error);
    bool readImage(transmitter::RegisterImage& image, QString* error);
    // True when the device confirmed the write with a matching echo.
    bool writeImage(const transmitter::WriteImage& image, QString* error);
    sim::VirtualTransmitter* simulator() { return m_simulator; }

private:
    link::TransactionResult transact(const std::function<link::SendOutcome()>& send,
                                     QString* error);

    link::SteadyClock m_clock;
    std::unique_ptr<link::SerialDriver> m_driver;
    sim::VirtualTransmitter* m_simulator = nullptr;
    std::unique_ptr<link::DeviceLink> m_link;
    std::unique_ptr<link::ModbusMaster> m_master;
    QString m_portForErrors;
};

} // namespace quorva::cli
