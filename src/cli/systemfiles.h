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

// A descriptor (blocking, close-on-exec) of the regular file `path`, opened
// with `flags` without waiting: a FIFO without its other end would block for
// ever. A FIFO, a device or a folder is refused with the reason; -1 then.
int openRegularFile(const QString& path, int flags, QString* reason);

} // namespace quorva::cli
