#include "devicelink.h"

namespace quorva::link {

DriverStatus DeviceLink::open()
{
    DriverHandle handle = 0;
    const DriverStatus status = m_driver.open(0, &handle);
    if (status != DriverStatusCode::Ok)
        return status;
    m_handle = handle;
    m_open = true;
    m_driver.setDataCharacteristics(m_handle, kBits8, kStopBits1, kParityNone);
    m_driver.setBaudRate(m_handle, kBaudRate);
    m_driver.setTimeouts(m_handle, kReadTimeoutMs, kWriteTimeoutMs);
    m_driver.purge(m_handle, kPurgeRx | kPurgeTx);
    return status;
}

void DeviceLink::close()
{
    if (m_open)
        m_driver.close(m_handle);
    m_open = false;
}

} // namespace quorva::link
