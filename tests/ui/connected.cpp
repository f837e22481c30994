// The window program, connected as by a click on "Conectar" once it is up:
// the exit test ends it by a signal while it holds its port. With
// QUORVA_READ set it also clicks "Ler" and prints each measured value shown.
#include "ui/serial.h"
#include "ui/windowprogram.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    quorva::ui::WindowProgramHooks hooks;
    hooks.afterShow = [](TForm1& form) {
        QTimer::singleShot(0, &form, [&form] {
            form.btConectarClick(form.findChild<QPushButton*>(QStringLiteral("btConectar")));
            if (!qEnvironmentVariableIsSet("QUORVA_READ"))
                return;
            QObject::connect(form.findChild<QLineEdit*>(QStringLiteral("Edit28")),
                             &QLineEdit::textChanged, [](const QString& text) {
                                 std::printf("%s\n", qPrintable(text));
                                 std::fflush(stdout);
                             });
            form.transmiteClick(form.findChild<QPushButton*>(QStringLiteral("transmite")));
        });
    };
    return quorva::ui::runWindowProgram(argc, argv, hooks);
}
