// Grabs the main window while it reads the built-in virtual transmitter and
// saves it as a PNG: docs/window.png in the README comes from here.
#include "link/masteronline.h"
#include "sim/virtualtransmitter.h"
#include "ui/messagesink.h"
#include "ui/serial.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace {
void waitFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("window.png");
    quorva::link::MasterOnLine<quorva::sim::VirtualTransmitter> line;
    ProgramFlags flags;
    quorva::ui::PrintedMessageSink messages;
    TForm1 form(line.link, line.master, flags, messages);
    form.show();
    form.btConectar->click();
    form.transmite->click();
    for (int i = 0; i < 2; ++i) {
        form.Timer1Timer(form.Timer1);
        waitFor(400);
    }
    const bool saved = form.grab().save(out);
    std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
    return saved ? 0 : 1;
}
