// The program: the main window on the USB serial cable, a named port, or the
// built-in virtual transmitter.
#include "link/devicelink.h"
#include "link/linkclock.h"
#include "link/modbusmaster.h"
#include "link/usbserialdriver.h"
#include "sim/virtualtransmitter.h"
#include "ui/messagesink.h"
#include "ui/serial.h"
#include "ui/sobre.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <memory>

#ifdef QUORVA_STARTUP_PROBE
#include "startupprobe.h"
#endif

namespace {

// An exception that escapes an event is shown in the standard error box and
// the loop goes on with the next event.
class Application : public QApplication
{
public:
    using QApplication::QApplication;
    quorva::ui::MessageSink* messages = nullptr;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            if (messages)
                messages->showException(QString::fromUtf8(e.what()));
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf8(quorva::ui::kApplicationTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.01"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("QUORVA: configuração de transmissores de temperatura (Modbus RTU)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Conecta pela porta serial NAME em vez do primeiro cabo USB FTDI."),
        QStringLiteral("NAME"));
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"), QStringLiteral("Conecta ao transmissor virtual embutido."));
    parser.addOption(portOption);
    parser.addOption(simulateOption);
    parser.process(app);
    if (parser.isSet(portOption) && parser.isSet(simulateOption)) {
        fputs("quorva: --port e --simulate não podem ser usados juntos\n", stderr);
        return 2;
    }

    quorva::link::SteadyClock clock;
    std::unique_ptr<quorva::link::SerialDriver> driver;
    if (parser.isSet(simulateOption))
        driver = std::make_unique<quorva::sim::VirtualTransmitter>(clock);
    else
        driver = std::make_unique<quorva::link::UsbSerialDriver>(parser.value(portOption));

    quorva::link::DeviceLink link(*driver);
    quorva::link::ModbusMaster master(link, clock);
    ProgramFlags flags;
    quorva::ui::DialogMessageSink messages;
    app.messages = &messages;

    TForm1 form(link, master, flags, messages);
    messages.setParent(&form);
    TAboutBox1 aboutBox(&form);
    form.setAboutBox(&aboutBox);

    if (const QScreen* screen = form.screen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    form.show();
#ifdef QUORVA_STARTUP_PROBE
    reportWhenShown();
#endif
    app.exec();
    return 0;
}
