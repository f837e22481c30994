// The serial port on Windows: the Win32 communications API, read and written
// by a worker thread with overlapped I/O, so the event loop's thread never
// waits on the line.
//
// Why not Qt Serial Port here: it learns of arrival from WaitCommEvent
// through an I/O completion port. Under wine, where these programs are tested,
// a COM port mapped onto a pseudo-terminal ends that wait at once with no
// event and posts no completion, so a QSerialPort never reads a byte. A read
// held open by the comm timeouts below works the same on both.
#include "link/portline.h"

#include "link/systemerror.h"
#include "link/systemerror_platform.h"

#include <QObject>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <utility>
#include <windows.h>

namespace quorva::link {

namespace {

// A read returns this long after the last byte that arrived, holding the
// bytes of a burst together; before the first byte it waits without end.
constexpr DWORD kReadIntervalMs = 2;
constexpr DWORD kReadChunk = 512;

// "COM5" is a device name only below COM10; the device namespace takes any.
std::wstring devicePath(const QString& name)
{
    const QString path =
        name.startsWith(QStringLiteral("\\\\")) ? name : QStringLiteral("\\\\.\\") + name;
    return path.toStdWString();
}

// Whether Windows holds the port as a device of its own, whose driver moves
// bytes at the baud rate: a UART of the machine, a USB adapter, and also a
// virtual pair's driver. Qt lists those with the device's description. A
// name that only maps elsewhere (wine's COM ports onto Linux
// pseudo-terminals) has none, and its bytes cross at once.
bool isDevicePort(const QString& name)
{
    const QString bare = name.startsWith(QStringLiteral("\\\\.\\")) ? name.mid(4) : name;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.portName().compare(bare, Qt::CaseInsensitive) == 0)
            return !info.description().isEmpty();
    }
    return false;
}

PortLine::OpenFailure openFailure(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {FailureKind::PortNotFound, {}, QSerialPort::DeviceNotFoundError};
    case ERROR_ACCESS_DENIED: // a COM port is open to one program at a time
    case ERROR_SHARING_VIOLATION:
        return {FailureKind::PortBusy, {}, QSerialPort::PermissionError};
    default:
        return {FailureKind::OpenFailed, systemErrorText(windowsError(error)),
                QSerialPort::OpenError};
    }
}

// Binary, no flow control of any kind, errors never stopping the reads; DTR
// and RTS raised, as converters powered from them expect.
bool setLine(HANDLE port, DWORD baudRate)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb))
        return false;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    return ::SetCommState(port, &dcb);
}

// One overlapped operation's structure and its event, valid until it ends.
struct Operation
{
    OVERLAPPED overlapped{};
    bool pending = false;

    Operation() { overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Operation() { ::CloseHandle(overlapped.hEvent); }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    void prepare()
    {
        const HANDLE event = overlapped.hEvent;
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event;
        ::ResetEvent(event);
    }
    // After the call that started it: false when it could not start. One that
    // ended at once is taken, as every other, when its event is seen.
    bool begin(BOOL endedAtOnce)
    {
        if (endedAtOnce)
            return pending = ::SetEvent(overlapped.hEvent);
        return pending = ::GetLastError() == ERROR_IO_PENDING;
    }
    // The bytes moved, or the error that ended it (0 for none).
    DWORD finish(HANDLE port, DWORD* bytes, bool wait)
    {
        pending = false;
        if (::GetOverlappedResult(port, &overlapped, bytes, wait))
            return 0;
        const DWORD error = ::GetLastError();
        // A read that ran out its time ends with what it has (wine says so
        // with an error where Windows succeeds).
        return error == ERROR_TIMEOUT ? 0 : error;
    }
};

} // namespace

struct PortLine::Private
{
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr); // writes queued, or the end
    std::function<void()> onEvent;
    QObject context; // on the opener's thread: events reach it there
    std::atomic<bool> stopping{false};
    std::atomic<bool> failed{false};
    std::atomic<bool> eventPosted{false};
    bool paced = true;
    mutable std::mutex mutex;
    QByteArray received; // under mutex
    QByteArray outgoing; // under mutex
    qint64 onLine = 0;   // under mutex: the bytes of the write in progress
    std::thread worker;

    ~Private()
    {
        if (worker.joinable()) {
            stopping = true;
            ::SetEvent(wake);
            worker.join();
        }
        if (port != INVALID_HANDLE_VALUE)
            ::CloseHandle(port);
        ::CloseHandle(wake);
    }

    // From the worker: one call of onEvent on the opener's thread for all
    // that happened until it runs.
    void post()
    {
        if (eventPosted.exchange(true))
            return;
        QMetaObject::invokeMethod(
            &context,
            [this] {
                eventPosted = false;
                onEvent();
            },
            Qt::QueuedConnection);
    }

    bool startRead(Operation& read, char* chunk)
    {
        read.prepare();
        return read.begin(::ReadFile(port, chunk, kReadChunk, nullptr, &read.overlapped));
    }

    bool startWrite(Operation& write, QByteArray& bytes)
    {
        {
            const std::lock_guard lock(mutex);
            bytes = std::exchange(outgoing, {});
            onLine = bytes.size();
        }
        if (bytes.isEmpty())
            return true;
        write.prepare();
        return write.begin(
            ::WriteFile(port, bytes.constData(), DWORD(bytes.size()), nullptr, &write.overlapped));
    }

    void take(const char* chunk, DWORD bytes)
    {
        if (bytes == 0)
            return;
        {
            const std::lock_guard lock(mutex);
            received.append(chunk, bytes);
        }
        post();
    }

    void run();
    bool serve(Operation& read, Operation& write, char* chunk, QByteArray& writing);
};

