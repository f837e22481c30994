#pragma once

#include <QObject>
#include <memory>

namespace quorva::ui {

// Turns the system's requests to end the program into a Qt signal on the
// event loop, so the program ends as through "Sair" and lets its port go: a
// killed process would leave the port's lock file behind. On Linux these are
// SIGTERM (a session ending, `kill`) and SIGHUP (a closed terminal), whose
// handler only writes a byte to a pipe, the one thing safe to do inside it
// (quitsignals_posix.cpp); on Windows, the end of the user's session
// (quitsignals_windows.cpp).
class QuitSignals final : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

signals:
    void received();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace quorva::ui
