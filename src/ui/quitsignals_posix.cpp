#include "quitsignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorva::ui {

namespace {
constexpr int kQuitSignals[] = {SIGTERM, SIGHUP};

// One pair for the process: a handler cannot reach an object.
int g_pipe[2] = {-1, -1};

extern "C" void onQuitSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}
} // namespace

struct QuitSignals::Private
{
    QSocketNotifier* notifier = nullptr;
};

QuitSignals::QuitSignals(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    if (g_pipe[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        qWarning("quorva: no pipe for termination signals");
        return;
    }
    d->notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1)
            emit received();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kQuitSignals)
        ::sigaction(number, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    for (int number : kQuitSignals)
        std::signal(number, SIG_DFL);
}

} // namespace quorva::ui
