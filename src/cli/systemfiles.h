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

// The whole of a regular file of at most kMaxConfigurationFileBytes. A
// device, a FIFO, a folder or a larger file is refused with the reason,
// without waiting for a writer and without reading past the limit.
bool readConfigurationFile(const QString& path, QByteArray& content, QString* reason);

// `file` opened to append to a regular file, made if it does not exist. A
// FIFO, a device or a folder is refused with the reason, without waiting for
// a reader.
bool openRecordFile(const QString& path, QFile& file, QString* reason);

} // namespace quorva::cli
