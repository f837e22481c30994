#include "ptyserver.h"

#include "link/devicelink.h"
#include "sim/slaveframe.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quorva::sim {

PtyServer::PtyServer(TransmitterModel& model, QObject* parent) : QObject(parent), m_model(model)
{
    m_silence.setSingleShot(true);
    m_silence.setInterval(kSilenceMs);
    connect(&m_silence, &QTimer::timeout, this, [this] { m_buffer.clear(); });
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &PtyServer::sendDue);
    connect(&m_noiseTimer, &QTimer::timeout, this,
            [this] { (void)::write(m_master, m_noise.constData(), size_t(m_noise.size())); });
}

void PtyServer::setNoise(int periodMs, int bytes)
{
    m_noise = QByteArray(bytes, char(0xA5));
    if (periodMs > 0)
        m_noiseTimer.start(periodMs);
    else
        m_noiseTimer.stop();
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
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        m_buffer.append(chunk, qsizetype(n));
        serveBuffered(); // the buffer never holds more than one request's length
    }
    if (!m_buffer.isEmpty())
        m_silence.start();
}

void PtyServer::serveBuffered()
{
    for (const QByteArray& frame : takeRequestFrames(m_buffer)) {
        if (m_outgoing.size() >= size_t(kMaxAnswersWaiting))
            continue;
        qint64 afterPreviousUs = 0;
        for (QByteArray burst : answerFrame(m_model, frame, m_clock.nowUs(), m_fault)) {
            sendLater(std::move(burst), frame.size(), afterPreviousUs);
            afterPreviousUs = kBurstGapUs;
        }
    }
}

void PtyServer::sendLater(QByteArray reply, qsizetype requestLength, qint64 afterPreviousUs)
{
    const qint64 lineUs =
        m_pacing ? (requestLength + reply.size()) * link::DeviceLink::kByteTimeUs + m_turnaroundUs
                 : 0;
    // Replies leave in the order their requests came.
    qint64 dueUs = m_clock.nowUs() + lineUs;
    if (!m_outgoing.empty())
        dueUs = std::max(dueUs, m_outgoing.back().dueUs + afterPreviousUs);
    m_outgoing.push_back({dueUs, std::move(reply)});
    if (m_outgoing.size() == 1)
        sendDue();
}

void PtyServer::sendDue()
{
    const qint64 now = m_clock.nowUs();
    while (!m_outgoing.empty() && m_outgoing.front().dueUs <= now) {
        const QByteArray& bytes = m_outgoing.front().bytes;
        // A master that does not read loses what its queue cannot take.
        (void)::write(m_master, bytes.constData(), size_t(bytes.size()));
        m_outgoing.pop_front();
    }
    if (!m_outgoing.empty())
        m_sendTimer.start(int((m_outgoing.front().dueUs - now + 999) / 1000));
}

} // namespace quorva::sim
