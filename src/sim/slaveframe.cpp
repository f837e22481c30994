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
