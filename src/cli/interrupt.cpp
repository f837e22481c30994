#include "interrupt.h"

#include <atomic>
#include <csignal>

namespace quorva::cli {

namespace {
std::atomic<bool> g_interrupted{false};

extern "C" void onSignal(int)
{
    g_interrupted.store(true);
}
} // namespace

void installInterruptHandler()
{
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal); // a closed terminal: the simulator still removes its link
}

bool interrupted()
{
    return g_interrupted.load();
}

} // namespace quorva::cli
