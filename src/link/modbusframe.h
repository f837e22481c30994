#pragma once

#include <QtGlobal>
#include <array>

// Modbus RTU framing as pure functions: requests are built into fixed
// buffers, replies are checked against the request they answer. No I/O here.
namespace quorva::link {

constexpr int kMaxRegistersPerRequest = 100;
constexpr int kReplyBufferSize = 1024;
constexpr quint8 kReadHoldingRegisters = 3;
constexpr quint8 kWriteMultipleRegisters = 16;
constexpr quint8 kExceptionFlag = 0x80;
// Header, two CRC bytes and the spare byte that AppendCrc zeroes.
constexpr int kRequestBufferSize = 7 + 2 * kMaxRegistersPerRequest + 3;

// CRC-16/MODBUS of bytes[first, end) with its two bytes exchanged: the CRC's
// low byte in bits 8 to 15. An empty range gives 0xFFFF.
quint16 Crc16(const quint8* bytes, int first, int end);

// Stores the CRC after frame[0, length), low byte first (the CRC travels low
// byte first on the line), followed by a zero byte that is never sent.
void AppendCrc(quint8* frame, int length);

// The six head bytes of a read request: slave, function, start address
// (register number minus one, wrapping below register 1), quantity.
void BuildReadRequest(int slave, int function, int firstRegister, int count, quint8* head);

struct RequestFrame
{
    std::array<quint8, kRequestBufferSize> bytes{};
    int length = 0; // bytes on the wire, CRC included
    quint8 slave = 0;
    quint8 function = 0;
    quint16 startAddress = 0;
    quint16 quantity = 0;
};

int cappedRegisterCount(int count);
RequestFrame buildReadFrame(int slave, int firstRegister, int count);
// values must hold at least the capped count of entries; each is sent as its
// low 16 bits, high byte first.
RequestFrame buildWriteFrame(int slave, int firstRegister, int count, const qint32* values);

enum class ReplyFault {
    None,
    Truncated,
    BadCrc,
    WrongSlave,
    WrongFunction,
    BadByteCount,
    BadEcho,
    Exception,
};

struct ReplyCheck
{
    ReplyFault fault = ReplyFault::None;
    int exceptionCode = 0;
    bool ok() const { return fault == ReplyFault::None; }
};

// The length of a complete reply to the request, judged from the bytes
// received so far: an exception reply is known from its second byte.
int expectedReplyLength(const RequestFrame& request, const quint8* reply, int received);

// Checks a reply of exactly `length` bytes against the request it answers.
ReplyCheck checkReply(const RequestFrame& request, const quint8* reply, int length);

const char* faultName(ReplyFault fault);

} // namespace quorva::link
