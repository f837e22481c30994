// The window program, connected as by a click on "Conectar" once it is up:
// the exit test ends it by a signal while it holds its port.
#include "ui/serial.h"
#include "ui/windowprogram.h"

#include <QPushButton>
#include <QTimer>

int main(int argc, char* argv[])
{
    quorva::ui::WindowProgramHooks hooks;
    hooks.afterShow = [](TForm1& form) {
        QTimer::singleShot(0, &form, [&form] {
            form.btConectarClick(form.findChild<QPushButton*>(QStringLiteral("btConectar")));
        });
    };
    return quorva::ui::runWindowProgram(argc, argv, hooks);
}
