#pragma once

#include <QObject>
#include <functional>
#include <memory>

// Ctrl-C, SIGTERM and SIGHUP end the long-running sub-commands at their next
// step. The handler only raises a flag and wakes the event loop through a
// pipe; every wait looks at it.
namespace quorva::cli {

// The status of a command that a signal ended before it was done.
constexpr int kExitInterrupted = 130;

void installInterruptHandler();
bool interrupted();

// Calls `onInterrupt` from the event loop once a signal has arrived (at once
// if one already has), for as long as the returned object lives.
std::unique_ptr<QObject> watchInterrupt(std::function<void()> onInterrupt);

} // namespace quorva::cli
