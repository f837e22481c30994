// libFuzzer target over the pseudo-terminal server's request framing: a byte
// stream arrives in chunks and each chunk's whole requests are taken as the
// server takes them, then answered by the test transmitter. The target traps
// unless every frame taken has a valid CRC and the length its head announces,
// was taken from the stream in order, the buffer stays shorter than the
// longest request, and the answer is a valid reply to the request (rtu.h).
// After a silence, the frames taken are sent again back to back, then a read
// and a write written out here, each behind a stray byte: every one of them
// must come out whole.
#include "rtu.h"
#include "sim/slaveframe.h"

using namespace quorva::sim;
using rtu::require;

namespace {
qsizetype announcedLength(const QByteArray& frame)
{
    return quint8(frame[1]) == 16 ? 9 + quint8(frame[6]) : 8;
}

void checkAnswer(TransmitterModel& model, const QByteArray& request)
{
    // One reply to slave 1, none to another slave's request.
    const std::vector<QByteArray> bursts = answerFrame(model, request, 0, {});
    require(bursts.size() == (quint8(request[0]) == 1 ? 1u : 0u));
    if (bursts.empty())
        return;
    // A valid reply, an exception or an answer, and no byte past it.
    const QByteArray& reply = bursts.front();
    const quint8 function = quint8(request[1]);
    const quint16 quantity = rtu::word(request, 4);
    const rtu::Verdict verdict = rtu::judge(function, rtu::word(request, 2), quantity, reply);
    require(verdict != rtu::Verdict::Invalid);
    require(reply.size() == (verdict == rtu::Verdict::Exception ? 5
                             : function == 3                    ? 5 + 2 * quantity
                                                                : 8));
}

// Feeds the stream in chunks; returns the frames taken, each checked.
std::vector<QByteArray> frame(const QByteArray& stream, int chunk, TransmitterModel& model)
{
    std::vector<QByteArray> taken;
    QByteArray buffer;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        buffer += stream.mid(at, chunk);
        const QByteArray before = buffer;
        const std::vector<QByteArray> frames = takeRequestFrames(buffer);
        require(buffer.size() < kMaxRequestLength && before.endsWith(buffer));
        qsizetype from = 0;
        for (const QByteArray& f : frames) {
            require(f.size() >= 8 && f.size() == announcedLength(f) && rtu::framed(f, f.size()));
            from = before.indexOf(f, from);
            require(from >= 0 && from + f.size() <= before.size() - buffer.size());
            from += f.size();
            checkAnswer(model, f);
            taken.push_back(f);
        }
    }
    return taken;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const quint8* data, size_t size)
{
    if (size < 1)
        return 0;
    // Past two of the longest requests a stream adds time, not cases.
    size = std::min<size_t>(size, 1 + 2 * kMaxRequestLength);
    // Byte 0: the chunk size, and whether the rest is raw bytes or frames
    // the target seals with their CRC (a length byte, then the body).
    const int chunk = 1 + data[0] % 32;
    const QByteArray raw(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QByteArray stream;
    if (data[0] & 0x80) {
        for (qsizetype at = 0; at < raw.size(); at += 1 + quint8(raw[at]))
            stream += rtu::sealed(raw.mid(at + 1, quint8(raw[at])));
    } else {
        stream = raw;
    }
    TransmitterModel model;
    std::vector<QByteArray> again = frame(stream, chunk, model);

    // The frames taken, back to back; then a read and a write (as pymodbus
    // frames them), each behind a stray byte.
    stream = QByteArrayList(again.begin(), again.end()).join();
    for (const char* hex :
         {"0103000000258411", "01100000000b160000000000000000000000000000000000000000000060ac"}) {
        stream += '\0' + QByteArray::fromHex(hex);
        again.push_back(QByteArray::fromHex(hex));
    }
    require(frame(stream, chunk, model) == again);
    return 0;
}
