#pragma once

#include "link/driver.h"

namespace quorva::link {

// The one connection to the cable: the driver handle, the connected flag and
// the status of the last open, write or read, which gates every request.
class DeviceLink
{
public:
    static constexpr quint32 kReadTimeoutMs = 10;
    static constexpr quint32 kWriteTimeoutMs = 1;
    static constexpr quint32 kBaudRate = 9600;

    explicit DeviceLink(SerialDriver& driver) : m_driver(driver) {}

    SerialDriver& driver() const { return m_driver; }

    // Opens device 0 and applies the line settings; LinkStatus takes the
    // open's status, the settings' statuses are not examined.
    DriverStatus open();
    // Closes the handle; LinkStatus is left as it is.
    void close();
    // After a failed write or read: the handle is closed as well, so that the
    // next connect can open the same (exclusively held) port again.
    void releaseAfterFailure();

    DriverHandle DeviceHandle = 0;
    quint8 Connected = 0;
    DriverStatus LinkStatus = DriverStatusCode::Ok;

private:
    SerialDriver& m_driver;
    bool m_handleOpen = false;
};

} // namespace quorva::link
