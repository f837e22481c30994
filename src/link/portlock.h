#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace quorva::link {

// An exclusive hold on a serial device, whatever name reaches it: a link, its
// target and a bind mount of it are one device, so two programs that name it
// differently still find it held. The hold goes with the process, however it
// ends. Beside it the holder keeps a short note for the next one (see
// linenote.h). One file per operating system implements it.
class PortLock
{
public:
    enum class Outcome {
        Taken,
        Busy,      // another holder has it
        Unguarded, // no lock can be kept for it here: the port opens without one
    };

    PortLock();
    ~PortLock();
    PortLock(PortLock&&) noexcept;
    PortLock& operator=(PortLock&&) noexcept;

    // Takes the lock of the device the port `name` leads to (a bare name is
    // one in /dev, as Qt takes it); a lock held already is let go first.
    Outcome take(const QString& name);
    void release();
    bool held() const;

    // What the last holder noted, empty when none did; and the note for the next.
    QByteArray note() const;
    void keepNote(const QByteArray& note);

private:
    struct Held;
    std::unique_ptr<Held> m_held;
};

} // namespace quorva::link
