#pragma once

#include "transmitter/readingcsv.h"

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>

class QTextStream;

// What quorva-cli writes for people and scripts, written so that a lost
// output never passes for a delivered one.
namespace quorva::cli {

// The reading's timestamps and CSV fields, shared with the window.
using transmitter::csvField;
using transmitter::isoTimestamp;

// A descriptor the program reports on (standard output), every write
// checked: the first failure is kept with its errno and nothing is written
// after it, so a report never goes on with a hole in it.
class CheckedDescriptor : public QIODevice
{
public:
    // `closedAtStart`: the program found the descriptor closed and put
    // /dev/null there; every write fails, as writing to it would have.
    explicit CheckedDescriptor(int fd, bool closedAtStart = false);
    bool isSequential() const override { return true; }
    int error() const { return m_error; }
    int descriptor() const { return m_fd; }
    bool closedAtStart() const { return m_closedAtStart; }
    // The file behind the descriptor, as the one error line names it.
    QString fileName() const;
    // Closes the descriptor, whose last buffered data may still fail to go
    // out; false when any write or the close failed.
    bool finish();

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    int m_fd;
    bool m_closedAtStart;
    int m_error = 0;
    qint64 m_written = 0;
};

// The one line that says a stream's output was lost: which file and why.
QString writeFailureText(QTextStream& stream);

// Standard input, output and error, any of them closed, get /dev/null (NUL
// on Windows), so that no file the program opens (Qt's own descriptors
// included) takes their number and receives what was meant for them. On
// Windows the two outputs also carry the bytes as written (UTF-8, bare line
// feeds) to a console told so. To be called before anything opens a file;
// true when standard output was closed. In systemfiles_<system>.cpp.
bool fillClosedStandardDescriptors();

// A file of lines (the commissioning record) to which a line is added whole
// or not at all: one write per line, a short write cut back off, and the line
// on the disk (fsync) before success is reported. Appends from several
// programs at once are taken one at a time.
// How long a record line waits for another program appending to the file.
constexpr int kRecordLockWaitMs = 3000;

class LineFile
{
public:
    LineFile() = default;
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    ~LineFile();

    // For appending to a regular file, made when missing; anything else is
    // refused without waiting (a FIFO without a reader).
    bool open(const QString& path);
    bool isOpen() const { return m_fd >= 0; }
    bool appendLine(const QByteArray& line); // `line` without its line break
    bool close();
    QString path() const { return m_path; }
    QString errorText() const;

private:
    bool fail(int err);

    QString m_path;
    int m_fd = -1;
    int m_error = 0;
    QString m_refusal;      // beyond errno: why the path was refused, or the line not written
    bool m_created = false; // by this run: its folder is synced with the first line
};

} // namespace quorva::cli
