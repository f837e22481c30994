#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace quorva::cli {

// The symbolic link `simulate --link` offers its pseudo-terminal under. It is
// made with one symlink() call, which fails rather than replace anything, and
// removed at exit only while the path still holds this very link: a file, a
// device node or another simulator's link is never deleted. The one thing it
// replaces is a link left by a simulator that was killed outright, which
// points at a pseudo-terminal that no longer exists.
class OwnedLink
{
public:
    OwnedLink() = default;
    ~OwnedLink();
    OwnedLink(const OwnedLink&) = delete;
    OwnedLink& operator=(const OwnedLink&) = delete;

    // False, with a reason naming the path, when no link was made.
    bool create(const QString& path, const QString& target, QString* error);

private:
    QByteArray m_path;
    QByteArray m_target;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_made = false;
};

} // namespace quorva::cli
