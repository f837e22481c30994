// quorva-cli: the window's link, register map and checks from a shell, for
// commissioning transmitters in series and for scripts.
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/report.h"
#include "cli/reportplatform.h"
#include "sim/transmittermodel.h"
#include "transmitter/configfields.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace quorva::cli;
using quorva::link::ModbusMaster;

namespace {

const char kUsage[] =
    "uso: quorva-cli <comando> [opções]\n"
    "\n"
    "Comandos:\n"
    "  ports      lista as portas seriais (* a que o dispositivo 0 abre)\n"
    "  read       uma leitura do transmissor\n"
    "  monitor    uma leitura a cada --interval ms (--count N, --csv)\n"
    "  write      envia a configuração (--sensor --zero --lower --upper --fault --direction,\n"
    "             ou --from ARQUIVO de 'read --json'; --record, --dry-run, --force)\n"
    "  simulate   transmissor virtual num pseudo-terminal (--link PATH, --fault NOME)\n"
    "  commission PLANO.csv: configura um transmissor por linha do plano, um após o outro\n"
    "             (--record, --resume, --report, --operator, --force)\n"
    "  report     relatório PDF ou HTML de um registro (REGISTRO -o ARQUIVO, --operator NOME)\n"
    "\n"
    "Opções comuns: --port NOME | --simulate, --timeout MS, --json.\n"
    "'quorva-cli <comando> --help' detalha.\n"
    "  -h, --help     mostra esta ajuda\n"
    "  -v, --version  mostra a versão\n"
    "\n"
    "Estado de saída: 0 sucesso; 1 falha do dispositivo ou da ligação; 2 uso incorreto,\n"
    "valor inválido ou recusado (nada é enviado); 130 interrompido (Ctrl-C, SIGTERM, SIGHUP).\n";

std::vector<std::pair<int, QCommandLineOption>> fieldOptions()
{
    std::vector<std::pair<int, QCommandLineOption>> options;
    for (const int slot : quorva::transmitter::kFormOrder) {
        const quorva::transmitter::ConfigurationField& f = *quorva::transmitter::fieldOfSlot(slot);
        options.emplace_back(slot,
                             QCommandLineOption(QLatin1String(f.option), QString::fromUtf8(f.help),
                                                QString::fromUtf8(f.valueName)));
    }
    return options;
}

struct Options
{
    QCommandLineOption port{"port", "Porta serial NOME em vez do primeiro cabo USB FTDI.", "NOME"};
    QCommandLineOption simulate{"simulate", "Usa o transmissor virtual embutido."};
    QCommandLineOption json{"json", "Saída em JSON (chaves estáveis, em inglês)."};
    QCommandLineOption timeout{"timeout",
                               "Espera pela resposta, em ms, de 100 a 10000 (800); para um "
                               "conversor lento. A espera após uma falha a acompanha.",
                               "MS", "800"};
    QCommandLineOption interval{"interval", "Intervalo entre leituras, em ms (1000).", "MS",
                                "1000"};
    QCommandLineOption count{"count", "Número de leituras (0: até Ctrl-C).", "N", "0"};
    QCommandLineOption csv{
        "csv", "Saída CSV, uma linha por leitura sob o cabeçalho timestamp;measured;unit;error: "
               "hora ISO 8601 com o fuso (2026-12-07T09:15:02.120-03:00), valor medido com "
               "vírgula decimal, unidade, e a mensagem de uma leitura que falhou (vazia quando "
               "deu certo). Separador ';'; um campo com ';', aspas ou quebra de linha vem "
               "entre aspas, as aspas dobradas."};
    QCommandLineOption dryRun{
        "dry-run", "Mostra os registros 1 a 11 e o pedido de 31 bytes em hexadecimal, sem enviar. "
                   "Com os seis campos dados (ou --from com todos) não abre a porta; senão lê o "
                   "dispositivo antes, para os campos não dados."};
    QCommandLineOption force{"force", "Envia uma faixa fora dos limites do sensor."};
    QCommandLineOption from{"from",
                            "Escreve a configuração de ARQUIVO (o JSON de 'read --json', um "
                            "arquivo comum de até 1 MiB); as opções dadas têm precedência.",
                            "ARQUIVO"};
    QCommandLineOption record{
        "record",
        "Acrescenta a ARQUIVO (um arquivo comum, ou novo) uma linha JSON por tentativa (hora "
        "ISO 8601 com o fuso, porta, modelo, antes, enviado, resultado, releitura), gravada no "
        "disco antes de o resultado ser dado.",
        "ARQUIVO"};
    QCommandLineOption link{"link",
                            "Cria o link PATH para o pseudo-terminal (recusa um PATH que já "
                            "existe) e o apaga ao sair.",
                            "PATH"};
    QCommandLineOption injectFault{
        "fault",
        QStringLiteral("Falha a injetar: %1 (exception:N responde com a exceção N, 4 por omissão).")
            .arg(quorva::sim::lineFaultNames().join(QStringLiteral(", "))),
        "NOME"};
    QCommandLineOption turnaround{"turnaround", "Tempo de resposta do transmissor, em ms.", "MS"};
    QCommandLineOption output{{"o", "output"},
                              "Grava o relatório em ARQUIVO: .pdf (A4) ou .html, conforme o nome.",
                              "ARQUIVO"};
    QCommandLineOption reportOperator{"operator",
                                      "Nome do operador no cabeçalho do relatório (em vez do "
                                      "registrado).",
                                      "NOME"};
    QCommandLineOption steady{"steady", "Temperatura fixa (sem deriva)."};
    QCommandLineOption noise{"noise", "Outro transmissor na linha: 16 bytes a cada MS.", "MS"};
    QCommandLineOption campaignReport{
        "report", "Escreve o relatório da campanha em ARQUIVO (.pdf, .html).", "ARQUIVO"};
    QCommandLineOption operatorName{"operator", "Nome do técnico, no registro e no relatório.",
                                    "NOME"};
    QCommandLineOption overwrite{"overwrite",
                                 "Substitui um ARQUIVO de relatório existente que não foi escrito "
                                 "pelo quorva-cli (um registro nunca é substituído)."};
    QCommandLineOption reportPlan{"plan",
                                  "Só as tentativas do plano ARQUIVO, num registro com vários "
                                  "planos.",
                                  "ARQUIVO"};
    QCommandLineOption modelCode{"model", "Código do modelo do transmissor virtual (1, 2, 3...).",
                                 "CÓDIGO"};
    QCommandLineOption resume{
        "resume", "Continua a campanha do --record: as tags já ok para este plano são puladas."};
    // The configuration's fields, from their table, in the window's order.
    std::vector<std::pair<int, QCommandLineOption>> fields = fieldOptions();
};

// Qt's parser speaks English; its usual complaints, in the program's words.
QString parseErrorText(const QString& qtText)
{
    static const std::pair<const char*, const char*> kTexts[] = {
        {"^Unknown options?:? '?([^']*)'?\\.$", "opção desconhecida: %1"},
        {"^Missing value after '([^']*)'\\.$", "falta o valor de %1"},
        {"^Unexpected value after '([^']*)'\\.$", "valor inesperado após %1"},
    };
    for (const auto& [pattern, text] : kTexts) {
        const QRegularExpressionMatch m = QRegularExpression(QLatin1String(pattern)).match(qtText);
        if (m.hasMatch())
            return QString::fromUtf8(text).arg(m.captured(1));
    }
    return qtText;
}

bool toInt(const QString& text, int minimum, int maximum, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= minimum && value <= maximum;
}

// The limits of monitor's numbers: an hour between readings, a year of readings a second.
constexpr int kMaxIntervalMs = 3600 * 1000;
constexpr int kMaxCount = 365 * 24 * 3600;

// Where a device command talks to: --port or --simulate, and --timeout.
int chooseLink(const QCommandLineParser& parser, const Options& opt, Output& o, LinkChoice& choice)
{
    if (parser.isSet(opt.port) && parser.isSet(opt.simulate))
        return o.fail(QStringLiteral("--port e --simulate não podem ser usados juntos"),
                      kExitUsage);
    // An empty name would fall back to the first FTDI cable, a device not asked for.
    if (parser.isSet(opt.port) && parser.value(opt.port).trimmed().isEmpty())
        return o.fail(QStringLiteral("--port: o nome da porta está vazio"), kExitUsage);
    choice = {parser.value(opt.port), parser.isSet(opt.simulate)};
    if (!toInt(parser.value(opt.timeout), ModbusMaster::kMinResponseTimeoutMs,
               ModbusMaster::kMaxResponseTimeoutMs, choice.timeoutMs))
        return o.fail(QStringLiteral("--timeout espera milissegundos, de %1 a %2")
                          .arg(ModbusMaster::kMinResponseTimeoutMs)
                          .arg(ModbusMaster::kMaxResponseTimeoutMs),
                      kExitUsage);
    return kExitOk;
}

// Each command's handler, given the parsed line and, for a command that
// talks to the device, its link.
int runPorts(const QCommandLineParser&, const Options&, Output& o, CliLink*)
{
    return listPorts(o);
}

int runRead(const QCommandLineParser&, const Options&, Output& o, CliLink* link)
{
    return readOnce(*link, o);
}

int runMonitor(const QCommandLineParser& parser, const Options& opt, Output& o, CliLink* link)
{
    MonitorOptions m;
    m.csv = parser.isSet(opt.csv);
    if (!toInt(parser.value(opt.interval), 1, kMaxIntervalMs, m.intervalMs))
        return o.fail(
            QStringLiteral("--interval espera milissegundos, de 1 a %1").arg(kMaxIntervalMs),
            kExitUsage);
    if (!toInt(parser.value(opt.count), 0, kMaxCount, m.count))
        return o.fail(QStringLiteral("--count espera um número de leituras, de 0 (até Ctrl-C) "
                                     "a %1")
                          .arg(kMaxCount),
                      kExitUsage);
    return monitor(*link, m, o);
}

int runWrite(const QCommandLineParser& parser, const Options& opt, Output& o, CliLink* link)
{
    // An empty value would be taken for an option not given: a write
    // without its record, or without the file it was to send.
    std::vector<const QCommandLineOption*> given{&opt.from, &opt.record};
    for (const auto& field : opt.fields)
        given.push_back(&field.second);
    for (const QCommandLineOption* option : given) {
        if (parser.isSet(*option) && parser.value(*option).trimmed().isEmpty())
            return o.fail(QStringLiteral("--%1: o valor está vazio").arg(option->names().first()),
                          kExitUsage);
    }
    WriteArguments arguments;
    for (const auto& [slot, option] : opt.fields)
        arguments.fields[size_t(slot)] = parser.value(option);
    arguments.fromFile = parser.value(opt.from);
    WriteOptions w;
    w.dryRun = parser.isSet(opt.dryRun);
    w.force = parser.isSet(opt.force);
    w.recordFile = parser.value(opt.record);
    return write(*link, arguments, w, o);
}

// The plan is the one argument; with --json, one object per row's attempt
// (its record line) and the totals last.
int runCommission(const QCommandLineParser& parser, const Options& opt, Output& o, CliLink* link)
{
    for (const QCommandLineOption* option : {&opt.record, &opt.campaignReport, &opt.operatorName}) {
        if (parser.isSet(*option) && parser.value(*option).trimmed().isEmpty())
            return o.fail(QStringLiteral("--%1: o valor está vazio").arg(option->names().first()),
                          kExitUsage);
    }
    CommissionOptions c;
    c.planFile = parser.positionalArguments().value(0);
    if (c.planFile.isEmpty())
        return o.fail(QStringLiteral("commission: falta o plano (PLANO.csv)"), kExitUsage);
    c.recordFile = parser.value(opt.record);
    c.reportFile = parser.value(opt.campaignReport);
    c.operatorName = parser.value(opt.operatorName);
    c.resume = parser.isSet(opt.resume);
    c.force = parser.isSet(opt.force);
    c.overwrite = parser.isSet(opt.overwrite);
    if (c.resume && c.recordFile.isEmpty())
        return o.fail(QStringLiteral("--resume precisa de --record ARQUIVO"), kExitUsage);
    return commission(*link, c, o);
}

int runSimulate(const QCommandLineParser& parser, const Options& opt, Output& o, CliLink*)
{
    SimulateOptions s;
    s.linkPath = parser.value(opt.link);
    if (parser.isSet(opt.link) && s.linkPath.trimmed().isEmpty())
        return o.fail(QStringLiteral("--link: o caminho está vazio"), kExitUsage);
    if (parser.isSet(opt.injectFault) && parser.value(opt.injectFault).trimmed().isEmpty())
        return o.fail(QStringLiteral("--fault: o valor está vazio"), kExitUsage);
    s.fault =
        parser.isSet(opt.injectFault) ? parser.value(opt.injectFault) : QStringLiteral("none");
    s.drift = !parser.isSet(opt.steady);
    if (parser.isSet(opt.turnaround) &&
        !toInt(parser.value(opt.turnaround), 0, 60000, s.turnaroundMs))
        return o.fail(QStringLiteral("--turnaround espera milissegundos, de 0 a 60000"),
                      kExitUsage);
    if (parser.isSet(opt.noise) && !toInt(parser.value(opt.noise), 1, 60000, s.noiseMs))
        return o.fail(QStringLiteral("--noise espera milissegundos, de 1 a 60000"), kExitUsage);
    if (parser.isSet(opt.modelCode) && !toInt(parser.value(opt.modelCode), 0, 65535, s.modelCode))
        return o.fail(QStringLiteral("--model espera o código do modelo, de 0 a 65535"),
                      kExitUsage);
    return simulate(s, o);
}

int runReport(const QCommandLineParser& parser, const Options& opt, Output& o, CliLink*)
{
    if (parser.value(opt.output).trimmed().isEmpty())
        return o.fail(QStringLiteral("report: falta -o ARQUIVO (.pdf ou .html)"), kExitUsage);
    if (parser.isSet(opt.reportPlan) && parser.value(opt.reportPlan).trimmed().isEmpty())
        return o.fail(QStringLiteral("--plan: o valor está vazio"), kExitUsage);
    return reportFromRecord({parser.positionalArguments().constFirst(), parser.value(opt.output),
                             parser.value(opt.reportOperator), parser.value(opt.reportPlan),
                             parser.isSet(opt.overwrite)},
                            o);
}

// The commands: each one's options (after --json, and after --port,
// --simulate and --timeout for one that talks to the device) in the order
// its help lists them, and its handler.
using Handler = int (*)(const QCommandLineParser&, const Options&, Output&, CliLink*);
struct Command
{
    const char* name;
    bool talksToDevice;
    bool takesFields; // the configuration's fields, before its own options
    std::array<QCommandLineOption Options::*, 7> options; // the unused ones null
    Handler run;
    const char* operand = nullptr; // the one file a command takes, named in its help
    const char* operandHelp = nullptr;
};
constexpr Command kCommands[] = {
    {"ports", false, false, {}, runPorts},
    {"read", true, false, {}, runRead},
    {"monitor", true, false, {&Options::interval, &Options::count, &Options::csv}, runMonitor},
    {"write",
     true,
     true,
     {&Options::from, &Options::record, &Options::force, &Options::dryRun},
     runWrite},
    {"simulate",
     false,
     false,
     {&Options::link, &Options::injectFault, &Options::turnaround, &Options::noise,
      &Options::steady, &Options::modelCode},
     runSimulate},
    {"report",
     false,
     false,
     {&Options::output, &Options::reportOperator, &Options::reportPlan, &Options::overwrite},
     runReport,
     "REGISTRO",
     "O registro de tentativas (--record de write ou commission)."},
    {"commission",
     true,
     false,
     {&Options::record, &Options::campaignReport, &Options::operatorName, &Options::resume,
      &Options::force, &Options::overwrite},
     runCommission,
     "PLANO.csv",
     "O plano: uma linha por transmissor (tag, sensor, zero, lower, upper, fault, direction, "
     "force), separada por ';' com vírgula decimal ou por ',' com ponto."},
};

// A command's --help in the program's words: Qt's usage line names the
// program as started, without the command, and speaks English.
QString commandHelp(const QCommandLineParser& parser, const Command& command)
{
    QString text = parser.helpText();
    text.replace(0, text.indexOf(u'\n'),
                 QStringLiteral("uso: quorva-cli %1 [opções]").arg(QLatin1String(command.name)) +
                     (command.operand ? u' ' + QLatin1String(command.operand) : QString()));
    text.replace(QStringLiteral("\nOptions:\n"), QStringLiteral("\nOpções:\n"));
    text.replace(QStringLiteral("\nArguments:\n"), QStringLiteral("\nArgumentos:\n"));
    return text;
}

// An option whose value was given more than once ("--zero 0,1 --zero 0,2"):
// which one was meant cannot be known, as with a key twice in a file.
QString optionGivenTwice(const QCommandLineParser& parser)
{
    for (const QString& name : parser.optionNames()) {
        if (parser.values(name).size() > 1)
            return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }
    return {};
}

int runCommand(QTextStream& out, QTextStream& err)
{
    QStringList args = QCoreApplication::arguments();
    const QString command = args.value(1);
    if (command.isEmpty() || command == "-h" || command == "--help" || command == "help") {
        out << kUsage;
        return command.isEmpty() ? kExitUsage : kExitOk;
    }
    if (command == "-v" || command == "--version") {
        out << "quorva-cli 1.01" << Qt::endl;
        return kExitOk;
    }
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command& c) { return command == c.name; });
    if (found == std::end(kCommands)) {
        err << "quorva-cli: comando desconhecido '" << command << "'\n" << kUsage;
        return kExitUsage;
    }
    const Command& chosen = *found;
    args.removeAt(1);

    Options opt;
    const QCommandLineOption help{{"h", "help"}, "Mostra esta ajuda."};
    QCommandLineParser parser;
    parser.addOption(help);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (chosen.talksToDevice)
        parser.addOptions({opt.port, opt.simulate, opt.timeout});
    parser.addOption(opt.json);
    if (chosen.takesFields) {
        for (const auto& field : opt.fields)
            parser.addOption(field.second);
    }
    for (QCommandLineOption Options::*option : chosen.options) {
        if (option)
            parser.addOption(opt.*option);
    }
    if (chosen.operand)
        parser.addPositionalArgument(QLatin1String(chosen.operand),
                                     QString::fromUtf8(chosen.operandHelp));
    if (!parser.parse(args)) {
        err << "quorva-cli: " << parseErrorText(parser.errorText()) << Qt::endl;
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        out << commandHelp(parser, chosen);
        return kExitOk;
    }
    if (const QString twice = optionGivenTwice(parser); !twice.isEmpty()) {
        err << "quorva-cli: opção " << twice << " repetida: dê um só valor" << Qt::endl;
        return kExitUsage;
    }
    const qsizetype operands = chosen.operand ? 1 : 0;
    if (parser.positionalArguments().size() > operands) {
        err << "quorva-cli: argumento inesperado '" << parser.positionalArguments().at(operands)
            << "'" << Qt::endl;
        return kExitUsage;
    }
    if (parser.positionalArguments().size() < operands) {
        err << "quorva-cli: " << command << ": falta " << chosen.operand << Qt::endl;
        return kExitUsage;
    }

    Output o{out, err, parser.isSet(opt.json)};
    installInterruptHandler();
    if (!chosen.talksToDevice)
        return chosen.run(parser, opt, o, nullptr);
    LinkChoice choice;
    if (const int status = chooseLink(parser, opt, o, choice); status != kExitOk)
        return status;
    CliLink link(choice);
    return chosen.run(parser, opt, o, &link);
}

