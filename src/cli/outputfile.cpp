#include "outputfile.h"

#include "cli/systemfiles.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace quorva::cli {

CheckedDescriptor::CheckedDescriptor(int fd, bool closedAtStart)
    : m_fd(fd), m_closedAtStart(closedAtStart)
{
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 CheckedDescriptor::writeData(const char* data, qint64 size)
{
    if (m_closedAtStart && m_error == 0) {
        m_error = EBADF;
        setErrorString(systemErrorText(m_error));
    }
    if (m_error != 0)
        return -1;
    for (qint64 done = 0; done < size;) {
        const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? errno : ENOSPC;
            setErrorString(systemErrorText(m_error));
            return -1;
        }
        done += n;
        m_written += n;
    }
    return size;
}

QString CheckedDescriptor::fileName() const
{
    const QString target = descriptorPath(m_fd);
    const QString name = m_fd == STDOUT_FILENO ? QStringLiteral("saída padrão")
                                               : QStringLiteral("descritor %1").arg(m_fd);
    // A pipe or socket has no path to show.
    return !target.isEmpty() ? QStringLiteral("%1 (%2)").arg(target, name) : name;
}

bool CheckedDescriptor::finish()
{
    // A descriptor the caller closed, and never written to, has nothing to lose.
    if (m_written > 0 && m_error == 0 && ::close(m_fd) != 0 && errno != EINTR) {
        m_error = errno;
        setErrorString(systemErrorText(m_error));
    }
    return m_error == 0;
}

QString writeFailureText(QTextStream& stream)
{
    const auto* descriptor = dynamic_cast<CheckedDescriptor*>(stream.device());
    if (descriptor && descriptor->closedAtStart()) // /dev/null stands in: no file to name
        return descriptor->descriptor() == STDOUT_FILENO
                   ? QStringLiteral("não foi possível escrever na saída padrão: fechada")
                   : QStringLiteral("não foi possível escrever no descritor %1: fechado")
                         .arg(descriptor->descriptor());
    const QString name = descriptor ? descriptor->fileName() : QStringLiteral("saída padrão");
    return QStringLiteral("não foi possível escrever %1: %2")
        .arg(name == QStringLiteral("saída padrão") ? QStringLiteral("na ") + name
                                                    : QStringLiteral("em ") + name,
             stream.device() ? stream.device()->errorString() : QStringLiteral("erro de escrita"));
}

LineFile::~LineFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LineFile::fail(int err)
{
    m_error = err;
    return false;
}

QString LineFile::errorText() const
{
    return !m_refusal.isEmpty() ? m_refusal : systemErrorText(m_error);
}

bool LineFile::open(const QString& path)
{
    m_path = path;
    struct stat existing
    {
    };
    m_created = ::stat(QFile::encodeName(path).constData(), &existing) != 0;
    m_fd = openRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, &m_refusal);
    // Refused before anything is sent.
    if (m_fd >= 0 && isSystemInformationFile(m_fd)) {
        m_refusal = QStringLiteral("é um arquivo do sistema, não guarda registros");
        ::close(m_fd);
        m_fd = -1;
    }
    return m_fd >= 0;
}

bool LineFile::appendLine(const QByteArray& line)
{
    const QByteArray whole = line + '\n';
    // Another program appending at once is waited for, a while: the size
    // seen is where this line goes. One that holds the file longer is not
    // waited for, so the outcome of a write already made is still reported.
    // A file system without locks still takes the line.
    const QDeadlineTimer lockWait(kRecordLockWaitMs);
    while (tryLockFile(m_fd) == FileLock::HeldByAnother) {
        if (lockWait.hasExpired()) {
            m_refusal = QStringLiteral("bloqueado por outro programa");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    struct stat before
    {
    };
    if (::fstat(m_fd, &before) != 0) {
        const int error = errno;
        unlockFile(m_fd);
        return fail(error);
    }
    const bool regular = S_ISREG(before.st_mode);
    ssize_t n = -1;
    do {
        n = ::write(m_fd, whole.constData(), size_t(whole.size()));
    } while (n < 0 && errno == EINTR);
    int err = n < 0 ? errno : (n < whole.size() ? ENOSPC : 0);
    // A device or pipe takes no fsync, and needs none.
    if (err == 0 && regular)
        err = syncFile(m_fd);
    // A file made by this run is found after a power cut only once its folder is synced too.
    if (err == 0 && regular && std::exchange(m_created, false))
        err = syncFolderOf(m_path);
    // Half a line would spoil the next one too: the file goes back to its last whole line.
    if (err != 0 && n > 0 && regular)
        (void)truncateFile(m_fd, before.st_size);
    unlockFile(m_fd);
    return err == 0 || fail(err);
}

bool LineFile::close()
{
    const int fd = std::exchange(m_fd, -1);
    return fd < 0 || ::close(fd) == 0 || errno == EINTR || fail(errno);
}

} // namespace quorva::cli
