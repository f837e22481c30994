// quorva-cli: the window's link, register map and checks from a shell, for
// commissioning transmitters in series and for scripts.
#include "cli/commands.h"
#include "cli/interrupt.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

using namespace quorva::cli;

namespace {

const char kUsage[] =
    "uso: quorva-cli <comando> [opções]\n"
    "\n"
    "Comandos:\n"
    "  ports      lista as portas seriais (* a que o dispositivo 0 abre)\n"
    "  read       uma leitura do transmissor\n"
    "  monitor    uma leitura a cada --interval ms (--count N, --csv)\n"
    "  write      envia a configuração (--sensor --zero --lower --upper --fault --direction,\n"
    "             --dry-run mostra o pedido sem enviar)\n"
    "  simulate   transmissor virtual num pseudo-terminal (--link PATH, --fault NOME)\n"
    "\n"
    "Opções comuns: --port NOME | --simulate, --json. 'quorva-cli <comando> --help' detalha.\n";

struct Options
{
    QCommandLineOption port{"port", "Porta serial NOME em vez do primeiro cabo USB FTDI.", "NOME"};
    QCommandLineOption simulate{"simulate", "Usa o transmissor virtual embutido."};
    QCommandLineOption json{"json", "Saída em JSON (chaves estáveis, em inglês)."};
    QCommandLineOption interval{"interval", "Intervalo entre leituras, em ms (1000).", "MS",
                                "1000"};
    QCommandLineOption count{"count", "Número de leituras (0: até Ctrl-C).", "N", "0"};
    QCommandLineOption csv{"csv", "Saída CSV (separador ';', vírgula decimal)."};
    QCommandLineOption sensor{"sensor", "Tipo de sensor: índice 0-8 ou nome (Pt100, J, K...).",
                              "TIPO"};
    QCommandLineOption zero{"zero", "Ajuste de zero em °C, de -9,9 a 9,9.", "VALOR"};
    QCommandLineOption lower{"lower", "Valor mínimo da faixa, °C inteiros.", "VALOR"};
    QCommandLineOption upper{"upper", "Valor máximo da faixa, °C inteiros.", "VALOR"};
    QCommandLineOption writeFault{"fault", "Erro do sensor: índice 0-2, texto, none/low/high.",
                                  "SAÍDA"};
    QCommandLineOption direction{"direction", "Sinal de saída: índice 0-1, texto, rising/falling.",
                                 "SENTIDO"};
    QCommandLineOption dryRun{"dry-run", "Mostra o pedido de 31 bytes em hexadecimal, sem enviar."};
    QCommandLineOption link{"link", "Cria PATH apontando para o pseudo-terminal.", "PATH"};
    QCommandLineOption injectFault{"fault",
                                   "Falha a injetar: no-reply, bad-crc, exception[:N], "
                                   "other-slave, truncated, noise, refuse-writes, ignore-writes...",
                                   "NOME"};
    QCommandLineOption turnaround{"turnaround", "Tempo de resposta do transmissor, em ms.", "MS"};
    QCommandLineOption steady{"steady", "Temperatura fixa (sem deriva)."};
};

bool toInt(const QString& text, int minimum, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= minimum;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorva-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.01"));
    QTextStream out(stdout);
    QTextStream err(stderr);

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
    args.removeAt(1);
    args[0] += QStringLiteral(" ") + command;

    Options opt;
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const bool needsLink = command == "read" || command == "monitor" || command == "write";
    if (needsLink)
        parser.addOptions({opt.port, opt.simulate});
    parser.addOption(opt.json);
    if (command == "monitor")
        parser.addOptions({opt.interval, opt.count, opt.csv});
    else if (command == "write")
        parser.addOptions({opt.sensor, opt.zero, opt.lower, opt.upper, opt.writeFault,
                           opt.direction, opt.dryRun});
    else if (command == "simulate")
        parser.addOptions({opt.link, opt.injectFault, opt.turnaround, opt.steady});
    else if (command != "ports" && command != "read") {
        err << "quorva-cli: comando desconhecido '" << command << "'\n" << kUsage;
        return kExitUsage;
    }
    if (!parser.parse(args)) {
        err << "quorva-cli: " << parser.errorText() << Qt::endl;
        return kExitUsage;
    }
    if (parser.isSet("help")) {
        out << parser.helpText();
        return kExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << "quorva-cli: argumento inesperado '" << parser.positionalArguments().first() << "'"
            << Qt::endl;
        return kExitUsage;
    }

    Output o{out, err, parser.isSet(opt.json)};
    installInterruptHandler();
    if (command == "ports")
        return listPorts(o);
    if (command == "simulate") {
        SimulateOptions s;
        s.linkPath = parser.value(opt.link);
        s.fault = parser.value(opt.injectFault);
        s.drift = !parser.isSet(opt.steady);
        if (parser.isSet(opt.turnaround) && !toInt(parser.value(opt.turnaround), 0, s.turnaroundMs))
            return o.fail(QStringLiteral("--turnaround espera milissegundos"), kExitUsage);
        return simulate(s, o);
    }

    if (parser.isSet(opt.port) && parser.isSet(opt.simulate))
        return o.fail(QStringLiteral("--port e --simulate não podem ser usados juntos"),
                      kExitUsage);
    CliLink link(LinkChoice{parser.value(opt.port), parser.isSet(opt.simulate)});
    if (command == "read")
        return readOnce(link, o);
    if (command == "monitor") {
        MonitorOptions m;
        m.csv = parser.isSet(opt.csv);
        if (!toInt(parser.value(opt.interval), 1, m.intervalMs) ||
            !toInt(parser.value(opt.count), 0, m.count))
            return o.fail(QStringLiteral("--interval e --count esperam números inteiros"),
                          kExitUsage);
        return monitor(link, m, o);
    }
    WriteOptions w;
    w.sensor = parser.value(opt.sensor);
    w.zero = parser.value(opt.zero);
    w.lower = parser.value(opt.lower);
    w.upper = parser.value(opt.upper);
    w.fault = parser.value(opt.writeFault);
    w.direction = parser.value(opt.direction);
    w.dryRun = parser.isSet(opt.dryRun);
    return writeConfiguration(link, w, o);
}
