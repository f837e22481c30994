#pragma once

// Ctrl-C and SIGTERM end the long-running sub-commands cleanly: the handler
// only raises a flag, which their loops look at.
namespace quorva::cli {

void installInterruptHandler();
bool interrupted();

} // namespace quorva::cli
