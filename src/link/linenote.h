#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace quorva::link {

// What a master leaves beside a port's lock for the next one to open it: the
// requests it sent that were never answered (a slave answering in order may
// still send their answers), and what it learned of the device. A master that
// holds the port notes `inUse` at once, so one killed outright leaves a line
// whose past is unknown rather than one taken for quiet.
struct LineNote
{
    struct Request
    {
        quint8 function = 0;
        quint16 startAddress = 0;
        quint16 quantity = 0;
        qint64 ageMs = 0; // how long ago it went out
        bool resync = false;
    };
    std::vector<Request> unanswered; // oldest first
    bool inUse = false;              // held since `ageMs` ago, never let go cleanly
    bool readingsOnly = false;       // the device answers the reading, never another count
    qint64 ageMs = 0;                // how long ago the note was written
};

// Milliseconds on the machine's monotonic clock, which every process reads
// alike until the next start of the machine.
qint64 monotonicNowMs();

// The note as text, ages counted from `nowMs`, and back; a note written
// after `nowMs` (the machine started again since) or of another form is none.
QByteArray encodeLineNote(const LineNote& note, qint64 nowMs);
std::optional<LineNote> decodeLineNote(const QByteArray& text, qint64 nowMs);

} // namespace quorva::link
