#pragma once

// Values the tests share: the virtual transmitter's factory registers and the
// helpers that drive a transaction through simulated time.
#include "link/linkclock.h"
#include "link/modbusmaster.h"
#include "sim/virtualtransmitter.h"

#include <QtTest>
#include <optional>

namespace fixtures {

constexpr quint16 kMeasuredTenths = 235; // 23,5 °C
constexpr quint16 kFirmware = 101;       // 1,01
constexpr quint16 kModelTrvA = 420;
constexpr quint16 kModelTrvC = 10;
constexpr qint16 kRangeLowerTenths = -2000;
constexpr qint16 kRangeUpperTenths = 6500;
// On the wire at 9600 baud: the poll and its 79-byte reply, about 91 ms.
constexpr int kPollLineTimeMs = 91;

// Steps simulated time a millisecond at a time, servicing the master, until
// its transaction completes; returns the outcome, or nothing if it never did.
inline std::optional<quorva::link::TransactionResult>
runToCompletion(quorva::link::ModbusMaster& master, quorva::link::ManualClock& clock,
                int limitMs = 2000)
{
    std::optional<quorva::link::TransactionResult> result;
    auto connection =
        QObject::connect(&master, &quorva::link::ModbusMaster::finished,
                         [&result](const quorva::link::TransactionResult& r) { result = r; });
    for (int ms = 0; ms < limitMs && !result; ++ms) {
        clock.advanceMs(1);
        master.service();
    }
    QObject::disconnect(connection);
    return result;
}

// Waits, on the event loop, for the transaction in flight to finish.
inline quorva::link::TransactionResult awaitResult(quorva::link::ModbusMaster& master,
                                                   int timeoutMs = 3000)
{
    QSignalSpy spy(&master, &quorva::link::ModbusMaster::finished);
    if (!spy.wait(timeoutMs))
        return {};
    return spy.at(0).at(0).value<quorva::link::TransactionResult>();
}

// The transmitter with its temperature held still, so tests can compare it.
inline void holdStill(quorva::sim::VirtualTransmitter& device)
{
    device.setDrift(false);
    device.setRegister(2, kMeasuredTenths);
}

} // namespace fixtures
