#pragma once

#include "link/linkclock.h"
#include "link/virtualtransmitter.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <vector>

namespace quorva::link {

// Serves the virtual transmitter on a pseudo-terminal, so that any Modbus
// master (this program's window, mbpoll, a PLC tool) can open it as a serial
// port. Requests are framed by their length and CRC, as a slave that knows
// its functions does; a frame that never checks out is dropped after a
// silence. Replies leave when the last byte would have left at 9600 baud.
class PtyServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSilenceMs = 20;

    PtyServer(VirtualTransmitter& device, QObject* parent = nullptr);
    ~PtyServer() override;

    // Opens the pseudo-terminal; false with a reason on failure.
    bool start(QString* error);
    // The serial device a master opens.
    QString devicePath() const { return m_devicePath; }
    // Replies are paced as on the line unless turned off.
    void setPacing(bool on) { m_pacing = on; }

private:
    void onReadable();
    void serveBuffered();
    void sendLater(std::vector<quint8> reply, int requestLength);

    VirtualTransmitter& m_device;
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the pty alive between clients
    QString m_devicePath;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_silence;
    std::vector<quint8> m_buffer;
    bool m_pacing = true;
};

} // namespace quorva::link
