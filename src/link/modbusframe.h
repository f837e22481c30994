#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

// Modbus RTU framing as pure functions over frames that own their bytes:
// requests are built, replies are checked against the request they answer
// and turned into register words. No I/O here.
namespace quorva::link {

constexpr int kMaxRegistersPerRequest = 100;
// The most a reply may hold: a full read of the largest request is 205 bytes.
constexpr int kReplyBufferSize = 1024;
constexpr quint8 kReadHoldingRegisters = 3;
constexpr quint8 kWriteMultipleRegisters = 16;
constexpr quint8 kExceptionFlag = 0x80;
// On the line an exception reply is five bytes, a write's echo eight, a
// read's reply five and the bytes its count announces.
constexpr int kExceptionReplyLength = 5;
constexpr int kWriteEchoLength = 8;
constexpr int kReadReplyOverhead = 5;

// CRC-16/MODBUS (reflected polynomial 0xA001, initial value 0xFFFF, no final
// exclusive-or). The standard's check value: "123456789" gives 0x4B37.
quint16 crc16(const quint8* bytes, qsizetype length);
quint16 crc16(const QByteArray& bytes);

// Appends the CRC of everything in the frame, low byte first (the CRC alone
// travels low byte first on the line).
void appendCrc(QByteArray& frame);
// Whether the frame's last two bytes are the CRC of the bytes before them.
bool hasValidCrc(const QByteArray& frame);

// A request as it goes on the line, CRC included, with the fields a reply is
// checked against.
struct RequestFrame
{
    QByteArray bytes;
    quint8 slave = 0;
    quint8 function = 0;
    quint16 startAddress = 0; // register number minus one
    quint16 quantity = 0;     // after the cap at kMaxRegistersPerRequest

    int firstRegister() const { return int(startAddress) + 1; }
};

int cappedRegisterCount(int count);
// Registers are named by number counting from 1; register 0 wraps to address 0xFFFF.
RequestFrame buildReadRequest(int slave, int firstRegister, int count);
// `values` holds at least the capped count of entries; each is sent as its
// low 16 bits, high byte first.
RequestFrame buildWriteRequest(int slave, int firstRegister, int count, const qint32* values);

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

// What a reply says, once checked against its request.
struct ParsedReply
{
    ReplyFault fault = ReplyFault::None;
    int exceptionCode = 0;
    std::vector<quint16> words; // a read's register words, in register order
    quint16 echoStart = 0;      // a write's confirmed start address and quantity
    quint16 echoQuantity = 0;
    bool ok() const { return fault == ReplyFault::None; }
};

// The length of a complete reply to the request, judged from the bytes
// received so far: an exception reply is known from its second byte.
int expectedReplyLength(const RequestFrame& request, const QByteArray& received);
// The length of the reply that begins with `head`, as its own bytes announce
// it (an exception, a read's byte count, a write's echo), whatever request
// it answers; 0 while they are too few to tell, or name neither function.
int announcedReplyLength(const QByteArray& head);

// Checks a whole reply against the request it answers: CRC, slave, function,
// a read's byte count and length, a write's echoed start and quantity.
ParsedReply parseReply(const RequestFrame& request, const QByteArray& reply);

// Stable English codes, for logs and machine-readable output.
const char* faultName(ReplyFault fault);

} // namespace quorva::link
