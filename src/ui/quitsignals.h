#pragma once

#include <QObject>
#include <initializer_list>

class QSocketNotifier;

namespace quorva::ui {

// Turns termination signals (SIGTERM from a session ending or `kill`, SIGHUP
// from a closed terminal) into a Qt signal on the event loop, so the program
// ends as through "Sair" and lets its port go: a killed process would leave
// the port's lock file behind. The handler only writes a byte to a pipe, the
// one thing safe to do inside it; the loop does the rest.
class QuitSignals final : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
    QList<int> m_signals;
};

} // namespace quorva::ui
