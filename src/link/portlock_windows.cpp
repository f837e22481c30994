// The port lock on Windows: the system itself opens a COM port for one
// program at a time, under whatever name it is reached, so there is nothing
// to hold beside it; and no note is kept, so every run starts from a quiet
// line, as on a port no run has noted.
#include "portlock.h"

namespace quorva::link {

struct PortLock::Held
{
};

PortLock::PortLock() = default;
PortLock::~PortLock() = default;
PortLock::PortLock(PortLock&&) noexcept = default;
PortLock& PortLock::operator=(PortLock&&) noexcept = default;

PortLock::Outcome PortLock::take(const QString&)
{
    return Outcome::Unguarded;
}

void PortLock::release() {}

bool PortLock::held() const
{
    return false;
}

QByteArray PortLock::note() const
{
    return {};
}

void PortLock::keepNote(const QByteArray&) {}

} // namespace quorva::link
