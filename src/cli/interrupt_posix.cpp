#include "interrupt.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quorva::cli {

namespace {
std::atomic<bool> g_interrupted{false};
// The pipe the handler writes one byte to: a wait on the event loop wakes
// at once instead of looking at the flag on a timer.
int g_wakeRead = -1;
int g_wakeWrite = -1;

extern "C" void onSignal(int)
{
    const int saved = errno;
    g_interrupted.store(true);
    if (g_wakeWrite >= 0) {
        const char byte = 1;
        (void)::write(g_wakeWrite, &byte, 1);
    }
    errno = saved;
}
} // namespace

void installInterruptHandler()
{
    int fds[2];
    if (g_wakeRead < 0 && ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_wakeRead = fds[0];
        g_wakeWrite = fds[1];
    }
    // Without SA_RESTART: a blocking system call returns rather than
    // resuming as if nothing had happened.
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    // A closed terminal (SIGHUP): the simulator still removes its link.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // A reader that went away (`| head`) is an output that cannot be
    // written, said as every other one is, not a silent death.
    ::signal(SIGPIPE, SIG_IGN);
}

bool interrupted()
{
    return g_interrupted.load();
}

std::unique_ptr<QObject> watchInterrupt(std::function<void()> onInterrupt)
{
    if (g_wakeRead < 0)
        return std::make_unique<QObject>();
    // The byte stays in the pipe: every later wait sees it too. The notifier
    // is switched off once it has spoken, so it never spins.
    auto notifier = std::make_unique<QSocketNotifier>(g_wakeRead, QSocketNotifier::Read);
    QSocketNotifier* raw = notifier.get();
    QObject::connect(raw, &QSocketNotifier::activated, raw, [raw, onInterrupt] {
        raw->setEnabled(false);
        onInterrupt();
    });
    return notifier;
}

} // namespace quorva::cli
