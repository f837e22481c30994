#include "modbusframe.h"

#include <algorithm>

namespace quorva::link {

quint16 Crc16(const quint8* bytes, int first, int end)
{
    quint16 crc = 0xFFFF;
    for (int i = first; i < end; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool lsb = crc & 1u;
            crc >>= 1;
            if (lsb)
                crc ^= 0xA001;
        }
    }
    return quint16((crc << 8) | (crc >> 8));
}

void AppendCrc(quint8* frame, int length)
{
    const quint16 swapped = Crc16(frame, 0, length);
    frame[length] = quint8(swapped >> 8);
    frame[length + 1] = quint8(swapped & 0xFF);
    frame[length + 2] = 0;
}

void BuildReadRequest(int slave, int function, int firstRegister, int count, quint8* head)
{
    const quint16 start = quint16(firstRegister - 1);
    head[0] = quint8(slave);
    head[1] = quint8(function);
    head[2] = quint8(start >> 8);
    head[3] = quint8(start & 0xFF);
    head[4] = quint8(count >> 8);
    head[5] = quint8(count & 0xFF);
}

int cappedRegisterCount(int count)
{
    return std::min(count, kMaxRegistersPerRequest);
}

RequestFrame buildReadFrame(int slave, int firstRegister, int count)
{
    RequestFrame frame;
    count = cappedRegisterCount(count);
    BuildReadRequest(slave, kReadHoldingRegisters, firstRegister, count, frame.bytes.data());
    AppendCrc(frame.bytes.data(), 6);
    frame.length = 8;
    frame.slave = quint8(slave);
    frame.function = kReadHoldingRegisters;
    frame.startAddress = quint16(firstRegister - 1);
    frame.quantity = quint16(count);
    return frame;
}

RequestFrame buildWriteFrame(int slave, int firstRegister, int count, const qint32* values)
{
    RequestFrame frame;
    count = std::max(0, cappedRegisterCount(count));
    auto& b = frame.bytes;
    BuildReadRequest(slave, kWriteMultipleRegisters, firstRegister, count, b.data());
    b[6] = quint8(2 * count);
    for (int k = 0; k < count; ++k) {
        b[7 + 2 * k] = quint8((values[k] >> 8) & 0xFF);
        b[8 + 2 * k] = quint8(values[k] & 0xFF);
    }
    AppendCrc(b.data(), 7 + 2 * count);
    frame.length = 9 + 2 * count;
    frame.slave = quint8(slave);
    frame.function = kWriteMultipleRegisters;
    frame.startAddress = quint16(firstRegister - 1);
    frame.quantity = quint16(count);
    return frame;
}

int expectedReplyLength(const RequestFrame& request, const quint8* reply, int received)
{
    if (received >= 2 && reply[1] == (request.function | kExceptionFlag))
        return 5;
    if (request.function == kReadHoldingRegisters)
        return 5 + 2 * request.quantity;
    return 8;
}

static quint16 word(const quint8* p)
{
    return quint16((p[0] << 8) | p[1]);
}

ReplyCheck checkReply(const RequestFrame& request, const quint8* reply, int length)
{
    if (length < 5)
        return {ReplyFault::Truncated, 0};
    // The CRC travels low byte first, so the exchanged value reads high-first.
    if (Crc16(reply, 0, length - 2) != word(reply + length - 2))
        return {ReplyFault::BadCrc, 0};
    if (reply[0] != request.slave)
        return {ReplyFault::WrongSlave, 0};
    if (reply[1] == (request.function | kExceptionFlag))
        return length == 5 ? ReplyCheck{ReplyFault::Exception, reply[2]}
                           : ReplyCheck{ReplyFault::BadByteCount, 0};
    if (reply[1] != request.function)
        return {ReplyFault::WrongFunction, 0};
    if (request.function == kReadHoldingRegisters) {
        if (reply[2] != 2 * request.quantity || length != 5 + 2 * request.quantity)
            return {ReplyFault::BadByteCount, 0};
        return {};
    }
    if (length != 8 || word(reply + 2) != request.startAddress ||
        word(reply + 4) != request.quantity)
        return {ReplyFault::BadEcho, 0};
    return {};
}

const char* faultName(ReplyFault fault)
{
    switch (fault) {
    case ReplyFault::None:
        return "none";
    case ReplyFault::Truncated:
        return "truncated";
    case ReplyFault::BadCrc:
        return "bad-crc";
    case ReplyFault::WrongSlave:
        return "wrong-slave";
    case ReplyFault::WrongFunction:
        return "wrong-function";
    case ReplyFault::BadByteCount:
        return "bad-byte-count";
    case ReplyFault::BadEcho:
        return "bad-echo";
    case ReplyFault::Exception:
        return "exception";
    }
    return "unknown";
}

} // namespace quorva::link
