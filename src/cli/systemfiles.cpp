#include "systemfiles.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quorva::cli {

bool readBoundedFile(const QString& path, qint64 maxBytes, const QString& whatItIs,
                     QByteArray& content, QString* reason)
{
    const int fd = openRegularFile(path, O_RDONLY, reason);
    if (fd < 0)
        return false;
    // Read to one byte past the limit: a file that grows meanwhile is caught too.
    content.resize(maxBytes + 1);
    qint64 have = 0;
    int readError = 0;
    while (have < content.size()) {
        const ssize_t n = ::read(fd, content.data() + have, size_t(content.size() - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            readError = errno;
        if (n <= 0)
            break;
        have += n;
    }
    ::close(fd);
    content.resize(have);
    if (readError != 0)
        *reason = systemErrorText(readError);
    else if (have > maxBytes)
        *reason = QStringLiteral("maior que %1 MiB; não é %2")
                      .arg(maxBytes / (1024 * 1024))
                      .arg(whatItIs);
    return readError == 0 && have <= maxBytes;
}

bool readConfigurationFile(const QString& path, QByteArray& content, QString* reason)
{
    return readBoundedFile(path, kMaxConfigurationFileBytes,
                           QStringLiteral("o JSON de 'quorva-cli read --json'"), content, reason);
}

} // namespace quorva::cli
