#pragma once

#include "link/devicelink.h"
#include "link/driver.h"
#include "link/linkclock.h"
#include "link/modbusmaster.h"

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace quorva::link {

// A driver chosen at run time (a port's, or the virtual transmitter's).
using ChosenDriver = std::unique_ptr<SerialDriver>;

// The master on a line: a clock, a driver, the link over the driver and the
// master over the link, built in that order and torn down in reverse, so
// that nothing outlives what it talks through. The programs, the tools and
// the benchmarks run on a SteadyClock; tests step a ManualClock.
//
// The driver is built from the constructor's arguments: with the clock first
// when it reads one (the virtual transmitter), or alone (a port's name); a
// ChosenDriver from a function given the clock.
template <typename Driver, typename Clock = SteadyClock> struct MasterOnLine
{
    template <typename... Args>
    explicit MasterOnLine(Args&&... args) : driver(makeDriver(clock, std::forward<Args>(args)...))
    {}

    Clock clock;
    Driver driver;
    DeviceLink link{lineOf(driver)};
    ModbusMaster master{link, clock};

private:
    template <typename... Args> static Driver makeDriver(const Clock& clock, Args&&... args)
    {
        if constexpr (std::is_invocable_r_v<Driver, Args..., const Clock&>)
            return std::invoke(std::forward<Args>(args)..., clock);
        else if constexpr (std::is_constructible_v<Driver, const Clock&, Args...>)
            return Driver(clock, std::forward<Args>(args)...);
        else
            return Driver(std::forward<Args>(args)...);
    }
    static SerialDriver& lineOf(SerialDriver& driver) { return driver; }
    static SerialDriver& lineOf(const ChosenDriver& driver) { return *driver; }
};

} // namespace quorva::link
