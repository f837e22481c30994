#pragma once

#include "link/linkclock.h"
#include "sim/transmittermodel.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>
#include <memory>

namespace quorva::sim {

// Serves the transmitter on a pseudo-terminal, so that any Modbus master
// (this program's window, mbpoll, a PLC tool) can open it as a serial port.
// Requests are framed by their length and CRC, as a slave that knows its
// functions does; a frame that never checks out is dropped after a silence.
// Replies leave when their last byte would have left at 9600 baud.
class PtyServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSilenceMs = 20;
    // A fault's bursts (a reply sent twice, noise then the reply) leave as
    // separate writes, this far apart, as a pseudo-terminal carries them.
    static constexpr qint64 kBurstGapUs = 2000;
    static constexpr int kDefaultTurnaroundMs = 4;

    explicit PtyServer(TransmitterModel& model, QObject* parent = nullptr);
    ~PtyServer() override;

    // Opens the pseudo-terminal; false with a reason on failure.
    bool start(QString* error);
    // The serial device a master opens.
    QString devicePath() const { return m_devicePath; }
    // Replies are paced as on the line unless turned off.
    void setPacing(bool on) { m_pacing = on; }
    void setTurnaroundMs(int ms) { m_turnaroundUs = qint64(ms) * 1000; }
    void setFault(Fault fault, int exceptionCode = ExceptionCode::SlaveDeviceFailure)
    {
        m_fault = {fault, exceptionCode};
    }
    // Another talker on the line: a burst of `bytes` stray bytes every
    // `periodMs` once started; 0 stops it.
    void setNoise(int periodMs, int bytes = 16);

private:
    struct Outgoing
    {
        qint64 dueUs;
        QByteArray bytes;
    };

    void onReadable();
    void serveBuffered();
    void sendLater(QByteArray reply, qsizetype requestLength, qint64 afterPreviousUs);
    void sendDue();

    TransmitterModel& m_model;
    link::SteadyClock m_clock;
    FaultSetting m_fault;
    qint64 m_turnaroundUs = qint64(kDefaultTurnaroundMs) * 1000;
    bool m_pacing = true;
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the pty alive between clients
    QString m_devicePath;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_silence;
    QTimer m_sendTimer;
    QTimer m_noiseTimer;
    QByteArray m_noise;
    QByteArray m_buffer;
    std::deque<Outgoing> m_outgoing;
};

} // namespace quorva::sim
