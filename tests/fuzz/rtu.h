#pragma once

// Modbus RTU as the fuzz targets judge it, written here from the protocol's
// rules rather than taken from the code under test: the CRC bit by bit, and
// what makes a frame a valid reply of slave 1 to a request.
#include <QByteArray>
#include <QtGlobal>

namespace rtu {

// A finding: libFuzzer reports the trap with the input that caused it.
inline void require(bool holds)
{
    if (!holds)
        __builtin_trap();
}

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF.
inline quint16 crc(const QByteArray& bytes, qsizetype length)
{
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= quint8(bytes[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// Whether the first `length` bytes end in the CRC of those before, low byte first.
inline bool framed(const QByteArray& bytes, qsizetype length)
{
    if (length < 4 || bytes.size() < length)
        return false;
    return crc(bytes, length - 2) ==
           (quint8(bytes[length - 2]) | quint16(quint8(bytes[length - 1]) << 8));
}

inline QByteArray sealed(QByteArray frame)
{
    const quint16 c = crc(frame, frame.size());
    return frame.append(char(c & 0xFF)).append(char(c >> 8));
}

// 16-bit fields travel high byte first.
inline quint16 word(const QByteArray& bytes, qsizetype at)
{
    return quint16(quint8(bytes[at]) << 8 | quint8(bytes[at + 1]));
}

enum class Verdict { Invalid, Answer, Exception };

// What the bytes at the start of `reply` are to a request of slave 1 with this
// function, start address and quantity: an exception is five bytes with the
// function's high bit set; a read's answer has byte count 2N and 5 + 2N bytes;
// a write's is eight bytes echoing the start and quantity.
inline Verdict judge(quint8 function, quint16 start, quint16 quantity, const QByteArray& reply)
{
    if (reply.size() < 3 || quint8(reply[0]) != 1)
        return Verdict::Invalid;
    const quint8 answered = quint8(reply[1]);
    if (answered == (function | 0x80))
        return framed(reply, 5) ? Verdict::Exception : Verdict::Invalid;
    const bool read =
        function == 3 && quint8(reply[2]) == 2 * quantity && framed(reply, 5 + 2 * quantity);
    const bool write =
        function == 16 && framed(reply, 8) && word(reply, 2) == start && word(reply, 4) == quantity;
    return answered == function && (read || write) ? Verdict::Answer : Verdict::Invalid;
}

} // namespace rtu
