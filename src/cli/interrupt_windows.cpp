// Ctrl-C, Ctrl-Break, a closed console window, logging off and shutting down
// reach a console program on Windows as control events, each on a thread the
// system starts for it.
#include "interrupt.h"

#include <QWinEventNotifier>
#include <atomic>
#include <windows.h>

namespace quorva::cli {

namespace {
std::atomic<bool> g_interrupted{false};
// Set once, never reset: every later wait sees it too.
HANDLE g_wake = nullptr;

BOOL WINAPI onControl(DWORD event)
{
    g_interrupted.store(true);
    ::SetEvent(g_wake);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    // The console is closing or the user leaving: the process ends as soon
    // as this returns, so it never does. The program finishes its step and
    // exits meanwhile (the system allows some seconds).
    ::Sleep(INFINITE);
    return TRUE;
}
} // namespace

void installInterruptHandler()
{
    if (!g_wake)
        g_wake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(onControl, TRUE);
}

bool interrupted()
{
    return g_interrupted.load();
}

std::unique_ptr<QObject> watchInterrupt(std::function<void()> onInterrupt)
{
    if (!g_wake)
        return std::make_unique<QObject>();
    // Switched off once it has spoken, so the set event never spins it.
    auto notifier = std::make_unique<QWinEventNotifier>(g_wake);
    QWinEventNotifier* raw = notifier.get();
    QObject::connect(raw, &QWinEventNotifier::activated, raw, [raw, onInterrupt] {
        raw->setEnabled(false);
        onInterrupt();
    });
    return notifier;
}

} // namespace quorva::cli
