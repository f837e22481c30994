// libFuzzer target over the reply path: arbitrary bytes in the receive queue,
// taken by the master's receive and validation, decoded into the register
// image and the texts the window shows. It checks what must hold whatever
// arrives: only a valid frame is accepted, and a decoded value is the word
// that stood in the reply.
#include "link/devicelink.h"
#include "link/linkclock.h"
#include "link/modbusmaster.h"
#include "transmitter/reading.h"

#include <QCoreApplication>
#include <cstdlib>
#include <optional>
#include <vector>

using namespace quorva;

namespace {

// A driver whose receive queue fills with the fuzzer's bytes, a chunk per
// millisecond, after the request is written.
class ScriptedDriver final : public link::SerialDriver
{
public:
    ScriptedDriver(const link::ManualClock& clock, const quint8* data, size_t size, int chunk)
        : m_clock(clock), m_data(data, data + size), m_chunk(std::max(1, chunk))
    {}
    link::DriverStatus open(int, link::DriverHandle* h) override
    {
        *h = 1;
        return 0;
    }
    link::DriverStatus close(link::DriverHandle) override { return 0; }
    link::DriverStatus read(link::DriverHandle, quint8* buffer, quint32 n, quint32* got) override
    {
        const quint32 take = std::min<quint32>(n, arrived() - m_taken);
        std::copy_n(m_data.begin() + m_taken, take, buffer);
        m_taken += take;
        *got = take;
        return 0;
    }
    link::DriverStatus write(link::DriverHandle, const quint8*, quint32 n, quint32* w) override
    {
        m_writtenAtUs = m_clock.nowUs();
        *w = n;
        return 0;
    }
    link::DriverStatus setBaudRate(link::DriverHandle, quint32) override { return 0; }
    link::DriverStatus setDataCharacteristics(link::DriverHandle, quint8, quint8, quint8) override
    {
        return 0;
    }
    link::DriverStatus purge(link::DriverHandle, quint32) override { return 0; }
    link::DriverStatus setTimeouts(link::DriverHandle, quint32, quint32) override { return 0; }
    link::DriverStatus getStatus(link::DriverHandle, quint32* rx, quint32* tx, quint32* ev) override
    {
        // The queue may report more than a read can take: the link must bound it.
        *rx = arrived() - m_taken + (m_data.size() > 700 ? 4096 : 0);
        *tx = 0;
        *ev = 0;
        return 0;
    }

private:
    quint32 arrived() const
    {
        const qint64 ms = (m_clock.nowUs() - m_writtenAtUs) / 1000;
        return quint32(std::min<qint64>(qint64(m_data.size()), ms * m_chunk));
    }
    const link::ManualClock& m_clock;
    std::vector<quint8> m_data;
    int m_chunk;
    quint32 m_taken = 0;
    qint64 m_writtenAtUs = 0;
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const quint8* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte chooses the request and the pace the bytes arrive at.
    const bool isWrite = data[0] & 1;
    const int chunk = 1 + (data[0] >> 1) % 64;
    link::ManualClock clock;
    ScriptedDriver driver(clock, data + 1, size - 1, chunk);
    link::DeviceLink deviceLink(driver);
    deviceLink.open();
    link::ModbusMaster master(deviceLink, clock);
    std::optional<link::TransactionResult> result;
    QObject::connect(&master, &link::ModbusMaster::finished,
                     [&result](const link::TransactionResult& r) { result = r; });

    transmitter::WriteImage values{};
    const link::SendOutcome sent = isWrite ? master.writeMultipleRegisters(1, 1, 11, values.data())
                                           : master.readHoldingRegisters(1, 1, 37);
    require(sent == link::SendOutcome::Sent);
    for (int ms = 0; ms < 2 * link::ModbusMaster::kResponseTimeoutMs && !result; ++ms) {
        clock.advanceMs(1);
        master.service();
    }
    require(result.has_value());
    require(result->bytesReceived >= 0 && result->bytesReceived <= link::kReplyBufferSize);
    require(size_t(result->bytesReceived) <= size - 1);
    if (result->outcome != link::ReplyOutcome::Reply) {
        require(result->length == 0);
        return 0;
    }
    require(link::checkReply(master.lastRequest(), result->bytes.data(), result->length).ok());
    if (isWrite)
        return 0;
    require(result->length == 79);
    const transmitter::RegisterImage image =
        transmitter::decodeRegisterImage(result->bytes.data(), result->length - 2);
    for (int k = 0; k < 37; ++k) {
        const quint16 word = quint16((data[1 + 3 + 2 * k] << 8) | data[1 + 4 + 2 * k]);
        require(image[size_t(k)] == transmitter::wordToValue(word));
    }
    for (int k = 37; k < transmitter::kRegisterImageSlots; ++k)
        require(image[size_t(k)] == 0);
    const transmitter::ReadingReport report = transmitter::describeReading(image);
    require(!report.measured.value.isEmpty() && !report.rangeLower.isEmpty());
    return 0;
}
