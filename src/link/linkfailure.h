#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

namespace quorva::link {

// Why the cable would not open, or stopped working while open, as far as the
// serial layer can tell. The window and the command line word it from the
// same table, so a technician reads the same reason in both.
enum class FailureKind {
    None,
    NoCable,          // no USB-serial cable of the vendor is plugged in
    PortNotFound,     // the named port does not exist
    PermissionDenied, // the user may not open the port
    PortBusy,         // another program holds the port
    PortGone,         // the port went away while open: adapter pulled, far end closed
    OpenFailed,       // any other refusal, in the system's words
};

struct LinkFailure
{
    FailureKind kind = FailureKind::None;
    QString port;          // the port concerned; empty when there is no cable
    QStringList portsSeen; // with no cable: the serial ports that are present
    QString systemText;    // an open refused for another reason: the system's words
};

// The reason in a few words, to put inside a line of text.
QString failureReason(const LinkFailure& failure);
// The reason with its port and what to do about it, as the text beneath a
// message box's own.
QString failureExplanation(const LinkFailure& failure);

// Serial ports report a port held by another program (its lock file, the
// kernel's exclusive mode) and a port the user may not open as one permission
// error; only the second one the user cannot read and write.
FailureKind classifyOpenError(QSerialPort::SerialPortError error, bool userMayReadWrite);

} // namespace quorva::link
