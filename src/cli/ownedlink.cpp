#include "ownedlink.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
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

QString reasonFor(int error, const QString& path)
{
    const QString folder = QFileInfo(path).path();
    switch (error) {
    case EEXIST:
        return QStringLiteral("já existe e não será substituído; escolha outro caminho");
    case ENOENT:
        return QStringLiteral("a pasta %1 não existe").arg(folder);
    case ENOTDIR:
        return QStringLiteral("%1 não é uma pasta").arg(folder);
    case EACCES:
    case EPERM:
        return QStringLiteral("sem permissão para criar o link em %1").arg(folder);
    case EROFS:
        return QStringLiteral("%1 está num sistema de arquivos somente leitura").arg(folder);
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

bool OwnedLink::create(const QString& path, const QString& target, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray to = QFile::encodeName(target);
    int result = ::symlink(to.constData(), name.constData());
    QByteArray stale;
    if (result != 0 && errno == EEXIST && isStalePtyLink(name, to, stale)) {
        // Only if it still is that stale link; symlink() then refuses whatever
        // another process may have put there meanwhile.
        if (linkTarget(name) == stale && ::unlink(name.constData()) == 0)
            result = ::symlink(to.constData(), name.constData());
        else
            errno = EEXIST;
    }
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
