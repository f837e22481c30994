#include "link/systemerror_platform.h"

#include <cerrno>
#include <cstring>

namespace quorva::link {

// Disk quotas are a POSIX system's.
QString platformErrorText(int error)
{
    return error == EDQUOT ? QStringLiteral("cota de disco excedida") : QString();
}

int platformErrorNumberOfText(const QString& text)
{
    return text == QString::fromLocal8Bit(std::strerror(EDQUOT)) ? EDQUOT : 0;
}

} // namespace quorva::link
