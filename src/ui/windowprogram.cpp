#include "windowprogram.h"

#include "link/masteronline.h"
#include "link/usbserialdriver.h"
#include "sim/virtualtransmitter.h"
#include "ui/console.h"
#include "ui/messagesink.h"
#include "ui/quitsignals.h"
#include "ui/serial.h"
#include "ui/sobre.h"
#include "ui/translations.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFontDatabase>
#include <QRegularExpression>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

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

// The options the window program accepts; the parser is built twice, once
// before the toolkit starts and once with it. Help and version are the
// program's own, so that they read in Portuguese like the rest.
struct WindowOptions
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Mostra esta ajuda.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Mostra a versão.")};
    QCommandLineOption port{
        QStringLiteral("port"),
        QStringLiteral("Conecta pela porta serial NOME em vez do primeiro cabo USB FTDI."),
        QStringLiteral("NOME")};
    QCommandLineOption simulate{QStringLiteral("simulate"),
                                QStringLiteral("Conecta ao transmissor virtual embutido.")};
    QCommandLineOption timeout{
        QStringLiteral("timeout"),
        QStringLiteral("Espera pela resposta, em ms, de 100 a 10000 (800); para um conversor "
                       "lento. A espera após uma falha a acompanha."),
        QStringLiteral("MS"), QStringLiteral("800")};

    void describe(QCommandLineParser& parser) const
    {
        parser.setApplicationDescription(
            QStringLiteral("QUORVA: configuração de transmissores de temperatura (Modbus RTU)."));
        parser.addOptions({help, version, port, simulate, timeout});
    }
    // The wait for a reply, or none when the value is out of bounds.
    std::optional<int> timeoutMs(const QCommandLineParser& parser) const
    {
        bool ok = false;
        const int ms = parser.value(timeout).toInt(&ok);
        if (!ok || ms < quorva::link::ModbusMaster::kMinResponseTimeoutMs ||
            ms > quorva::link::ModbusMaster::kMaxResponseTimeoutMs)
            return std::nullopt;
        return ms;
    }
};

// The parser's help text with its two English headings in Portuguese.
QString helpText(const QCommandLineParser& parser)
{
    QString text = parser.helpText();
    text.replace(0, text.indexOf(u'\n'), QStringLiteral("Uso: quorva [opções]"));
    text.replace(QStringLiteral("\nOptions:\n"), QStringLiteral("\nOpções:\n"));
    return text;
}

// The toolkit's own options, which the toolkit takes out of the arguments
// once it is up (a display, a style, a platform...).
constexpr const char* kToolkitOptions[] = {"platform",      "platformpluginpath",
                                           "platformtheme", "plugin",
                                           "qmljsdebugger", "qwindowgeometry",
                                           "qwindowicon",   "qwindowtitle",
                                           "reverse",       "session",
                                           "display",       "geometry",
                                           "style",         "stylesheet",
                                           "widgetcount",   "nograb",
                                           "dograb",        "sync",
                                           "visual",        "ncols",
                                           "cmap",          "name",
                                           "title",         "icon",
                                           "fontengine",    "testability"};

void refuse(const QString& message)
{
    fprintf(stderr, "quorva: %s\nVeja 'quorva --help'.\n", message.toUtf8().constData());
    std::exit(2);
}

// A port named without --port would be ignored, and "Conectar" would open
// the first FTDI cable instead: a device not asked for.
void refuseStrayArgument(const QCommandLineParser& parser)
{
    if (const QStringList stray = parser.positionalArguments(); !stray.isEmpty())
        refuse(QStringLiteral("argumento inesperado '%1'").arg(stray.first()));
}