// The worker: a read always waiting on the port, a write whenever bytes are
// queued, until the line fails or the port is closed.
void PortLine::Private::run()
{
    Operation read;
    Operation write;
    char chunk[kReadChunk];
    QByteArray writing;
    while (!stopping) {
        if (!serve(read, write, chunk, writing)) {
            failed = true;
            post();
            break;
        }
    }
    if (read.pending || write.pending) {
        ::CancelIoEx(port, nullptr);
        DWORD bytes = 0;
        if (read.pending)
            read.finish(port, &bytes, true);
        if (write.pending)
            write.finish(port, &bytes, true);
    }
}

// One turn: starts what is not running, waits for anything to end; false
// once the line has failed.
bool PortLine::Private::serve(Operation& read, Operation& write, char* chunk, QByteArray& writing)
{
    if ((!read.pending && !startRead(read, chunk)) ||
        (!write.pending && !startWrite(write, writing)))
        return false;
    const HANDLE events[] = {wake, read.overlapped.hEvent, write.overlapped.hEvent};
    const DWORD which = ::WaitForMultipleObjects(write.pending ? 3 : 2, events, FALSE, INFINITE);
    DWORD bytes = 0;
    if (which == WAIT_OBJECT_0 + 1) {
        const DWORD error = read.finish(port, &bytes, false);
        if (error == ERROR_OPERATION_ABORTED)
            return true; // a purge's; the next turn reads again
        take(chunk, bytes);
        return error == 0;
    }
    if (which == WAIT_OBJECT_0 + 2) {
        const DWORD error = write.finish(port, &bytes, false);
        writing.clear();
        const std::lock_guard lock(mutex);
        onLine = 0;
        return error == 0;
    }
    return which == WAIT_OBJECT_0;
}

std::unique_ptr<PortLine> PortLine::open(const QString& name, std::function<void()> onEvent,
                                         OpenFailure* failure)
{
    auto d = std::make_unique<Private>();
    d->port = ::CreateFileW(devicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (d->port == INVALID_HANDLE_VALUE) {
        *failure = openFailure(::GetLastError());
        return nullptr;
    }
    // Any read waits for its first byte and ends a moment after its last.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    if (!setLine(d->port, CBR_9600) || !::SetCommTimeouts(d->port, &timeouts)) {
        *failure = {FailureKind::OpenFailed, systemErrorText(ENOTTY), QSerialPort::OpenError};
        return nullptr;
    }
    ::PurgeComm(d->port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    d->paced = isDevicePort(name);
    d->onEvent = std::move(onEvent);
    d->worker = std::thread([raw = d.get()] { raw->run(); });
    return std::unique_ptr<PortLine>(new PortLine(std::move(d)));
}

QString PortLine::nameOf(const QSerialPortInfo& info)
{
    return info.portName();
}

PortLine::PortLine(std::unique_ptr<Private> d) : d(std::move(d)) {}

PortLine::~PortLine() = default;

qint64 PortLine::read(char* data, qint64 size)
{
    const std::lock_guard lock(d->mutex);
    const qint64 n = std::min(size, qint64(d->received.size()));
    std::copy_n(d->received.constData(), n, data);
    d->received.remove(0, n);
    return n;
}

bool PortLine::write(const char* data, qint64 size)
{
    if (d->failed)
        return false;
    {
        const std::lock_guard lock(d->mutex);
        d->outgoing.append(data, size);
    }
    return ::SetEvent(d->wake);
}

bool PortLine::setBaudRate(qint32 baudRate)
{
    return baudRate > 0 && setLine(d->port, DWORD(baudRate));
}

bool PortLine::setEightNoneOne()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return ::GetCommState(d->port, &dcb) && setLine(d->port, dcb.BaudRate);
}

void PortLine::clear(bool input, bool output)
{
    const std::lock_guard lock(d->mutex);
    if (input) {
        ::PurgeComm(d->port, PURGE_RXCLEAR);
        d->received.clear();
    }
    if (output) {
        ::PurgeComm(d->port, PURGE_TXCLEAR);
        d->outgoing.clear();
    }
}

qint64 PortLine::bytesAvailable() const
{
    const std::lock_guard lock(d->mutex);
    return d->received.size();
}

qint64 PortLine::bytesToWrite() const
{
    const std::lock_guard lock(d->mutex);
    return d->outgoing.size() + d->onLine;
}

bool PortLine::failed() const
{
    return d->failed;
}

bool PortLine::paced() const
{
    return d->paced;
}


} // namespace quorva::link
