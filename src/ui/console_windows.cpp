// A windowed program has no console of its own: started from one, it writes
// to that console, unless its output goes elsewhere already (a file, a pipe).
#include "console.h"

#include <cstdio>
#include <windows.h>

namespace quorva::ui {

void useStartingConsole()
{
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if ((output == nullptr || output == INVALID_HANDLE_VALUE) &&
        ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        (void)std::freopen("CONOUT$", "w", stdout);
        (void)std::freopen("CONOUT$", "w", stderr);
    }
    ::SetConsoleOutputCP(CP_UTF8);
}

} // namespace quorva::ui
