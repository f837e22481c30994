#include "linenote.h"

#include <QDeadlineTimer>
#include <QList>

namespace quorva::link {

namespace {
constexpr char kHeader[] = "quorva-line 1";
} // namespace

qint64 monotonicNowMs()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}

// One fact a line: the header, "written MS" (the monotonic time), then
// "unanswered FUNCTION START QUANTITY AGE-MS" (and "resync" where it was
// one), "in-use" and "readings-only" as they apply.
QByteArray encodeLineNote(const LineNote& note, qint64 nowMs)
{
    QByteArray text = QByteArray(kHeader) + '\n';
    text += "written " + QByteArray::number(nowMs - note.ageMs) + '\n';
    for (const LineNote::Request& r : note.unanswered)
        text += "unanswered " + QByteArray::number(r.function) + ' ' +
                QByteArray::number(r.startAddress) + ' ' + QByteArray::number(r.quantity) + ' ' +
                QByteArray::number(r.ageMs) + (r.resync ? " resync" : "") + '\n';
    if (note.inUse)
        text += "in-use\n";
    if (note.readingsOnly)
        text += "readings-only\n";
    return text;
}

std::optional<LineNote> decodeLineNote(const QByteArray& text, qint64 nowMs)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 2 || lines.first() != kHeader)
        return std::nullopt;
    LineNote note;
    std::optional<qint64> written;
    for (const QByteArray& line : lines.mid(1)) {
        const QList<QByteArray> f = line.split(' ');
        bool ok = true;
        if (f.first() == "written" && f.size() == 2) {
            written = f[1].toLongLong(&ok);
        } else if (f.first() == "unanswered" && (f.size() == 5 || f.size() == 6)) {
            bool fields[4];
            const LineNote::Request r{quint8(f[1].toUShort(&fields[0])),
                                      f[2].toUShort(&fields[1]), f[3].toUShort(&fields[2]),
                                      f[4].toLongLong(&fields[3]), f.size() == 6};
            ok = fields[0] && fields[1] && fields[2] && fields[3] && r.ageMs >= 0 &&
                 (f.size() == 5 || f[5] == "resync");
            note.unanswered.push_back(r);
        } else if (line == "in-use") {
            note.inUse = true;
        } else if (line == "readings-only") {
            note.readingsOnly = true;
        } else {
            ok = line.isEmpty();
        }
        if (!ok)
            return std::nullopt;
    }
    if (!written || *written > nowMs)
        return std::nullopt;
    note.ageMs = nowMs - *written;
    for (LineNote::Request& r : note.unanswered)
        r.ageMs += note.ageMs;
    return note;
}

} // namespace quorva::link
