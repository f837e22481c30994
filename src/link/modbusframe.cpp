#include "modbusframe.h"

#include <algorithm>

namespace quorva::link {

namespace {
const quint8* data(const QByteArray& bytes)
{
    return reinterpret_cast<const quint8*>(bytes.constData());
}

// 16-bit fields travel high byte first.
quint16 wordAt(const QByteArray& bytes, qsizetype at)
{
    return quint16((quint8(bytes[at]) << 8) | quint8(bytes[at + 1]));
}

void appendWord(QByteArray& frame, quint16 word)
{
    frame.append(char(word >> 8));
    frame.append(char(word & 0xFF));
}

RequestFrame requestHead(int slave, quint8 function, int firstRegister, int count)
{
    RequestFrame request;
    request.slave = quint8(slave);
    request.function = function;
    request.startAddress = quint16(firstRegister - 1);
    request.quantity = quint16(std::max(0, cappedRegisterCount(count)));
    request.bytes.append(char(request.slave));
    request.bytes.append(char(function));
    appendWord(request.bytes, request.startAddress);
    appendWord(request.bytes, request.quantity);
    return request;
}
} // namespace

quint16 crc16(const quint8* bytes, qsizetype length)
{
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool lsb = crc & 1u;
            crc >>= 1;
            if (lsb)
                crc ^= 0xA001;
        }
    }
    return crc;
}

quint16 crc16(const QByteArray& bytes)
{
    return crc16(data(bytes), bytes.size());
}

void appendCrc(QByteArray& frame)
{
    const quint16 crc = crc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

bool hasValidCrc(const QByteArray& frame)
{
    if (frame.size() < 3)
        return false;
    const qsizetype body = frame.size() - 2;
    const quint16 carried = quint16(quint8(frame[body]) | (quint8(frame[body + 1]) << 8));
    return crc16(data(frame), body) == carried;
}

int cappedRegisterCount(int count)
{
    return std::min(count, kMaxRegistersPerRequest);
}

RequestFrame buildReadRequest(int slave, int firstRegister, int count)
{
    RequestFrame request = requestHead(slave, kReadHoldingRegisters, firstRegister, count);
    appendCrc(request.bytes);
    return request;
}

RequestFrame buildWriteRequest(int slave, int firstRegister, int count, const qint32* values)
{
    RequestFrame request = requestHead(slave, kWriteMultipleRegisters, firstRegister, count);
    request.bytes.append(char(2 * request.quantity));
    for (int k = 0; k < request.quantity; ++k)
        appendWord(request.bytes, quint16(quint32(values[k]) & 0xFFFFu));
    appendCrc(request.bytes);
    return request;
}

int expectedReplyLength(const RequestFrame& request, const QByteArray& received)
{
    if (received.size() >= 2 && quint8(received[1]) == (request.function | kExceptionFlag))
        return kExceptionReplyLength;
    if (request.function == kReadHoldingRegisters)
        return kReadReplyOverhead + 2 * request.quantity;
    return kWriteEchoLength;
}

int announcedReplyLength(const QByteArray& head)
{
    if (head.size() < 2)
        return 0;
    const quint8 function = quint8(head[1]);
    if (function == (kReadHoldingRegisters | kExceptionFlag) ||
        function == (kWriteMultipleRegisters | kExceptionFlag))
        return kExceptionReplyLength;
    if (function == kWriteMultipleRegisters)
        return kWriteEchoLength;
    if (function == kReadHoldingRegisters && head.size() > 2)
        return kReadReplyOverhead + quint8(head[2]);
    return 0;
}

ParsedReply parseReply(const RequestFrame& request, const QByteArray& reply)
{
    ParsedReply parsed;
    auto fail = [&parsed](ReplyFault fault) {
        parsed.fault = fault;
        return parsed;
    };
    if (reply.size() < kExceptionReplyLength)
        return fail(ReplyFault::Truncated);
    if (!hasValidCrc(reply))
        return fail(ReplyFault::BadCrc);
    if (quint8(reply[0]) != request.slave)
        return fail(ReplyFault::WrongSlave);
    const quint8 function = quint8(reply[1]);
    if (function == (request.function | kExceptionFlag)) {
        if (reply.size() != kExceptionReplyLength)
            return fail(ReplyFault::BadByteCount);
        parsed.exceptionCode = quint8(reply[2]);
        return fail(ReplyFault::Exception);
    }
    if (function != request.function)
        return fail(ReplyFault::WrongFunction);
    if (request.function == kReadHoldingRegisters) {
        // The byte count must announce exactly the words asked for, and the
        // frame must hold exactly that many: nothing else is decoded.
        if (quint8(reply[2]) != 2 * request.quantity ||
            reply.size() != kReadReplyOverhead + 2 * request.quantity)
            return fail(ReplyFault::BadByteCount);
        parsed.words.reserve(request.quantity);
        for (int k = 0; k < request.quantity; ++k)
            parsed.words.push_back(wordAt(reply, 3 + 2 * k));
        return parsed;
    }
    if (reply.size() != kWriteEchoLength || wordAt(reply, 2) != request.startAddress ||
        wordAt(reply, 4) != request.quantity)
        return fail(ReplyFault::BadEcho);
    parsed.echoStart = wordAt(reply, 2);
    parsed.echoQuantity = wordAt(reply, 4);
    return parsed;
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