// A session without a runtime folder (ssh, a service) is no fault of the
// report's; Qt's note about it on standard error would read as one.
QtMessageHandler qtMessageHandler = nullptr;
void withoutRuntimeFolderNote(QtMsgType type, const QMessageLogContext& context,
                              const QString& text)
{
    if (!text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        qtMessageHandler(type, context, text);
}

} // namespace

int main(int argc, char* argv[])
{
    const bool outputClosed = fillClosedStandardDescriptors(); // before Qt opens anything
    // The reports are drawn with Qt's text engine and PDF writer, which need
    // a GUI application, on a platform that needs no display.
    const bool draws = argc > 1 && (std::strcmp(argv[1], "report") == 0 ||
                                    std::strcmp(argv[1], "commission") == 0);
    if (draws) {
        qputenv("QT_QPA_PLATFORM", reportDrawingPlatform());
        qtMessageHandler = qInstallMessageHandler(withoutRuntimeFolderNote);
    }
    const std::unique_ptr<QCoreApplication> app =
        draws ? std::make_unique<QGuiApplication>(argc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorva-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.01"));
    CheckedDescriptor standardOutput(STDOUT_FILENO, outputClosed);
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    const int status = runCommand(out, err);
    // A report that did not reach its file is a failure, unless one was
    // already reported.
    out.flush();
    if (!standardOutput.finish() && status == kExitOk) {
        err << "quorva-cli: " << writeFailureText(out) << Qt::endl;
        return kExitFailed;
    }
    return status;
}
