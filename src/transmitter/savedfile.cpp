#include "savedfile.h"

#include "link/systemerror.h"

#include <QSaveFile>

#include <cerrno>

namespace quorva::transmitter {

bool saveWhole(const QString& path, const QByteArray& bytes, int* errorNumber)
{
    QSaveFile file(path);
    errno = 0;
    // Unbuffered: a full disk fails the write itself, where it is seen. A
    // buffered write fails only in the flush inside the commit, which then
    // renames what was written so far into place and answers true.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
        file.write(bytes) == bytes.size() && file.commit())
        return true;
    const int cause = errno;
    const int named = link::errorNumberOfText(file.errorString());
    *errorNumber = named != 0 ? named : cause;
    return false;
}

} // namespace quorva::transmitter
