#include "devicelink.h"

namespace quorva::link {

DriverStatus DeviceLink::open()
{
    DriverHandle handle = 0;
    LinkStatus = m_driver.open(0, &handle);
    if (LinkStatus != DriverStatusCode::Ok)
        return LinkStatus;
    DeviceHandle = handle;
    m_handleOpen = true;
    m_driver.setDataCharacteristics(DeviceHandle, kBits8, kStopBits1, kParityNone);
    m_driver.setBaudRate(DeviceHandle, kBaudRate);
    m_driver.setTimeouts(DeviceHandle, kReadTimeoutMs, kWriteTimeoutMs);
    m_driver.purge(DeviceHandle, kPurgeRx | kPurgeTx);
    return LinkStatus;
}

void DeviceLink::close()
{
    if (m_handleOpen)
        m_driver.close(DeviceHandle);
    m_handleOpen = false;
    Connected = 0;
}

void DeviceLink::releaseAfterFailure()
{
    close();
}

} // namespace quorva::link
