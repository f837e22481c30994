#include "ownedlink.h"

#include "cli/systemfiles.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorva::cli {

namespace {

QByteArray linkTarget(const QByteArray& path)
{
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
    return n < 0 ? QByteArray() : target.left(n);
}

// A link to a pseudo-terminal that is gone: its simulator was killed before
// it could remove it. Nothing can open it, and a later pseudo-terminal of the
// same number would make it point at an unrelated program. The number may
// already be ours: this process holds that pseudo-terminal now.
bool isStalePtyLink(const QByteArray& path, const QByteArray& ours, QByteArray& target)
{
    struct stat st
    {
    };
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return false;
    target = linkTarget(path);
    if (!target.startsWith("/dev/pts/"))
        return false;
    return target == ours || (::lstat(target.constData(), &st) != 0 && errno == ENOENT);
}

// Where the folder exists but takes no link (/proc, /sys), the system says
// the folder is missing or the operation not permitted.
bool refusesLinks(const QString& folder)
{
    return QFileInfo(folder).isDir() &&
           ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

QString reasonFor(int error, const QString& path)
{
    const QString folder = QFileInfo(path).path();
    switch (error) {
    case EEXIST:
        return QStringLiteral("já existe e não será substituído; escolha outro caminho");
    case ENOENT:
    case EPERM:
        if (refusesLinks(folder))
            return QStringLiteral("a pasta %1 não aceita links (sistema de arquivos especial); "
                                  "escolha outra pasta")
                .arg(folder);
        if (error == ENOENT)
            return QStringLiteral("a pasta %1 não existe").arg(folder);
        return QStringLiteral("sem permissão para criar o link em %1").arg(folder);
    case ENOTDIR:
        return QStringLiteral("%1 não é uma pasta").arg(folder);
    case EACCES:
        return QStringLiteral("sem permissão para criar o link em %1").arg(folder);
    case EROFS:
        return QStringLiteral("%1 está num sistema de arquivos somente leitura").arg(folder);
    default:
        return systemErrorText(error);
    }
}

// Replaces the stale link at `name` with one to `to`, or fails with EEXIST
// when it is no longer stale. Simulators taking over the same path hold the
// folder's lock in turn, so only the first finds it stale; the new link is
// made under a name of its own and renamed over the old one, so the path is
// never missing meanwhile.
int replaceStaleLink(const QByteArray& name, const QByteArray& to)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(name)).path());
    const int lock = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        const int error = errno;
        if (lock >= 0)
            ::close(lock);
        errno = error;
        return -1;
    }
    QByteArray stale;
    int result = -1;
    int error = EEXIST;
    if (isStalePtyLink(name, to, stale)) {
        const QByteArray temporary = name + ".new-" + QByteArray::number(::getpid());
        ::unlink(temporary.constData()); // left by a process of this number killed here
        result = ::symlink(to.constData(), temporary.constData());
        if (result == 0)
            result = ::rename(temporary.constData(), name.constData());
        error = errno;
        if (result != 0)
            ::unlink(temporary.constData());
    }
    ::close(lock);
    errno = error;
    return result;
}

} // namespace

bool OwnedLink::create(const QString& path, const QString& target, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray to = QFile::encodeName(target);
    int result = ::symlink(to.constData(), name.constData());
    if (result != 0 && errno == EEXIST)
        result = replaceStaleLink(name, to);
    struct stat st
    {
    };
    if (result != 0 || ::lstat(name.constData(), &st) != 0) {
        *error = QStringLiteral("--link %1: %2").arg(path, reasonFor(errno, path));
        return false;
    }
    m_path = name;
    m_target = to;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_made = true;
    return true;
}

OwnedLink::~OwnedLink()
{
    if (!m_made)
        return;
    struct stat st
    {
    };
    if (::lstat(m_path.constData(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_dev == m_device &&
        st.st_ino == m_inode && linkTarget(m_path) == m_target)
        ::unlink(m_path.constData());
}

} // namespace quorva::cli
