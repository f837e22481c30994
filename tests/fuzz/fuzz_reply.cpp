// libFuzzer target over one transaction: the input is what arrives after a
// read of N registers or the configuration write, in chunks, taken by the
// real master over a scripted driver. The target judges those bytes itself by
// the Modbus RTU rules (rtu.h), the request's own echo before them dropped,
// and traps when the master disagrees: a reply is
// accepted exactly when it is valid, an exception reported exactly when it is
// one, and an accepted reading carries exactly the words of the input.
#include "application.h"
#include "rtu.h"
#include "scripteddriver.h"
#include "transmitter/reading.h"

#include <optional>

using namespace quorva::link;
using rtu::require;

extern "C" int LLVMFuzzerTestOneInput(const quint8* data, size_t size)
{
    if (size < 2)
        return 0;
    // Byte 0: write or read, paced line or pseudo-terminal, bytes per
    // millisecond; byte 1: how many registers a read asks for, and whether
    // the target seals the rest with its CRC, so that the checks behind the
    // CRC are reached.
    const bool isWrite = data[0] & 1;
    const bool paced = data[0] & 2;
    const int chunk = 1 + (data[0] >> 2);
    const int count = 1 + (data[1] & 0x7F) % kMaxRegistersPerRequest;
    QByteArray reply(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    if (data[1] & 0x80)
        reply = rtu::sealed(reply);

    ScriptedLine line(paced);
    auto& [clock, driver, link, master] = line;
    std::optional<TransactionResult> result;
    QObject::connect(&master, &ModbusMaster::finished,
                     [&result](const TransactionResult& r) { result = r; });
    static constexpr std::array<qint32, 11> kValues{0, 0, 1, 2, 3, 0, 0, 0, 0, 0, 6500};
    require((isWrite ? master.writeMultipleRegisters(1, 1, 11, kValues.data())
                     : master.readHoldingRegisters(1, 1, count)) == SendOutcome::Sent);

    // On a paced line the bytes start after the least time the request and the
    // longest reply take there; the bytes a reply needs arrive well before the
    // response timeout. The arrival handler takes each chunk as it lands.
    const qint64 startUs = paced ? 250'000 : 0;
    for (qsizetype at = 0; at < reply.size() && !result; at += chunk) {
        const qint64 arrivesUs = startUs + at / chunk * 1000;
        if (arrivesUs >= ModbusMaster::kDefaultResponseTimeoutMs * 1000)
            break;
        driver.arriveAt(arrivesUs, reply.mid(at, chunk));
        clock.advanceUs(arrivesUs - clock.nowUs());
        master.service();
    }
    if (!result) {
        clock.advanceUs(ModbusMaster::kDefaultResponseTimeoutMs * 1000 - clock.nowUs());
        master.service();
    }
    require(result.has_value());

    const quint16 quantity = isWrite ? 11 : quint16(count);
    // A converter that hears its own transmission hands the request back
    // before the reply: the master drops that echo (each, if the line
    // repeats it) and judges what follows. The request as pymodbus frames it.
    const QByteArray request = rtu::sealed(
        isWrite ? QByteArray::fromHex("01100000000b1600000000000100020003000000000000000000001964")
                : QByteArray::fromHex("01030000") + char(0) + char(quantity));
    while (reply.startsWith(request))
        reply.remove(0, request.size());
    switch (rtu::judge(isWrite ? 16 : 3, 0, quantity, reply)) {
    case rtu::Verdict::Invalid:
        require(result->outcome ==
                (reply.isEmpty() ? ReplyOutcome::NoReply : ReplyOutcome::BadReply));
        require(result->words.empty());
        break;
    case rtu::Verdict::Exception:
        require(result->outcome == ReplyOutcome::Exception);
        require(result->exceptionCode == quint8(reply[2]));
        break;
    case rtu::Verdict::Answer:
        require(result->outcome == ReplyOutcome::Reply);
        require(result->firstRegister == 1 && result->quantity == quantity);
        if (isWrite)
            break;
        require(result->words.size() == size_t(count));
        for (int k = 0; k < count; ++k)
            require(result->words[size_t(k)] == rtu::word(reply, 3 + 2 * k));
        // Whatever the words, the window's decoding and texts take them.
        quorva::transmitter::describeReading(
            quorva::transmitter::decodeRegisterImage(result->words));
        break;
    }
    return 0;
}
