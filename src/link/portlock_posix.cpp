// The port lock on a POSIX system: an flock() on a file named after the
// device's number, in the folder where serial ports' lock files live. A lock
// on the file, not on the device, so that a busy port is never opened (its
// line settings touched) just to find it held; released by the kernel when
// the holder ends, however it ends.
#include "portlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quorva::link {

namespace {
// A note is a few lines; anything longer is not one of ours.
constexpr qsizetype kMaxFileBytes = 4096;

QString lockFolder()
{
    const QFileInfo varLock(QStringLiteral("/var/lock"));
    return varLock.isDir() && varLock.isWritable() ? varLock.filePath() : QDir::tempPath();
}

// The device node itself, as it was made: a pseudo-terminal or an adapter
// plugged in again gets a new node under the same number, and a note about
// the old one says nothing of it.
QByteArray nodeIdentity(const struct stat& node)
{
    return "node " + QByteArray::number(quint64(node.st_ino)) + ' ' +
           QByteArray::number(qint64(node.st_ctim.tv_sec)) + '.' +
           QByteArray::number(qint64(node.st_ctim.tv_nsec)) + '\n';
}

// Each open of the pseudo-terminal multiplexer makes a new line of its own.
bool isMultiplexer(const struct stat& node)
{
    struct stat ptmx
    {
    };
    return ::stat("/dev/ptmx", &ptmx) == 0 && ptmx.st_rdev == node.st_rdev;
}
} // namespace

struct PortLock::Held
{
    int descriptor = -1;
    QByteArray identity;
    ~Held()
    {
        if (descriptor >= 0)
            ::close(descriptor); // lets the flock go
    }
};

PortLock::PortLock() = default;
PortLock::~PortLock() = default;
PortLock::PortLock(PortLock&&) noexcept = default;
PortLock& PortLock::operator=(PortLock&&) noexcept = default;

PortLock::Outcome PortLock::take(const QString& name)
{
    release();
    const QString portPath = name.contains(u'/') ? name : QStringLiteral("/dev/") + name;
    struct stat node
    {
    };
    // stat() follows links: every name of the device meets its number.
    if (::stat(QFile::encodeName(portPath).constData(), &node) != 0 || !S_ISCHR(node.st_mode) ||
        isMultiplexer(node))
        return Outcome::Unguarded;
    const QByteArray file = QFile::encodeName(QStringLiteral("%1/quorva-tty-%2-%3.lock")
                                                  .arg(lockFolder())
                                                  .arg(major(node.st_rdev))
                                                  .arg(minor(node.st_rdev)));
    // Never through a link someone left in a folder everyone may write to.
    const int flags = O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(file.constData(), O_RDWR | flags, 0666);
    if (fd >= 0)
        ::fchmod(fd, 0666); // another user's program must be able to take it too
    else if (errno == EACCES)
        fd = ::open(file.constData(), O_RDONLY | flags, 0666); // held, without a note
    if (fd < 0)
        return Outcome::Unguarded;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Outcome::Busy : Outcome::Unguarded;
    }
    m_held = std::make_unique<Held>();
    m_held->descriptor = fd;
    m_held->identity = nodeIdentity(node);
    return Outcome::Taken;
}

void PortLock::release()
{
    m_held.reset();
}

bool PortLock::held() const
{
    return m_held != nullptr;
}

QByteArray PortLock::note() const
{
    if (!m_held)
        return {};
    QByteArray text(kMaxFileBytes, '\0');
    const ssize_t got = ::pread(m_held->descriptor, text.data(), size_t(text.size()), 0);
    text.truncate(got > 0 ? qsizetype(got) : 0);
    return text.startsWith(m_held->identity) ? text.mid(m_held->identity.size()) : QByteArray();
}

void PortLock::keepNote(const QByteArray& note)
{
    if (!m_held)
        return;
    const QByteArray text = m_held->identity + note.left(kMaxFileBytes - m_held->identity.size());
    if (::ftruncate(m_held->descriptor, 0) == 0)
        (void)::pwrite(m_held->descriptor, text.constData(), size_t(text.size()), 0);
}

} // namespace quorva::link
