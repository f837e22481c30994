#include "systemfiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorva::cli {

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("é uma pasta");
    if (S_ISFIFO(mode))
        return QStringLiteral("é um FIFO, não um arquivo comum");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("é um dispositivo, não um arquivo comum");
    if (S_ISSOCK(mode))
        return QStringLiteral("é um socket, não um arquivo comum");
    return QStringLiteral("não é um arquivo comum");
}

} // namespace

int openRegularFile(const QString& path, int flags, QString* reason)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat st
    {
    };
    if (fd < 0) {
        // A FIFO without its other end says "no such device": name what it is.
        const int error = errno;
        const bool other = ::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode);
        *reason = other ? kindOf(st.st_mode) : systemErrorText(error);
        return -1;
    }
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        *reason = known ? kindOf(st.st_mode) : systemErrorText(errno);
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

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
