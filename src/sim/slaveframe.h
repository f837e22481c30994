#pragma once

#include "sim/transmittermodel.h"

#include <QByteArray>
#include <optional>
#include <vector>

// The slave's side of Modbus RTU framing: request frames into the model's
// terms, its answers back into reply frames with their CRC, spoiled on the
// line as the fault says. Both ways of offering the transmitter share it.
namespace quorva::sim {

constexpr quint8 kSlaveAddress = quint8(transmitter::kSlaveAddress);
constexpr int kFloodBytes = 1100;
// A slave answers a few requests ahead at most and does not hear the rest, so
// a master that sends faster than the line carries cannot pile up replies.
constexpr int kMaxAnswersWaiting = 4;

// The longest request a slave can be sent: a write's head announces up to 255
// bytes of values.
constexpr int kMaxRequestLength = 9 + 255;

// Takes the whole requests from the front of a byte stream, framed as a slave
// that knows its functions frames them: by the length the head announces and
// the CRC. Past a byte that starts no valid frame it slides on by one; what
// stays in `buffer` is shorter than the length its head announces, the start
// of a request still arriving.
std::vector<QByteArray> takeRequestFrames(QByteArray& buffer);

// The request a frame carries, when it is addressed to this slave and its
// CRC checks out; a slave stays silent to anything else.
std::optional<ModelRequest> parseRequest(const QByteArray& frame);

// Everything the slave sends back for a request frame, as bursts in line
// order (stray bytes, the reply, a second reply); none when it stays silent.
std::vector<QByteArray> answerFrame(TransmitterModel& model, const QByteArray& request, qint64 atUs,
                                    const FaultSetting& fault);

} // namespace quorva::sim
