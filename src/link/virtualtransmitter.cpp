#include "virtualtransmitter.h"

#include "link/modbusframe.h"

#include <algorithm>
#include <cmath>

namespace quorva::link {

namespace {
constexpr int kMeasuredValueRegister = 2;
constexpr qint16 kBaseTemperatureTenths = 235;
// Registers 1 to 3, 10 and 11 belong to the device: a write leaves them.
constexpr bool isReadOnly(int number)
{
    return number <= 3 || number == 10 || number == 11;
}
constexpr quint8 kIllegalFunction = 1;
constexpr quint8 kIllegalDataAddress = 2;
constexpr quint8 kIllegalDataValue = 3;
} // namespace

VirtualTransmitter::VirtualTransmitter(const LinkClock& clock) : m_clock(clock)
{
    setRegister(2, kBaseTemperatureTenths); // 23,5 °C
    setRegister(4, 0);                      // zero adjustment
    setRegister(5, 0);                      // Pt100
    setRegister(6, quint16(-2000));         // -200 °C
    setRegister(7, 6500);                   // 650 °C
    setRegister(8, 0);                      // sensor error: none
    setRegister(9, 0);                      // rising output
    setRegister(10, 101);                   // firmware 1,01
    setRegister(11, 420);                   // model code
}

namespace {
struct NamedFault
{
    const char* name;
    VirtualTransmitter::Fault fault;
};
constexpr NamedFault kFaultNames[] = {
    {"none", VirtualTransmitter::Fault::None},
    {"no-reply", VirtualTransmitter::Fault::NoReply},
    {"bad-crc", VirtualTransmitter::Fault::BadCrc},
    {"exception", VirtualTransmitter::Fault::ExceptionReply},
    {"other-slave", VirtualTransmitter::Fault::OtherSlave},
    {"wrong-function", VirtualTransmitter::Fault::WrongFunction},
    {"wrong-byte-count", VirtualTransmitter::Fault::WrongByteCount},
    {"truncated", VirtualTransmitter::Fault::TruncatedReply},
    {"noise", VirtualTransmitter::Fault::NoiseBeforeReply},
    {"double-reply", VirtualTransmitter::Fault::DoubleReply},
    {"write-refused", VirtualTransmitter::Fault::WriteRefused},
    {"read-refused", VirtualTransmitter::Fault::ReadRefused},
    {"unplugged", VirtualTransmitter::Fault::Unplugged},
    {"ignore-writes", VirtualTransmitter::Fault::IgnoreWrites},
    {"refuse-writes", VirtualTransmitter::Fault::RefuseWrites},
    {"flood", VirtualTransmitter::Fault::Flood},
};
} // namespace

bool VirtualTransmitter::faultFromName(const QString& name, Fault& fault)
{
    for (const NamedFault& f : kFaultNames) {
        if (name == QLatin1String(f.name)) {
            fault = f.fault;
            return true;
        }
    }
    return false;
}

QStringList VirtualTransmitter::faultNames()
{
    QStringList names;
    for (const NamedFault& f : kFaultNames)
        names << QString::fromLatin1(f.name);
    return names;
}

void VirtualTransmitter::setFault(Fault fault, int exceptionCode)
{
    m_fault = fault;
    m_exceptionCode = exceptionCode;
}

DriverStatus VirtualTransmitter::checkHandle(DriverHandle handle) const
{
    if (m_fault == Fault::Unplugged)
        return DriverStatusCode::IoError;
    if (!m_open || handle != m_handle)
        return DriverStatusCode::InvalidHandle;
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::open(int deviceIndex, DriverHandle* handle)
{
    if (m_fault == Fault::Unplugged || deviceIndex != 0)
        return DriverStatusCode::DeviceNotFound;
    if (m_open) // a serial port is held exclusively
        return DriverStatusCode::DeviceNotOpened;
    m_open = true;
    m_handle = m_nextHandle++;
    m_rxQueue.clear();
    *handle = m_handle;
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::close(DriverHandle handle)
{
    if (!m_open || handle != m_handle)
        return DriverStatusCode::InvalidHandle;
    m_open = false;
    m_rxQueue.clear();
    return DriverStatusCode::Ok;
}

int VirtualTransmitter::arrivedCount() const
{
    const qint64 now = m_clock.nowUs();
    return int(std::find_if(m_rxQueue.begin(), m_rxQueue.end(),
                            [now](const ScheduledByte& b) { return b.arrivesAtUs > now; }) -
               m_rxQueue.begin());
}

DriverStatus VirtualTransmitter::read(DriverHandle handle, quint8* buffer, quint32 bytesToRead,
                                      quint32* bytesReturned)
{
    *bytesReturned = 0;
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    if (m_fault == Fault::ReadRefused)
        return DriverStatusCode::IoError;
    const int n = std::min(arrivedCount(), int(bytesToRead));
    for (int i = 0; i < n; ++i)
        buffer[i] = m_rxQueue[size_t(i)].value;
    m_rxQueue.erase(m_rxQueue.begin(), m_rxQueue.begin() + n);
    *bytesReturned = quint32(n);
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::write(DriverHandle handle, const quint8* buffer,
                                       quint32 bytesToWrite, quint32* bytesWritten)
{
    *bytesWritten = 0;
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    if (m_fault == Fault::WriteRefused)
        return DriverStatusCode::IoError;
    *bytesWritten = bytesToWrite;
    const std::vector<quint8> reply = respond(buffer, int(bytesToWrite));
    // The request crosses the line, the device turns around, then the reply
    // comes a character at a time; it queues behind anything still arriving.
    qint64 t = m_clock.nowUs() + qint64(bytesToWrite) * kByteTimeUs + m_turnaroundUs;
    if (!m_rxQueue.empty())
        t = std::max(t, m_rxQueue.back().arrivesAtUs);
    for (quint8 b : reply) {
        t += kByteTimeUs;
        m_rxQueue.push_back({t, b});
    }
    if (!reply.empty())
        m_lastByteDueUs = t;
    return DriverStatusCode::Ok;
}

std::vector<quint8> VirtualTransmitter::respond(const quint8* request, int length)
{
    m_receivedFrames.emplace_back(request, request + length);
    std::vector<quint8> reply = serve(request, length);
    if (reply.empty())
        return reply;
    switch (m_fault) {
    case Fault::NoReply:
        return {};
    case Fault::BadCrc:
        reply.back() ^= 0x5A;
        break;
    case Fault::OtherSlave:
        reply[0] = kSlaveAddress + 1;
        AppendCrc(reply.data(), int(reply.size()) - 2);
        break;
    case Fault::WrongFunction:
        reply[1] = reply[1] == kReadHoldingRegisters ? 4 : kReadHoldingRegisters;
        AppendCrc(reply.data(), int(reply.size()) - 2);
        break;
    case Fault::WrongByteCount:
        if (reply[1] == kReadHoldingRegisters && reply.size() > 7) {
            reply.erase(reply.end() - 4, reply.end() - 2);
            reply[2] = quint8(reply[2] - 2);
            AppendCrc(reply.data(), int(reply.size()) - 2);
        }
        break;
    case Fault::TruncatedReply:
        reply.resize(reply.size() / 2);
        break;
    case Fault::NoiseBeforeReply:
        reply.insert(reply.begin(), {0xFF, 0x00, 0x55});
        break;
    case Fault::Flood:
        reply.insert(reply.begin(), size_t(kFloodBytes), quint8(0xAA));
        break;
    case Fault::DoubleReply: {
        const std::vector<quint8> copy = reply;
        reply.insert(reply.end(), copy.begin(), copy.end());
        break;
    }
    default:
        break;
    }
    return reply;
}

std::vector<quint8> VirtualTransmitter::exceptionReply(quint8 function, quint8 code) const
{
    std::vector<quint8> reply{kSlaveAddress, quint8(function | kExceptionFlag), code, 0, 0, 0};
    AppendCrc(reply.data(), 3);
    reply.pop_back(); // AppendCrc's spare byte is not sent
    return reply;
}

std::vector<quint8> VirtualTransmitter::serve(const quint8* request, int length)
{
    // A frame that is too short, spoiled, or for another slave gets no answer.
    if (length < 8 ||
        Crc16(request, 0, length - 2) != quint16((request[length - 2] << 8) | request[length - 1]))
        return {};
    if (request[0] != kSlaveAddress)
        return {};
    const quint8 function = request[1];
    if (m_fault == Fault::ExceptionReply)
        return exceptionReply(function, quint8(m_exceptionCode));
    if (m_fault == Fault::RefuseWrites && function == kWriteMultipleRegisters)
        return exceptionReply(function, 4);
    const int start = (request[2] << 8) | request[3];
    const int quantity = (request[4] << 8) | request[5];

    if (function == kReadHoldingRegisters) {
        if (length != 8 || quantity < 1 || quantity > 125)
            return exceptionReply(function, kIllegalDataValue);
        if (start + quantity > kRegisterCount)
            return exceptionReply(function, kIllegalDataAddress);
        updateMeasuredValue();
        std::vector<quint8> reply{kSlaveAddress, function, quint8(2 * quantity)};
        for (int i = 0; i < quantity; ++i) {
            reply.push_back(quint8(m_registers[size_t(start + i)] >> 8));
            reply.push_back(quint8(m_registers[size_t(start + i)] & 0xFF));
        }
        reply.resize(reply.size() + 3);
        AppendCrc(reply.data(), int(reply.size()) - 3);
        reply.pop_back();
        return reply;
    }
    if (function == kWriteMultipleRegisters) {
        if (quantity < 1 || quantity > 123 || request[6] != 2 * quantity ||
            length != 9 + 2 * quantity)
            return exceptionReply(function, kIllegalDataValue);
        if (start + quantity > kRegisterCount)
            return exceptionReply(function, kIllegalDataAddress);
        if (m_fault != Fault::IgnoreWrites) {
            for (int i = 0; i < quantity; ++i) {
                const int number = start + i + 1;
                if (!isReadOnly(number))
                    setRegister(number, quint16((request[7 + 2 * i] << 8) | request[8 + 2 * i]));
            }
        }
        std::vector<quint8> reply(request, request + 6);
        reply.resize(9);
        AppendCrc(reply.data(), 6);
        reply.pop_back();
        return reply;
    }
    return exceptionReply(function, kIllegalFunction);
}

void VirtualTransmitter::updateMeasuredValue()
{
    if (!m_drift)
        return;
    // About ±2 °C over a couple of minutes, plus a tenth of noise.
    const double seconds = double(m_clock.nowUs()) / 1e6;
    const int drift = int(std::lround(20.0 * std::sin(seconds / 20.0)));
    const int noise = int(m_noise() % 3) - 1;
    setRegister(kMeasuredValueRegister, quint16(kBaseTemperatureTenths + drift + noise));
}

DriverStatus VirtualTransmitter::setBaudRate(DriverHandle handle, quint32 baudRate)
{
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    m_baudRate = baudRate;
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::setDataCharacteristics(DriverHandle handle, quint8, quint8, quint8)
{
    return checkHandle(handle);
}

DriverStatus VirtualTransmitter::purge(DriverHandle handle, quint32 mask)
{
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    // Only what has arrived can be purged; bytes still on the line come later.
    if (mask & kPurgeRx)
        m_rxQueue.erase(m_rxQueue.begin(), m_rxQueue.begin() + arrivedCount());
    return DriverStatusCode::Ok;
}

DriverStatus VirtualTransmitter::setTimeouts(DriverHandle handle, quint32, quint32)
{
    return checkHandle(handle);
}

DriverStatus VirtualTransmitter::getStatus(DriverHandle handle, quint32* rxQueued,
                                           quint32* txQueued, quint32* eventStatus)
{
    *rxQueued = 0;
    *txQueued = 0;
    *eventStatus = 0;
    if (const DriverStatus status = checkHandle(handle); status != DriverStatusCode::Ok)
        return status;
    *rxQueued = quint32(arrivedCount());
    return DriverStatusCode::Ok;
}

} // namespace quorva::link
