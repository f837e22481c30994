// The program: the main window on the USB serial cable, a named port, or the
// built-in virtual transmitter.
#include "ui/windowprogram.h"

int main(int argc, char* argv[])
{
    return quorva::ui::runWindowProgram(argc, argv);
}
