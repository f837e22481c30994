#pragma once

// Ctrl-C, SIGTERM and SIGHUP end the long-running sub-commands cleanly: the handler
// only raises a flag, which their loops look at.
namespace quorva::cli {

void installInterruptHandler();
bool interrupted();

} // namespace quorva::cli
