// libFuzzer target over whole exchanges: the input scripts up to 64 events in
// simulated time against the real master on a scripted driver: reads and
// writes, the device answering any of the last three requests (whole, in two
// parts, twice, garbled, cut short, after noise, or as an exception), cancels,
// clock steps small and large, refused writes and reads, a hang-up. The
// master's resyncs are requests the device may answer like any other.
//
// The device stays within what the master is built for: it answers a request
// within 1.1 s (one poll late at most), and once a valid copy of its answer is
// whole, more bytes for that request follow within 10 ms on a paced line (an
// adapter's latency) and at once on a pseudo-terminal. Each answer is tagged:
// a reading's words name the request on the line, an exception's code too.
// The target traps unless each request not cancelled gets one result, in
// order; an accepted reading carries the words the device sent for that very
// request; a write or an exception is reported only once the device's answer
// to that write was whole on the line; after a hang-up only failures come.
#include "application.h"
#include "rtu.h"
#include "scripteddriver.h"

#include <deque>
#include <limits>
#include <optional>
#include <set>

using namespace quorva::link;
using rtu::require;

namespace {
constexpr qint64 kMs = 1000;
constexpr qint64 kLatenessUs = 1100 * kMs;
constexpr qint64 kNever = std::numeric_limits<qint64>::max() / 2;
constexpr std::array<int, 4> kReadCounts{1, 2, 11, 37};
constexpr std::array<qint32, 11> kValues{};

// A reading's words name the request they answer; high bytes keep 0x80 set.
quint16 tagWord(int onLine, int k)
{
    return quint16(0x8000 | onLine << 6 | k);
}

struct Received // a request as the device got it
{
    qint64 atUs;
    QByteArray frame;
    std::optional<QByteArray> answer{}; // fixed by its first answer
    qint64 validAtUs = kNever;          // when a valid copy was first whole
    qint64 lastByteUs = 0;
};

struct Submitted
{
    quint8 function;
    int count;
    int onLine = -1; // which received request it went out as
};

class Exchange : public ScriptedLine
{
public:
    explicit Exchange(bool paced) : ScriptedLine(paced)
    {
        driver.slave = [this](const QByteArray& frame, qint64 atUs) {
            // The master's own resync is nobody's submission; the device
            // answers it as any other request.
            if (master.resyncOnLine()) {
                require(quint8(frame[1]) == 3 && rtu::word(frame, 2) == 0 &&
                        rtu::word(frame, 4) <= ModbusMaster::kResyncCounts);
            } else { // only the newest request can be on its way out, and only once
                require(m_writing >= 0 && m_submitted[size_t(m_writing)].onLine < 0);
                require(quint8(frame[1]) == m_submitted[size_t(m_writing)].function);
                m_submitted[size_t(m_writing)].onLine = int(m_received.size());
            }
            m_received.push_back({atUs, frame});
        };
        QObject::connect(&master, &ModbusMaster::finished,
                         [this](const TransactionResult& r) { check(r); });
    }

    void submit(bool write, int count)
    {
        const int id = int(m_submitted.size());
        m_submitted.push_back({quint8(write ? 16 : 3), write ? 11 : count});
        const int before = std::exchange(m_writing, id);
        m_awaiting.push_back(id); // a refused write is signalled within the call
        const SendOutcome sent = write ? master.writeMultipleRegisters(1, 1, 11, kValues.data())
                                       : master.readHoldingRegisters(1, 1, count);
        if (sent == SendOutcome::Busy) {
            m_writing = before;
            m_awaiting.pop_back();
        }
    }

    void cancel()
    {
        master.cancel();
        m_awaiting.clear();
    }

    // The device answers one of its last three requests. `kind`: 0 whole,
    // 1 in two halves, 2 twice in one burst, 3 with its CRC spoiled, 4 its
    // first half only, 5 after three bytes of noise.
    void answer(int back, int kind, bool exception, qint64 delayUs, qint64 gapUs)
    {
        if (int(m_received.size()) <= back)
            return;
        const int w = int(m_received.size()) - 1 - back;
        Received& q = m_received[size_t(w)];
        if (!q.answer)
            q.answer = answerTo(w, q.frame, exception);
        const QByteArray valid = *q.answer;
        const qint64 at = clock.nowUs() + delayUs;
        // Halves, the first alone or followed `gapUs` later; a spoilt CRC or a
        // cut never makes a valid copy.
        QByteArray first = kind == 1 || kind == 4 ? valid.left(valid.size() / 2) : valid, second;
        const qint64 validAt = kind == 3 || kind == 4 ? kNever : kind == 1 ? at + gapUs : at;
        if (kind == 1)
            second = valid.mid(valid.size() / 2);
        else if (kind == 2)
            first += valid;
        else if (kind == 3)
            first[first.size() - 1] = char(first.back() ^ 0x5A);
        else if (kind == 5)
            first.prepend(QByteArray::fromHex("ff0055"));
        // Bytes landing at one instant queue in the order they were sent.
        const qint64 lastUs = second.isEmpty() ? at : at + gapUs;
        const qint64 lagUs = driver.paced ? 10 * kMs : 0;
        if (lastUs > q.atUs + kLatenessUs || lastUs >= q.validAtUs + lagUs ||
            q.lastByteUs >= validAt + std::max<qint64>(lagUs, 1))
            return;
        arrive(at, first);
        if (!second.isEmpty())
            arrive(at + gapUs, second);
        q.lastByteUs = std::max(q.lastByteUs, lastUs);
        q.validAtUs = std::min(q.validAtUs, validAt);
        if (at == clock.nowUs())
            master.service(); // the arrival handler
    }

