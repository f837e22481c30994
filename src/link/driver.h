#pragma once

#include "link/linkfailure.h"

#include <QByteArray>
#include <QtGlobal>
#include <functional>

namespace quorva::link {

// The USB serial driver as the link sees it: the nine operations of the
// vendor's D2XX interface, with its handle and status conventions. Every
// provider (the real serial port, the virtual transmitter, a test's fake)
// implements exactly these.
using DriverHandle = quintptr;
using DriverStatus = quint32;

// D2XX status codes; 0 means success.
namespace DriverStatusCode {
constexpr DriverStatus Ok = 0;
constexpr DriverStatus InvalidHandle = 1;
constexpr DriverStatus DeviceNotFound = 2;
constexpr DriverStatus DeviceNotOpened = 3;
constexpr DriverStatus IoError = 4;
constexpr DriverStatus InvalidParameter = 6;
} // namespace DriverStatusCode

// D2XX argument values used by the link.
constexpr quint8 kBits8 = 8;
constexpr quint8 kStopBits1 = 0;
constexpr quint8 kParityNone = 0;
constexpr quint32 kPurgeRx = 1;
constexpr quint32 kPurgeTx = 2;

class SerialDriver
{
public:
    virtual ~SerialDriver() = default;

    virtual DriverStatus open(int deviceIndex, DriverHandle* handle) = 0;
    virtual DriverStatus close(DriverHandle handle) = 0;
    // Takes up to bytesToRead of the bytes already queued; never waits for more.
    virtual DriverStatus read(DriverHandle handle, quint8* buffer, quint32 bytesToRead,
                              quint32* bytesReturned) = 0;
    virtual DriverStatus write(DriverHandle handle, const quint8* buffer, quint32 bytesToWrite,
                               quint32* bytesWritten) = 0;
    virtual DriverStatus setBaudRate(DriverHandle handle, quint32 baudRate) = 0;
    virtual DriverStatus setDataCharacteristics(DriverHandle handle, quint8 wordLength,
                                                quint8 stopBits, quint8 parity) = 0;
    virtual DriverStatus purge(DriverHandle handle, quint32 mask) = 0;
    virtual DriverStatus setTimeouts(DriverHandle handle, quint32 readTimeoutMs,
                                     quint32 writeTimeoutMs) = 0;
    virtual DriverStatus getStatus(DriverHandle handle, quint32* rxQueued, quint32* txQueued,
                                   quint32* eventStatus) = 0;

    // Beyond the nine, as D2XX's own event notification: the provider calls
    // the handler on the event loop when received bytes are waiting or the
    // line has failed (a pulled adapter, a hung-up terminal), so the link
    // reacts to arrival instead of polling. An empty handler stops it.
    virtual void setArrivalHandler(std::function<void()> handler) = 0;
    // Whether bytes cross this line at the pace its baud rate sets (a cable,
    // the virtual transmitter) or at once (a pseudo-terminal).
    virtual bool pacesLine() const = 0;
    // Why the last open failed, or why the open line stopped working; kind
    // None when the provider cannot tell (or nothing failed).
    virtual LinkFailure lastFailure() const { return {}; }
    // What the last master on this port noted for the next one (linenote.h),
    // and the note this one leaves; a provider with nowhere to keep a note
    // has none, and its line's past is taken as quiet.
    virtual QByteArray lineNote() const { return {}; }
    virtual void keepLineNote(const QByteArray& /*note*/) {}
};

} // namespace quorva::link
