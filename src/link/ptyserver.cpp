#include "ptyserver.h"

#include "link/modbusframe.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quorva::link {

namespace {
// The length of the request at the buffer's start, if its head tells it.
int requestLength(const std::vector<quint8>& b)
{
    if (b.size() < 2)
        return 0;
    if (b[1] == kWriteMultipleRegisters)
        return b.size() < 7 ? 0 : 9 + b[6];
    return 8; // function 3 and every other request this slave meets
}
} // namespace

PtyServer::PtyServer(VirtualTransmitter& device, QObject* parent)
    : QObject(parent), m_device(device)
{
    m_silence.setSingleShot(true);
    m_silence.setInterval(kSilenceMs);
    connect(&m_silence, &QTimer::timeout, this, [this] { m_buffer.clear(); });
}

PtyServer::~PtyServer()
{
    m_notifier.reset();
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyServer::start(QString* error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_devicePath = QString::fromLocal8Bit(::ptsname(m_master));
    // Raw from the start, and held open so that a master closing its end
    // does not hang up the line for the next one.
    m_slaveKeeper = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (m_slaveKeeper >= 0) {
        termios tio{};
        ::tcgetattr(m_slaveKeeper, &tio);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        ::tcsetattr(m_slaveKeeper, TCSANOW, &tio);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtyServer::onReadable);
    return true;
}

void PtyServer::onReadable()
{
    quint8 chunk[512];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        m_buffer.insert(m_buffer.end(), chunk, chunk + n);
    }
    serveBuffered();
    if (!m_buffer.empty())
        m_silence.start();
}

void PtyServer::serveBuffered()
{
    for (;;) {
        const int length = requestLength(m_buffer);
        if (length == 0 || int(m_buffer.size()) < length)
            return;
        if (Crc16(m_buffer.data(), 0, length - 2) !=
            quint16((m_buffer[size_t(length - 2)] << 8) | m_buffer[size_t(length - 1)])) {
            // Not a frame at this byte: slide on and look again.
            m_buffer.erase(m_buffer.begin());
            continue;
        }
        std::vector<quint8> reply = m_device.respond(m_buffer.data(), length);
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + length);
        if (!reply.empty())
            sendLater(std::move(reply), length);
    }
}

void PtyServer::sendLater(std::vector<quint8> reply, int requestLength)
{
    const qint64 lineUs =
        m_pacing ? qint64(requestLength + int(reply.size())) * VirtualTransmitter::kByteTimeUs +
                       m_device.turnaroundUs()
                 : 0;
    QTimer::singleShot(int((lineUs + 999) / 1000), Qt::PreciseTimer, this,
                       [this, reply = std::move(reply)] {
                           if (m_master >= 0)
                               (void)::write(m_master, reply.data(), reply.size());
                       });
}

} // namespace quorva::link
