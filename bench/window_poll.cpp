// The window as quorva builds it on --port PORT, with "Conectar" and "Ler"
// pressed: it reads the device once a second until it is killed. The
// benchmark counts its CPU time and wake-ups from outside. The source builds
// against older trees too, so a change can be measured side by side.
//
//   bench_window_poll PORT
#include "link/devicelink.h"
#include "link/linkclock.h"
#include "link/modbusmaster.h"
#include "link/usbserialdriver.h"
#include "ui/messagesink.h"
#include "ui/serial.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    quorva::link::SteadyClock clock;
    quorva::link::UsbSerialDriver driver(QString::fromLocal8Bit(argv[1]));
    quorva::link::DeviceLink link(driver);
    quorva::link::ModbusMaster master(link, clock);
    ProgramFlags flags;
    quorva::ui::DialogMessageSink messages;
    TForm1 form(link, master, flags, messages);
    messages.setParent(&form);
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("btConectar"))->click();
    form.findChild<QPushButton*>(QStringLiteral("transmite"))->click();
    if (!form.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive()) {
        std::fprintf(stderr, "%s: the window did not connect\n", argv[1]);
        return 1;
    }
    std::printf("reading\n");
    std::fflush(stdout);
    return app.exec();
}
