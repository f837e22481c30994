// Files on Linux and other POSIX systems: FIFOs and devices told apart by
// their type, advisory locks, fsync.
#include "systemfiles.h"

#include "cli/outputfile.h"

#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

// Devices are files of their own type here, found by it when opened.
QString deviceNameRefusal(const QString&)
{
    return {};
}

FileLock tryLockFile(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? FileLock::HeldByAnother : FileLock::Unsupported;
    }
    return FileLock::Taken;
}

void unlockFile(int fd)
{
    ::flock(fd, LOCK_UN);
}

int syncFile(int fd)
{
    return ::fsync(fd) == 0 ? 0 : errno;
}

int truncateFile(int fd, qint64 size)
{
    return ::ftruncate(fd, off_t(size)) == 0 ? 0 : errno;
}

int syncFolderOf(const QString& file)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

QString descriptorPath(int fd)
{
    // The link's own text: a pipe's "pipe:[N]" is no path (QFileInfo would make it one).
    char link[4096];
    const ssize_t size =
        ::readlink(qPrintable(QStringLiteral("/proc/self/fd/%1").arg(fd)), link, sizeof link);
    const QString target = size > 0 ? QFile::decodeName(QByteArray(link, size)) : QString();
    return target.startsWith(u'/') ? target : QString();
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat first
    {
    }, second{};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool inputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool takeTypedLine()
{
    // A terminal in its usual mode hands a line over only once Enter ends it.
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::poll(&input, 1, 0) != 1 || !(input.revents & POLLIN))
        return false;
    char bytes[256];
    return ::read(STDIN_FILENO, bytes, sizeof bytes) > 0;
}

// /proc and /sys open for root and then refuse the line.
bool isSystemInformationFile(int fd)
{
    struct statfs fs
    {
    };
    return ::fstatfs(fd, &fs) == 0 && (fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC);
}

bool fillClosedStandardDescriptors()
{
    bool outputClosed = false;
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        outputClosed = outputClosed || fd == STDOUT_FILENO;
        // The lowest free number is this one: the lower ones are open by now.
        const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    return outputClosed;
}

} // namespace quorva::cli