    // Time passes; the arrival handler runs as bytes land, the timer at the end.
    void advance(qint64 us)
    {
        const qint64 endUs = clock.nowUs() + us;
        for (auto next = m_arrivals.upper_bound(clock.nowUs());
             next != m_arrivals.end() && *next <= endUs;
             next = m_arrivals.upper_bound(clock.nowUs())) {
            clock.advanceUs(*next - clock.nowUs());
            master.service();
        }
        clock.advanceUs(endUs - clock.nowUs());
        master.service();
    }

    void hangUp()
    {
        m_hungUp = true;
        driver.hangUp();
    }

    // Long enough for any request still held or waiting to come to its result.
    void finish()
    {
        for (int i = 0; i < 50; ++i)
            advance(100 * kMs);
        require(m_awaiting.empty() && !master.pending());
    }

private:
    static QByteArray answerTo(int w, const QByteArray& request, bool exception)
    {
        if (exception)
            return rtu::sealed(
                QByteArray(1, char(1)).append(char(0x80 | quint8(request[1]))).append(char(w + 1)));
        if (request[1] == 16)
            return rtu::sealed(request.left(6));
        QByteArray reply = request.left(2);
        const int count = rtu::word(request, 4);
        reply.append(char(2 * count));
        for (int k = 0; k < count; ++k)
            reply.append(char(tagWord(w, k) >> 8)).append(char(tagWord(w, k) & 0xFF));
        return rtu::sealed(reply);
    }

    void arrive(qint64 atUs, const QByteArray& bytes)
    {
        driver.arriveAt(atUs, bytes);
        m_arrivals.insert(atUs);
    }

    void check(const TransactionResult& r)
    {
        require(!m_awaiting.empty());
        const Submitted& s = m_submitted[size_t(m_awaiting.front())];
        m_awaiting.pop_front();
        require(r.function == s.function);
        if (m_hungUp)
            require(r.outcome == ReplyOutcome::ReadFailed || r.outcome == ReplyOutcome::SendFailed);
        if (r.outcome != ReplyOutcome::Reply && r.outcome != ReplyOutcome::Exception) {
            require(r.words.empty());
            return;
        }
        require(s.onLine >= 0);
        const Received& q = m_received[size_t(s.onLine)];
        require(q.validAtUs <= clock.nowUs());
        const bool exception = quint8(q.answer->at(1)) & 0x80;
        require(exception == (r.outcome == ReplyOutcome::Exception));
        if (exception) {
            require(r.exceptionCode == s.onLine + 1);
        } else if (s.function == 3) {
            require(int(r.words.size()) == s.count);
            for (int k = 0; k < s.count; ++k)
                require(r.words[size_t(k)] == tagWord(s.onLine, k));
        } else {
            require(r.firstRegister == 1 && r.quantity == 11);
        }
    }

    std::vector<Submitted> m_submitted;
    std::vector<Received> m_received;
    std::deque<int> m_awaiting; // submissions owed a result, oldest first
    std::set<qint64> m_arrivals;
    int m_writing = -1; // the submission a write on the line carries
    bool m_hungUp = false;
};
} // namespace

// Byte 0 chooses a paced line or a pseudo-terminal; then three bytes an event.
extern "C" int LLVMFuzzerTestOneInput(const quint8* data, size_t size)
{
    if (size < 1)
        return 0;
    Exchange x(data[0] & 1);
    const size_t events = std::min<size_t>((size - 1) / 3, 64);
    for (size_t e = 0; e < events; ++e) {
        const quint8 op = data[1 + 3 * e], a = data[2 + 3 * e], b = data[3 + 3 * e];
        switch (op & 7) {
        case 0:
            x.submit(false, kReadCounts[a % kReadCounts.size()]);
            break;
        case 1:
            x.submit(true, 11);
            break;
        case 2:
            x.answer((op >> 3 & 3) % 3, (a & 7) % 6, a & 0x80, (op & 0x40 ? b * 5 : b) * kMs,
                     (a >> 3 & 0xF) * 4 * kMs);
            break;
        case 3:
            x.cancel();
            break;
        case 4:
            x.advance((1 + a) * (b & 1 ? 10 : 1) * kMs);
            break;
        case 5: // a refused write may pass again; a refused read is a line gone
            x.driver.writeStatus = a & 1 ? DriverStatusCode::IoError : DriverStatusCode::Ok;
            break;
        case 6:
            x.driver.readStatus = DriverStatusCode::IoError;
            break;
        case 7:
            x.hangUp();
            break;
        }
    }
    x.finish();
    return 0;
}