// --help, --version and a usage error need no window, so they are answered
// before the toolkit looks for a display: over ssh and on a headless box
// they print and exit instead of aborting. The toolkit's own options are
// left to the parse that runs once the toolkit is up.
void answerWithoutDisplay(int argc, char* argv[], const WindowOptions& options)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    options.describe(parser);
    if (!parser.parse(arguments)) {
        QStringList unknown = parser.unknownOptionNames();
        unknown.removeIf([](const QString& name) {
            return std::any_of(std::begin(kToolkitOptions), std::end(kToolkitOptions),
                               [&name](const char* o) { return name == QLatin1String(o); });
        });
        if (!unknown.isEmpty())
            refuse(
                QStringLiteral("opção desconhecida: %1").arg(unknown.join(QStringLiteral(", "))));
        static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
        if (const auto m = missing.match(parser.errorText()); m.hasMatch())
            refuse(QStringLiteral("falta o valor de %1").arg(m.captured(1)));
        return;
    }
    // An empty name would fall back to the first FTDI cable, a device not asked for.
    if (parser.isSet(options.port) && parser.value(options.port).trimmed().isEmpty())
        refuse(QStringLiteral("--port: o nome da porta está vazio"));
    if (parser.isSet(options.port) && parser.isSet(options.simulate))
        refuse(QStringLiteral("--port e --simulate não podem ser usados juntos"));
    if (!options.timeoutMs(parser))
        refuse(QStringLiteral("--timeout espera milissegundos, de %1 a %2")
                   .arg(quorva::link::ModbusMaster::kMinResponseTimeoutMs)
                   .arg(quorva::link::ModbusMaster::kMaxResponseTimeoutMs));
    refuseStrayArgument(parser);
    if (!(parser.isSet(options.help) || parser.isSet(options.version)))
        return;
    QCoreApplication app(argc, argv); // the help text names the program from it
    const QString text =
        parser.isSet(options.help)
            ? helpText(parser)
            : QStringLiteral("quorva %1\n").arg(QCoreApplication::applicationVersion());
    fputs(text.toUtf8().constData(), stdout);
    std::exit(0);
}

// The faces shipped beside the program (fonts/, the Windows package's
// Liberation Sans, which the layout is measured in); a system that has them
// installed (Linux) ships none.
void loadShippedFonts()
{
    const QDir fonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    for (const QString& face : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(face));
}

} // namespace

namespace quorva::ui {

int runWindowProgram(int argc, char* argv[], const WindowProgramHooks& hooks)
{
    QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.01"));
    const WindowOptions options;
    useStartingConsole();
    answerWithoutDisplay(argc, argv, options);

    Application app(argc, argv);
    installToolkitTranslations(app);
    loadShippedFonts();
    QCommandLineParser parser;
    options.describe(parser);
    parser.process(app);
    refuseStrayArgument(parser); // beside the toolkit's options, once it has taken them

    link::MasterOnLine<link::ChosenDriver> line(
        [&](const link::LinkClock& clock) -> link::ChosenDriver {
            if (parser.isSet(options.simulate))
                return std::make_unique<sim::VirtualTransmitter>(clock);
            return std::make_unique<link::UsbSerialDriver>(parser.value(options.port));
        });
    // A transmitter behind a slow converter: the settle and the bounds follow.
    line.master.setResponseTimeoutMs(*options.timeoutMs(parser));
    ProgramFlags flags;
    DialogMessageSink messages;
    app.messages = &messages;

    TForm1 form(line.link, line.master, flags, messages);
    messages.setParent(&form);
    TAboutBox1 aboutBox(&form);
    form.setAboutBox(&aboutBox);

    if (const QScreen* screen = form.screen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    if (hooks.beforeShow)
        hooks.beforeShow(form);
    // A session's end or a closed terminal ends the program as "Sair" does,
    // with the port let go, its lock file with it.
    const QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &form, [&] {
        line.master.reset();
        line.link.close();
        form.btSairClick(form.findChild<QAction*>(QStringLiteral("btSair")));
    });
    form.show();
    if (hooks.afterShow)
        hooks.afterShow(form);
    app.exec();
    return 0;
}

} // namespace quorva::ui
