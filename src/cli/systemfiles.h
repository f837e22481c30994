#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include "link/systemerror.h"

// The files the command line reads and appends to, opened so that nothing
// can make it block or exhaust the machine, and the system's errors in the
// program's own language.
namespace quorva::cli {

// The most a configuration file (`write --from`) may hold: what `read --json`
// prints is well under a kilobyte.
constexpr qint64 kMaxConfigurationFileBytes = 1024 * 1024;

using link::errorNumberOfText;
using link::systemErrorText;

// The whole of the regular file `path` when it holds at most `maxBytes`. A
// device, a FIFO or a folder is refused with the reason, a larger file with
// "maior que N MiB; não é " and `whatItIs`, without waiting for a writer and
// without reading past the limit.
bool readBoundedFile(const QString& path, qint64 maxBytes, const QString& whatItIs,
                     QByteArray& content, QString* reason);

// A configuration file (`write --from`), bounded by kMaxConfigurationFileBytes.
bool readConfigurationFile(const QString& path, QByteArray& content, QString* reason);

// What differs between systems in handling files lives below, in
// systemfiles_posix.cpp and systemfiles_windows.cpp.

// A descriptor (blocking, close-on-exec) of the regular file `path`, opened
// with `flags` without waiting: a FIFO without its other end would block for
// ever. A FIFO, a device or a folder is refused with the reason; -1 then.
int openRegularFile(const QString& path, int flags, QString* reason);

// Why `path` can never be a file of the program's: a name Windows keeps for
// a device (NUL, CON, COM1...) wherever it stands; empty when it can be one.
QString deviceNameRefusal(const QString& path);

// The exclusive lock of an open file, taken without waiting.
enum class FileLock { Taken, HeldByAnother, Unsupported };
FileLock tryLockFile(int fd);
void unlockFile(int fd);
// The file's data on the disk; 0 or the system error number.
int syncFile(int fd);
// The file cut back to `size` bytes; 0 or the system error number.
int truncateFile(int fd, qint64 size);
// The folder's entry for `file` on the disk (a file made by this run is
// found after a power cut only then); 0 or the system error number.
int syncFolderOf(const QString& file);
// The path of the file an open descriptor reaches; empty for a pipe, a
// terminal or a console.
QString descriptorPath(int fd);
// Whether two paths reach one file: the same name by another way, or a
// hard link to it. False when either does not exist.
bool sameFile(const QString& a, const QString& b);
// Whether standard input is a terminal, and whether a whole line typed
// there is waiting (taken when it is).
bool inputIsTerminal();
bool takeTypedLine();
// A file the system makes up (Linux's /proc and /sys), which opens and then
// refuses what is written to it.
bool isSystemInformationFile(int fd);

} // namespace quorva::cli
