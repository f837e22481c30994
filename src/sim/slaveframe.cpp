#include "slaveframe.h"

#include "link/modbusframe.h"

namespace quorva::sim {

namespace {
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

void replaceCrc(QByteArray& frame)
{
    frame.chop(2);
    link::appendCrc(frame);
}

// The length of the request at the buffer's start, if its head tells it.
qsizetype requestLength(const QByteArray& b)
{
    if (b.size() < 2)
        return 0;
    if (quint8(b[1]) == link::kWriteMultipleRegisters)
        return b.size() < 7 ? 0 : 9 + quint8(b[6]);
    return 8; // function 3 and every other request this slave meets
}

QByteArray replyFrame(const ModelRequest& request, const ModelReply& reply)
{
    QByteArray frame;
    frame.append(char(kSlaveAddress));
    if (reply.kind == ModelReply::Kind::Exception) {
        frame.append(char(request.function | link::kExceptionFlag));
        frame.append(char(reply.exceptionCode));
    } else if (request.function == link::kReadHoldingRegisters) {
        frame.append(char(request.function));
        frame.append(char(2 * reply.words.size()));
        for (quint16 word : reply.words)
            appendWord(frame, word);
    } else { // a write is confirmed by echoing its start address and quantity
        frame.append(char(request.function));
        appendWord(frame, quint16(request.firstRegister - 1));
        appendWord(frame, quint16(request.quantity));
    }
    link::appendCrc(frame);
    return frame;
}

// The reply as the fault spoils it on the line, split into the bursts that
// leave one after the other.
std::vector<QByteArray> spoil(QByteArray reply, Fault fault)
{
    switch (fault) {
    case Fault::BadCrc:
        reply[reply.size() - 1] = char(reply.back() ^ 0x5A);
        break;
    case Fault::OtherSlave:
        reply[0] = char(kSlaveAddress + 1);
        replaceCrc(reply);
        break;
    case Fault::WrongFunction:
        reply[1] =
            char(quint8(reply[1]) == link::kReadHoldingRegisters ? 4 : link::kReadHoldingRegisters);
        replaceCrc(reply);
        break;
    case Fault::WrongByteCount:
        if (quint8(reply[1]) == link::kReadHoldingRegisters && reply.size() > 7) {
            reply.remove(reply.size() - 4, 2);
            reply[2] = char(quint8(reply[2]) - 2);
            replaceCrc(reply);
        }
        break;
    case Fault::TruncatedReply:
        reply.truncate(reply.size() / 2);
        break;
    case Fault::NoiseBeforeReply:
        return {QByteArray::fromHex("FF0055"), reply};
    case Fault::Flood:
        return {QByteArray(kFloodBytes, char(0xAA)), reply};
    case Fault::DoubleReply:
        return {reply, reply};
    default:
        break;
    }
    return {reply};
}
} // namespace

std::vector<QByteArray> takeRequestFrames(QByteArray& buffer)
{
    std::vector<QByteArray> frames;
    for (;;) {
        const qsizetype length = requestLength(buffer);
        if (length == 0 || buffer.size() < length)
            return frames;
        QByteArray frame = buffer.left(length);
        if (!link::hasValidCrc(frame)) {
            // Not a frame at this byte: slide on and look again.
            buffer.remove(0, 1);
            continue;
        }
        buffer.remove(0, length);
        frames.push_back(std::move(frame));
    }
}

std::optional<ModelRequest> parseRequest(const QByteArray& frame)
{
    // The shortest request, a read, is 8 bytes.
    if (frame.size() < 8 || !link::hasValidCrc(frame) || quint8(frame[0]) != kSlaveAddress)
        return std::nullopt;
    ModelRequest request;
    request.function = quint8(frame[1]);
    request.firstRegister = int(wordAt(frame, 2)) + 1;
    request.quantity = wordAt(frame, 4);
    if (request.function == link::kReadHoldingRegisters) {
        request.wellFormed = frame.size() == 8;
    } else if (request.function == link::kWriteMultipleRegisters) {
        const int byteCount = frame.size() > 8 ? quint8(frame[6]) : -1;
        request.wellFormed =
            byteCount == 2 * request.quantity && frame.size() == 9 + 2 * request.quantity;
        if (request.wellFormed) {
            for (int k = 0; k < request.quantity; ++k)
                request.values.push_back(wordAt(frame, 7 + 2 * k));
        }
    }
    return request;
}

std::vector<QByteArray> answerFrame(TransmitterModel& model, const QByteArray& request, qint64 atUs,
                                    const FaultSetting& fault)
{
    const std::optional<ModelRequest> parsed = parseRequest(request);
    if (!parsed)
        return {};
    const ModelReply reply = model.answer(*parsed, atUs, fault);
    if (reply.kind == ModelReply::Kind::Silence)
        return {};
    return spoil(replyFrame(*parsed, reply), fault.fault);
}

} // namespace quorva::sim
