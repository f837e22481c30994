// The same program as quorva, reporting when its window's first frame is
// painted (and then ending).
#include "startupprobe.h"
#include "ui/serial.h"
#include "ui/windowprogram.h"

int main(int argc, char* argv[])
{
    quorva::ui::WindowProgramHooks hooks;
    hooks.beforeShow = [](TForm1& form) { reportFirstFrame(form); };
    return quorva::ui::runWindowProgram(argc, argv, hooks);
}
