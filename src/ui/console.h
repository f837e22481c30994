#pragma once

// Where the window program prints what needs no window (--help, --version,
// a usage error): the terminal or console it was started from, in UTF-8
// (console_posix.cpp, console_windows.cpp).
namespace quorva::ui {

void useStartingConsole();

} // namespace quorva::ui
