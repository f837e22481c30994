#pragma once

#include <functional>

class TForm1;

namespace quorva::ui {

// What a copy of the program built for measuring or testing adds to it; the
// shipped program adds nothing.
struct WindowProgramHooks
{
    // Given the main window once it is placed, before it is shown.
    std::function<void(TForm1&)> beforeShow;
    // Given the main window once it is shown, before the event loop starts.
    std::function<void(TForm1&)> afterShow;
};

// The window program: its command line, the main window on the USB serial
// cable, a named port or the built-in virtual transmitter, and the event
// loop. Returns the program's exit status; --help, --version and a usage
// error end the process without a window.
int runWindowProgram(int argc, char* argv[], const WindowProgramHooks& hooks = {});

} // namespace quorva::ui
