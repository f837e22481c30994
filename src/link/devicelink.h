#pragma once

#include "link/driver.h"

namespace quorva::link {

// The one connection to the cable: the driver handle and the line settings
// applied at connect. The statuses of writes and reads reach the callers
// through the master's results.
class DeviceLink
{
public:
    static constexpr quint32 kReadTimeoutMs = 10;
    static constexpr quint32 kWriteTimeoutMs = 1;
    static constexpr quint32 kBaudRate = 9600;
    // One character of 10 bits (start, 8 data, stop) on the line.
    static constexpr qint64 kByteTimeUs = (10 * 1'000'000 + kBaudRate - 1) / kBaudRate;

    explicit DeviceLink(SerialDriver& driver) : m_driver(driver) {}

    SerialDriver& driver() const { return m_driver; }
    DriverHandle handle() const { return m_handle; }
    bool isOpen() const { return m_open; }

    // Opens device 0 and applies the line settings (9600 baud, 8N1, the
    // timeouts, both queues purged). Returns the open's status; the settings'
    // statuses are not examined.
    DriverStatus open();
    // Closes the handle if it is open, so that the next connect can open the
    // same (exclusively held) port again.
    void close();

private:
    SerialDriver& m_driver;
    DriverHandle m_handle = 0;
    bool m_open = false;
};

} // namespace quorva::link
