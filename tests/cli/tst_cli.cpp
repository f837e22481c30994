// quorva-cli run as a user runs it: each sub-command against the virtual
// transmitter, in process and on a pseudo-terminal, the pseudo-terminal
// transmitter checked with mbpoll (Debian's libmodbus master), and the
// commissioning write against Debian's pymodbus.
#include "clitestsupport.h"
#include "ptypair.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// `program` run to its end; its standard output closed ("-"), a pipe whose
// reader has gone ("|") or a file.
Run runTo(const QString& program, const QStringList& args, const QString& stdoutFile)
{
    QProcess p;            // one still running after 20 s is killed as p goes
    if (stdoutFile == "-") // started with standard output closed
        p.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    else if (stdoutFile == "|") // into a pipe whose reader has gone
        p.setChildProcessModifier([] {
            int ends[2];
            if (::pipe(ends) == 0 && ::dup2(ends[1], STDOUT_FILENO) >= 0)
                ::close(ends[0]);
        });
    else if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    p.start(program, args);
    const bool exited = p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit;
    return {exited ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Arguments as typed, split at their spaces; a path, which may hold one, goes apart.
QStringList words(const QString& line)
{
    return line.split(u' ', Qt::SkipEmptyParts);
}

Run quorva(const QStringList& args, const QString& stdoutFile = {})
{
    return stdoutFile.isEmpty() ? run(cli, args) : runTo(cli, args, stdoutFile);
}

// quorva-cli on `port`: the words of `line`, then `more`.
Run quorvaOn(const QString& port, const QString& line, const QStringList& more = {})
{
    return quorva(words(line) + more << "--port" << port);
}

Run mbpoll(const QString& options, const QString& port, const QString& values = {})
{
    return run("mbpoll", words("-m rtu -a 1 -b 9600 -P none -t 4 -1 " + options)
                             << port << words(values));
}

bool containsAll(const QString& text, const QStringList& parts)
{
    return std::all_of(parts.begin(), parts.end(),
                       [&](const QString& p) { return text.contains(p); });
}
// Every text after the first is in it; it is shown when one is not.
#define VERIFY_CONTAINS(text, ...) QVERIFY2(containsAll(text, {__VA_ARGS__}), qPrintable(text))

// `quorva-cli simulate` on a pseudo-terminal, under a link of its own folder;
// stopped and started again as a test needs.
class Simulator
{
public:
    explicit Simulator(const QStringList& options = {"--steady"}) : m_options(options) { start(); }
    ~Simulator() { stop(); }
    void start() { m_process.start(cli, QStringList{"simulate", "--link", path()} + m_options); }
    int stop(int signal = SIGTERM) // the simulator removes its link and exits
    {
        if (m_process.state() != QProcess::NotRunning)
            ::kill(pid_t(m_process.processId()), signal);
        m_process.waitForFinished(3000); // one still running is killed with m_process
        return m_process.exitCode();
    }
    void signal(int signal) { ::kill(pid_t(m_process.processId()), signal); }
    QString path() const { return m_dir.filePath("transmitter"); }
    // Its link leads to a live pseudo-terminal (a killed one's may be left).
    bool ready()
    {
        return QTest::qWaitFor([this] { return QFile::exists(path()); });
    }

private:
    QTemporaryDir m_dir;
    QStringList m_options;
    QProcess m_process;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_files;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(cli), "QUORVA_CLI names the built program");
        QVERIFY(writeFile(m_files.filePath("text"), "Modelo: TRV-A\n"));
        QVERIFY(writeFile(m_files.filePath("no-sensor.json"), R"({"sensorTypeIndex":-1})"));
        QVERIFY(writeFile(m_files.filePath("half.json"), R"({"rangeUpperTenths":650.5})"));
        QVERIFY(writeFile(m_files.filePath("disagree.json"),
                          R"({"rangeUpper":500,"rangeUpperTenths":6500})"));
        QVERIFY(writeFile(m_files.filePath("plan.csv"), "tag;zero\nTT-9;0,6\n"));
        const QByteArray zero = R"({"zeroAdjust":0.5})";
        QVERIFY(writeFile(m_files.filePath("1MiB.json"), zero + QByteArray(1048576 - 18, ' ')));
        QVERIFY(writeFile(m_files.filePath("big.json"), zero + QByteArray(1048576 - 17, ' ')));
        // A key given twice, once spelled with an escape; and keys repeated
        // only in objects of their own, which name nothing twice.
        QVERIFY(
            writeFile(m_files.filePath("twice.json"), R"({"rangeUpper":500,"rangeUpper":600})"));
        QVERIFY(writeFile(m_files.filePath("escaped.json"),
                          R"({"zeroAdjust":0.5,"zero\u0041djust":1.5})"));
        QVERIFY(writeFile(m_files.filePath("nested.json"),
                          R"({"before":{"model":"TRV-A","zeroAdjust":1},"zeroAdjust":0.5,)"
                          R"("after":{"model":"TRV-B","zeroAdjust":2},"sensorType":"Pt100",)"
                          R"("rangeLower":-200,"rangeUpper":650,"sensorError":"none",)"
                          R"("outputDirection":"rising"})"));
        QVERIFY(::mkfifo(QFile::encodeName(m_files.filePath("fifo")).constData(), 0600) == 0);
    }
    // The mutation check wants only whether anything fails, so its first
    // failure ends the run there.
    void cleanup()
    {
        if (QTest::currentTestFailed() && qEnvironmentVariableIsSet("QUORVA_FAIL_FAST")) {
            m_files.remove();
            std::exit(1);
        }
    }

    // One run each: its status, texts on stdout, what stdout matches as a
    // whole, and the one complaint on stderr (none when `err` is empty).
    void commands_data()
    {
        QTest::addColumn<QStringList>("simulator"); // simulate options; the command gets its port
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("err");
        const auto row = [](const char* name, const QStringList& args, int status,
                            const QStringList& out, const QString& err = {},
                            const QString& pattern = {}, const QStringList& simulator = {}) {
            QTest::newRow(name) << simulator << args << status << out << pattern << err;
        };
        row("read", {"read", "--simulate"}, 0,
            {"Modelo:          TRV-A", "Firmware:        1,01", "V. Mín.:         -200 °C",
             "Sinal de Saída:  4 a 20 mA"},
            {}, R"(Temperatura:\s+\d+,\d °C)");
        // Numbers are JSON numbers, texts stay texts.
        row("read as JSON", words("read --simulate --json"), 0,
            {R"("rangeLower":-200,)", R"("rangeUpper":650,)", R"("firmware":1.01,)",
             R"("unit":"°C")"},
            {}, R"("measuredValue":\d+\.\d,)");
        row("monitor as CSV", words("monitor --simulate --count 2 --interval 50 --csv"), 0, {}, {},
            R"(^timestamp;measured;unit;error\n(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d;\d+,\d;°C;\n){2}$)");
        // A field holding the separator or a quote is quoted (RFC 4180).
        row("monitor CSV quotes a field",
            words("monitor --port /tmp/quorva;\"missing --count 1 --csv"), 1, {},
            "/tmp/quorva;\"missing: porta não encontrada",
            "^timestamp;measured;unit;error\\n[^;]+;;;\"Erro ao abrir o dispositivo USB. "
            "\\(/tmp/quorva;\"\"missing: porta não encontrada\\)\"\\n$");
        // Every field given, no device is needed. The request as pymodbus frames it.
        const QString dryRun =
            "write --port /dev/quorva-missing --dry-run --lower -200 --upper 650 "
            "--fault 1 --direction 0 --sensor ";
        row("dry run prints the request", words(dryRun + "Pt100 --zero -0,5"), 0, {}, {},
            "^Registros 1 a 11: 0000 0000 0000 FFFB 0000 F830 1964 0001 0000 0000 0000\n"
            "Pedido \\(31 bytes\\): 01 10 00 00 00 0B 16 00 00 00 00 00 00 FF FB 00 00 F8 30 19 "
            "64 00 01 00 00 00 00 00 00 DC 39\n$");
        // A whole number of degrees is a zero adjustment too; 9,9 itself is allowed.
        for (const auto& [zero, word] : {std::pair{"-5", "FFCE"}, std::pair{"9,9", "0063"}})
            row(qPrintable(QStringLiteral("dry run takes zero %1").arg(zero)),
                words(dryRun + "0 --zero " + zero), 0, {}, {},
                QStringLiteral("^Registros 1 a 11: 0000 0000 0000 %1 0000 F830 1964 0001 0000 "
                               "0000 0000\n")
                    .arg(word));
        // Scripts get the outcome as JSON on standard output too.
        row("read fails as JSON", words("read --port /dev/quorva-missing --json"), 1, {},
            "porta não encontrada",
            "^\\{\"error\":\"Erro ao abrir o dispositivo USB. \\(/dev/quorva-missing: porta não "
            "encontrada\\)\",\"outcome\":\"port-not-found\"\\}\\n$");
        row("monitor fails as JSON", words("monitor --port /dev/quorva-missing --json"), 1,
            {"\"outcome\":\"port-not-found\",\"timestamp\":\""}, "porta não encontrada");

        // Every argument is checked before the port is opened: a port that
        // does not exist would otherwise answer first, with status 1.
        const auto refused = [&](const char* name, const QStringList& args, const QString& err) {
            row(name, QStringList{"write", "--port", "/dev/quorva-missing"} + args, 2, {}, err);
        };
        const QString invalid = "Erro: Dado Inválido,Verificar.", fifo = m_files.filePath("fifo");
        refused("no field", {}, "nada a escrever");
        row("refused as JSON", words("write --port /dev/quorva-missing --zero 10 --json"), 2, {},
            "Erro:Valor deve ser",
            R"(^\{"error":"Erro:Valor deve ser >= -9,9 ou <= 9,9","outcome":"refused"\}\n$)");
        refused("zero not a number", {"--zero", "abc"}, invalid + " (--zero abc)");
        refused("range not whole", {"--upper", "12,5"},
                "'12,5' não é um valor inteiro válido (--upper)");
        refused("an option twice", words("--zero 0,1 --zero 0,2 --dry-run"),
                "opção --zero repetida: dê um só valor");
        refused("range too large", {"--upper", "4000"}, invalid + " (V. Máx.)");
        refused("range reversed", words("--lower 700 --upper 600"),
                "Erro: V. Mín. deve ser menor que V. Máx.");
        refused("from a text", {"--from", m_files.filePath("text")}, "não é o JSON de");
        refused("from no sensor", {"--from", m_files.filePath("no-sensor.json")},
                invalid + " (Tipo de Sensor)");
        refused("from a fraction", {"--from", m_files.filePath("half.json")},
                "rangeUpperTenths em");
        // Only a regular file of at most 1 MiB: nothing waits for a writer or
        // reads without end.
        refused("from a device", {"--from", "/dev/zero"},
                "--from: /dev/zero: é um dispositivo, não um arquivo comum");
        refused("from a FIFO", {"--from", fifo}, "--from: " + fifo + ": é um FIFO");
        refused("from a folder", {"--from", m_files.path()}, ": é uma pasta");
        refused("from keys that disagree", {"--from", m_files.filePath("disagree.json")},
                "rangeUpper (500) e rangeUpperTenths (6500) não concordam");
        refused("from a key given twice", {"--from", m_files.filePath("twice.json")},
                "--from: em " + m_files.filePath("twice.json") +
                    ", a chave rangeUpper aparece mais de uma vez; deixe uma só");
        refused("from a key given twice, once escaped",
                {"--from", m_files.filePath("escaped.json")},
                "a chave zeroAdjust aparece mais de uma vez");
        row("from keys repeated only inside objects",
            words("write --port /dev/quorva-missing --dry-run --from")
                << m_files.filePath("nested.json"),
            0, {"Registros 1 a 11: 0000 0000 0000 0005 0000 F830 1964 0000 0000 0000 0000\n"});
        refused("record in a missing folder", {"--zero", "1,0", "--record", "/nonexistent/r.jsonl"},
                "--record: /nonexistent/r.jsonl: não existe");
        refused("record to a FIFO", {"--zero", "1,0", "--record", fifo},
                "--record: " + fifo + ": é um FIFO");
        refused("record to a device", {"--zero", "1,0", "--record", "/dev/null"},
                "--record: /dev/null: é um dispositivo");
        refused("record empty", {"--zero", "1,0", "--record", ""}, "--record: o valor está vazio");
        refused("record to a system file", {"--zero", "1,0", "--record", "/proc/version"},
                "--record: /proc/version: ");

        const auto device = [&](const char* name, const char* fault, const QStringList& args,
                                const QStringList& out, const QString& err) {
            row(name, args, 1, out, err, {}, {"--steady", "--fault", fault});
        };
        // Each way a reply goes wrong, in words and as codes, on stdout and in
        // the one complaint: a refusal is the reading's own, no read brought
        // the line into step.
        for (const auto& [fault, said, codes] :
             {std::tuple{"no-reply", "o transmissor não respondeu (* Falha de comunicação *)",
                         R"("outcome":"no-reply")"},
              {"bad-crc", "resposta inválida do transmissor (CRC inválido)",
               R"("fault":"bad-crc","outcome":"bad-reply")"},
              {"exception:2", "o transmissor recusou o pedido * Exceção 2: endereço ilegal *",
               R"("outcome":"exception")"},
              {"exception", "o transmissor recusou o pedido * Exceção 4: falha no transmissor *",
               R"("outcome":"exception")"},
              {"other-slave", "resposta inválida do transmissor (resposta de outro escravo)",
               R"("fault":"wrong-slave","outcome":"bad-reply")"},
              {"wrong-function", "resposta inválida do transmissor (código de função errado)",
               R"("fault":"wrong-function","outcome":"bad-reply")"},
              {"wrong-byte-count", "resposta inválida do transmissor (número de bytes errado)",
               R"("fault":"bad-byte-count","outcome":"bad-reply")"},
              {"truncated", "resposta inválida do transmissor (resposta incompleta)",
               R"("fault":"truncated","outcome":"bad-reply")"}})
            device(fault, fault, {"read", "--json"},
                   {QStringLiteral("{\"error\":\"Erro de leitura: %1\",%2}\n").arg(said, codes)},
                   said);
        device("bad CRC, as a code", "bad-crc", words("monitor --count 1 --json"),
               {R"("fault":"bad-crc","outcome":"bad-reply")"}, "1 leitura(s)");
        device("write refused", "refuse-writes", words("write --zero 1,0"), {},
               "não foi confirmada pelo transmissor: o transmissor recusou o pedido * Exceção 4");
        device("write not kept", "ignore-writes", words("write --zero 1,0 --json"),
               {R"("differences":[{"field":"zeroAdjustTenths","read":0,"written":10}])",
                R"("error":"a releitura difere do que foi enviado")",
                R"("outcome":"read-back-differs")"},
               "a releitura difere");
        device("write not kept, as JSON, the sensor's range taken", "ignore-writes",
               words("write --sensor K --upper 1370 --json"),
               {R"("takenRange":{"rangeLower":-100,"sensorType":"Termopar K"})"},
               "a releitura difere");
        // Another sensor without a range takes the sensor's; differences are
        // in each field's own format.
        device("write not kept, in the fields' words", "ignore-writes",
               words("write --sensor K --upper 1370"),
               {"Faixa do Termopar K: V. Mín. -100 °C.\n",
                "Diferença em Tipo de Sensor: enviado Termopar K, lido Pt100\n",
                "Diferença em V. Mín.: enviado -100, lido -200\n",
                "Diferença em V. Máx.: enviado 1370, lido 650\n"},
               "a releitura difere");
        // A slave answering each request 1050 ms late, its value drifting: no
        // value printed ever answers an earlier request; the readings fail.
        // A loaded machine may hear an answer past its wait: the next is then not sent.
        row("late replies never printed", {"monitor", "--count", "3"}, 1, {},
            "3 leitura(s) falharam",
            R"(^(.*(não respondeu \(\* Falha de comunicação \*\)|não enviada: .* sincronismo)\n){3}$)",
            {"--turnaround", "1050"});
        // Read once a second on a misbehaving line, each row a value (v), an
        // error (e) or no reply (n; or not sent while the master waits for
        // the late answer): a slave later than the timeout never has a value
        // printed, and is said to be silent, not garbled or drowned; a
        // never-quiet line never stops the readings; a second copy of a reply
        // is never taken for the next request's.
        const auto monitor = [&](const char* name, const QString& simulator, const QString& options,
                                 const QString& rows) {
            QString pattern = "^timestamp;measured;unit;error\n";
            for (const QChar row : rows)
                pattern += row == 'v' ? "[^;\n]+;23,5;°C;\n"
                           : row == 'n'
                               ? "[^;\n]+;;;Erro de leitura: (o transmissor não respondeu .+|"
                                 "leitura não enviada: a linha ainda não está em sincronismo)\n"
                               : "[^;\n]+;;;[^\n]+\n";
            const auto failed = rows.size() - rows.count('v');
            row(name, words("monitor --csv " + options), failed ? 1 : 0, {},
                failed ? QStringLiteral("%1 leitura(s) falharam").arg(failed) : QString(),
                pattern + "$", words("--steady " + simulator));
        };
        monitor("every reply 2500 ms late", "--turnaround 2500", "--count 4", "nnnn");
        monitor("every reply 1500 ms late, --timeout 2000", "--turnaround 1500",
                "--count 3 --timeout 2000", "vvv");
        monitor("every reply twice, 2 ms apart", "--fault double-reply", "--count 4", "vvvv");
        monitor("a burst every second, silent", "--noise 1000 --fault no-reply", "--count 3",
                "eee");

        row("no command", {}, 2, {"Estado de saída: 0 sucesso; 1 falha"});
        row("help", {"--help"}, 0, {"Estado de saída: 0 sucesso; 1 falha"});
        row("unknown command", {"frobnicate"}, 2, {}, "comando desconhecido 'frobnicate'");
        row("port and simulate", words("read --simulate --port /dev/x"), 2, {},
            "--port e --simulate não podem ser usados juntos");
        row("unknown fault", words("simulate --fault gremlins"), 2, {},
            "falha desconhecida 'gremlins'");
        row("fault only the in-process driver plays", words("simulate --fault read-refused"), 2, {},
            "a falha read-refused não se aplica ao pseudo-terminal");
        row("simulate help lists the faults it plays", {"simulate", "--help"}, 0,
            {"no-reply, bad-crc", "double-reply"}, {}, "^(?![\\s\\S]*(-refused|unplugged))");
        row("count not a number", words("monitor --simulate --count x"), 2, {},
            "--count espera um número de leituras, de 0 (até Ctrl-C) a 31536000");
        row("blank port", {"read", "--port", " "}, 2, {}, "--port: o nome da porta está vazio");
        row("port not serial", {"read", "--port", m_files.filePath("text")}, 1, {},
            "text: não é uma porta serial)");
        row("port a folder", {"read", "--port", m_files.path()}, 1, {}, ": é uma pasta)");
        row("link empty", {"simulate", "--link", ""}, 2, {}, "--link: o caminho está vazio");
        row("fault empty", {"simulate", "--fault", ""}, 2, {}, "--fault: o valor está vazio");
        row("a code on a fault without one", words("simulate --fault no-reply:3"), 2, {},
            "a falha no-reply não leva código: 'no-reply:3'");
        row("link where none can be", words("simulate --link /proc/quorva"), 2, {},
            "--link /proc/quorva: a pasta /proc não aceita links");
        row("timeout not a number", words("read --simulate --timeout x"), 2, {},
            "--timeout espera milissegundos, de 100 a 10000");
        row("unknown option", words("write --zero 1,0 --bogus"), 2, {},
            "opção desconhecida: bogus");
        row("version", {"--version"}, 0, {}, {}, "^quorva-cli 1.01\n$");
        row("write help", {"write", "--help"}, 0,
            {"uso: quorva-cli write [opções]\n", "--record <ARQUIVO>"});
        row("ports as JSON", {"ports", "--json"}, 0, {}, {}, R"(^\[.*\]\n$)");
    }
    void commands()
    {
        QFETCH(QStringList, simulator);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QStringList, out);
        QFETCH(QString, pattern);
        QFETCH(QString, err);
        std::optional<Simulator> sim;
        if (!simulator.isEmpty()) {
            QVERIFY(sim.emplace(simulator).ready());
            args << "--port" << sim->path();
        }
        const Run r = quorva(args);
        QCOMPARE(r.status, status);
        QVERIFY2(containsAll(r.out, out) && QRegularExpression(pattern).match(r.out).hasMatch(),
                 qPrintable(r.out));
        // One line; after an unknown command, the usage follows it.
        const QString complaint = r.err.section('\n', 0, 0), rest = r.err.section('\n', 1);
        QVERIFY2(err.isEmpty() ? r.err.isEmpty()
                               : complaint.startsWith("quorva-cli: ") && complaint.contains(err) &&
                                     (rest.isEmpty() || rest.startsWith("uso: quorva-cli ")),
                 qPrintable(r.err));
    }

    // Both ends of every documented range are taken, and one past each is
    // refused (status 2) before anything is opened. A value taken lets the
    // command go on to its next step: a dry run of every field prints its
    // request, a monitor finds no port.
    // (The range and span a sensor allows: tst_transmitter's checks.)
    void limitsOfEveryRange_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        const QString missing = "/dev/quorva-missing", invalid = "Erro: Dado Inválido,Verificar.";
        // Pt100 from 500 to 650 °C: within B's range too.
        const QStringList write{"write",   "--port", missing,       "--dry-run", "--sensor", "0",
                                "--zero",  "0",      "--lower",     "500",       "--upper",  "650",
                                "--fault", "0",      "--direction", "0"};
        const QStringList monitor{"monitor", "--port", missing, "--count", "1"};
        const QString noPort =
            "Erro ao abrir o dispositivo USB. (" + missing + ": porta não encontrada)";
        // Command, option, the values taken, those refused, and why.
        const std::tuple<QStringList, const char*, QString, QString, QString> ranges[] = {
            {write, "--timeout", "100 10000", "99 10001",
             "--timeout espera milissegundos, de 100 a 10000"},
            {monitor, "--interval", "1 3600000", "0 3600001",
             "--interval espera milissegundos, de 1 a 3600000"},
            {monitor, "--count", "0 31536000", "-1 31536001",
             "--count espera um número de leituras, de 0 (até Ctrl-C) a 31536000"},
            {write, "--zero", "-9,9", "-10,0", invalid + " (--zero %1)"}, // a digit too many
            {write, "--zero", "9,9", "10,0", "Erro:Valor deve ser >= -9,9 ou <= 9,9"},
            // Index 9 is a pressure transmitter's own (readableFilesAndPressure).
            {write, "--sensor", "0 8", "-1 10", invalid + " (--sensor %1)"},
            {write, "--fault", "0 2", "-1 3", invalid + " (--fault %1)"},
            {write, "--direction", "0 1", "-1 2", invalid + " (--direction %1)"},
            {write, "--from", m_files.filePath("1MiB.json"), m_files.filePath("big.json"),
             "--from: %1: maior que 1 MiB; não é o JSON de 'quorva-cli read --json'"},
        };
        for (const auto& [command, option, taken, refused, refusal] : ranges) {
            for (const QString& value : (taken + ' ' + refused).split(' ')) {
                QStringList args = command;
                if (const qsizetype at = args.indexOf(option); at >= 0)
                    args[at + 1] = value;
                else
                    args << option << value;
                const auto [status, said] =
                    !taken.split(' ').contains(value)
                        ? std::pair{2, QString(refusal).replace("%1", value)}
                    : command == monitor ? std::pair{1, noPort}
                                         : std::pair{0, QString()};
                QTest::addRow("%s %s", option, qPrintable(value.section('/', -1)))
                    << args << status << (said.isEmpty() ? said : "quorva-cli: " + said + '\n');
            }
        }
    }
    void limitsOfEveryRange()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        const Run r = quorva(args);
        QCOMPARE(r.err, err);
        QCOMPARE(r.status, status);
        QVERIFY2(status != 2 || r.out.isEmpty(), qPrintable(r.out));
    }

    // An output that cannot be written fails the command with one line naming
    // it and why, and nothing half-written: standard output, the CSV or JSON
    // of a monitor (which stops by itself) on a full device, and the record on
    // a file system filled up to a few bytes short of the line, or held by
    // another program (waited for a while, not for ever). The transmitter
    // holds the configuration all the same: said where it can be read.
    void outputsThatCannotBeWritten_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("stdoutFile"); // "-": closed; "|": a pipe nobody reads
        QTest::addColumn<QString>("recordOn");   // a small full tmpfs, or held by flock
        QTest::addColumn<QString>("said");       // after "quorva-cli: "; %1 the record
        const auto row = [](const char* name, const QString& args, const QString& said,
                            const QString& out = "/dev/full", const QString& recordOn = {}) {
            QTest::newRow(name) << words(args) << out << recordOn << said + '\n';
        };
        const QString full = "não foi possível escrever em /dev/full (saída padrão): sem espaço "
                             "no dispositivo",
                      closed = "não foi possível escrever na saída padrão: fechada",
                      sent = "; a configuração foi enviada, confirmada e relida",
                      lost = "--record: não foi possível gravar em %1: %2; a configuração foi "
                             "enviada e confirmada, mas esta tentativa não ficou registrada";
        row("read", "read --simulate", full);
        row("read as JSON", "read --simulate --json", full);
        row("monitor as CSV", "monitor --simulate --csv --interval 50", full);
        row("monitor as JSON", "monitor --simulate --json", full);
        row("help", "write --help", full);
        row("read, standard output closed", "read --simulate", closed, "-");
        row("write, standard output closed", "write --simulate --zero 0,1", closed + sent, "-");
        row("write into a full device", "write --simulate --zero 0,1 --json", full + sent);
        row("monitor into a pipe nobody reads", "monitor --simulate --csv",
            "não foi possível escrever na saída padrão: a outra ponta foi fechada", "|");
        row("record on a full disk", "write --simulate --zero 0,1 --record",
            lost.arg("%1", "sem espaço no dispositivo"), {}, "tmpfs");
        row("record held by another program", "write --simulate --zero 0,1 --record",
            lost.arg("%1", "bloqueado por outro programa"), {}, "flock");
    }
    void outputsThatCannotBeWritten()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, stdoutFile);
        QFETCH(QString, recordOn);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString record = dir.filePath("lote.jsonl");
        const QByteArray lines(4000, 'x'); // what the record held before
        QProcess holder;
        if (recordOn == "tmpfs") {
            if (run("mount", words("-t tmpfs -o size=16k tmpfs") << dir.path()).status != 0)
                QSKIP("mounting a small tmpfs is not permitted here");
            QVERIFY(writeFile(record, lines));
            QFile filler(dir.filePath("filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(4096, '\0')) == 4096 && filler.flush()) {
            }
        } else if (recordOn == "flock") {
            holder.start("flock", {record, "sleep", "20"});
            QVERIFY(QTest::qWaitFor([&] { return QFile::exists(record); }));
            QTest::qWait(200);
        }
        const Run r = quorva(recordOn.isEmpty() ? args : args << record, stdoutFile);
        const QByteArray kept = contentOf(record);
        holder.kill();
        holder.waitForFinished();
        if (recordOn == "tmpfs")
            run("umount", {dir.path()});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, "quorva-cli: " + (recordOn.isEmpty() ? said : said.arg(record)));
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out)); // no success claimed
        QCOMPARE(kept, recordOn == "tmpfs" ? lines : QByteArray());
    }

    // Only the port "Conectar" would open is marked, in words as in JSON.
    void portsMarkTheOneDeviceZeroOpens()
    {
        const Run text = quorva({"ports"}), json = quorva({"ports", "--json"});
        QCOMPARE(text.status + json.status, 0);
        for (const QJsonValue p : QJsonDocument::fromJson(json.out.toUtf8()).array()) {
            const QString mark = p["deviceIndex0"].toBool() ? "* " : "  ";
            QVERIFY2(text.out.contains('\n' + mark + p["port"].toString() + ' ') ||
                         text.out.startsWith(mark + p["port"].toString() + ' '),
                     qPrintable(text.out));
        }
    }

    // Every time carries its UTC offset, whatever the zone: +00:00 in UTC.
    // Readings come once a second unless --interval says otherwise.
    void timesCarryTheirOffset()
    {
        for (const auto& [zone, offset] :
             {std::pair{"TZ=UTC", "+00:00;"}, std::pair{"TZ=America/Sao_Paulo", "-03:00;"}}) {
            const Run r = run("env", {zone, cli, "monitor", "--simulate", "--count", "2", "--csv"});
            QVERIFY2(r.status == 0 && r.out.count(offset) == 2, qPrintable(r.out));
            const QStringList rows = r.out.split('\n', Qt::SkipEmptyParts);
            const auto at = [&](int row) {
                return QDateTime::fromString(rows.value(row).section(';', 0, 0), Qt::ISODateWithMs);
            };
            QVERIFY2(at(1).msecsTo(at(2)) >= 900, qPrintable(r.out));
        }
    }

    // Configure one transmitter, check what it reads back, then copy its
    // configuration to the next with --from.
    void writeReadBackAndCommissionInSeries()
    {
        Simulator source, target;
        QVERIFY(source.ready() && target.ready());
        Run r = quorvaOn(source.path(), "write --sensor K --zero 0.7 --lower -100 --upper 1370 "
                                        "--fault high --direction falling");
        QVERIFY2(r.status == 0 && r.out == "Enviado... configuração confirmada e relida.\n",
                 qPrintable(r.out + r.err));
        // A dry run reads the device for the fields not given and sends nothing;
        // a limit past the device's own sensor is refused, and nothing is sent.
        QCOMPARE(quorvaOn(source.path(), "write --zero 0,3 --dry-run").status, 0);
        r = quorvaOn(source.path(), "write --upper 1400");
        QVERIFY2(r.status == 2 && r.err.contains("V. Máx. 1400°C fora da Faixa do Sensor"),
                 qPrintable(r.err));
        const QString configuration = quorvaOn(source.path(), "read --json").out;
        VERIFY_CONTAINS(configuration, R"("outputDirection":"20 a 4 mA")", R"("rangeLower":-100,)",
                        R"("rangeUpper":1370,)", R"("sensorError":"Sinal de Saída > 20 mA")",
                        R"("sensorType":"Termopar K")", R"("zeroAdjust":0.7,)");
        const QString file = m_files.filePath("source.json");
        QVERIFY(writeFile(file, configuration.toUtf8()));
        QCOMPARE(quorvaOn(target.path(), "write --from", {file}).status, 0);
        QCOMPARE(quorvaOn(target.path(), "read --json").out, configuration);
        // --force sends it; then a range the device holds does not block an
        // edit of another field, nor does naming the sensor it already has.
        r = quorvaOn(target.path(), "write --upper 1400 --force --json");
        QVERIFY2(r.status == 0 && r.out.contains(R"("readBackMatches":true)") &&
                     r.out.contains(R"("outcome":"ok")") && !r.out.contains("error"),
                 qPrintable(r.out));
        QCOMPARE(quorvaOn(target.path(), "write --zero 0,1").status, 0);
        QCOMPARE(quorvaOn(target.path(), "write --sensor K --zero 0,2 --force").status, 0);
        const QString edited = quorvaOn(target.path(), "read --json").out;
        VERIFY_CONTAINS(edited, R"("rangeUpper":1400,)", R"("sensorType":"Termopar K")",
                        R"("zeroAdjust":0.2,)");
        // Another sensor takes its own range; with --json the JSON is all there is.
        r = quorvaOn(target.path(), "write --sensor J --json");
        QVERIFY2(r.status == 0 && r.out.startsWith('{') && r.out.count('\n') == 1,
                 qPrintable(r.out));
    }

    // A file written by hand needs only the readable keys. A pressure
    // transmitter's own configuration goes back to it, and to no other.
    void readableFilesAndPressure()
    {
        Simulator pressure, pt100;
        QVERIFY(pressure.ready() && pt100.ready());
        const QString hand = m_files.filePath("hand.json"), own = m_files.filePath("own.json");
        QVERIFY(writeFile(hand, R"({"sensorType":"Termopar K","zeroAdjust":0.7,
            "rangeUpper":1370,"outputDirection":"20 a 4 mA"})"));
        QCOMPARE(quorvaOn(pt100.path(), "write --from", {hand}).status, 0);
        Run r = quorvaOn(pt100.path(), "read --json");
        VERIFY_CONTAINS(r.out, R"("sensorTypeIndex":2,)", R"("zeroAdjustTenths":7})",
                        R"("rangeLowerTenths":-1000,)", R"("rangeUpperTenths":13700,)",
                        R"("outputDirectionIndex":1,)");
        QCOMPARE(mbpoll("-r 5", pressure.path(), "9 63536").status, 0); // function 16
        r = quorvaOn(pressure.path(), "read --json");
        VERIFY_CONTAINS(r.out, R"("sensorType":"Pressão",)", R"("sensorTypeIndex":9,)");
        QVERIFY(writeFile(own, r.out.toUtf8()));
        QCOMPARE(quorvaOn(pressure.path(), "write --from", {own}).status, 0);
        r = quorvaOn(pt100.path(), "write --from", {own});
        QVERIFY2(r.status == 2 &&
                     r.err.contains("(Tipo de Sensor: Pressão só num transmissor de pressão)"),
                 qPrintable(r.err));
    }

    // Ctrl-C, SIGTERM and SIGHUP end every wait at its next step: a reading
    // from a slow device, a monitor on a line whose noise never lets it
    // settle (a write: writeSignalledAtEachStep). So does the port
    // vanishing (the simulator ended) while a request is on the line: the
    // reason is named, and a write sent may have been taken.
    void signalsEndEveryWait_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("toSimulator"); // the signal ends the simulator, not the command
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err"); // a pattern
        const QString gone = "Erro ao tentar receber dados\\. \\(/.+/transmitter: a porta deixou "
                             "de responder \\(cabo desconectado\\?\\)\\)";
        QTest::newRow("read") << QStringList{"read"} << false << 400 << SIGTERM << 130
                              << "^quorva-cli: interrompido\n$";
        // The monitor is signalled once it has said the line is busy.
        QTest::newRow("monitor on noise") << QStringList{"monitor"} << false << 0 << SIGHUP << 1
                                          << "^quorva-cli: \\d+ leitura\\(s\\) falharam\n$";
        QTest::newRow("read, port gone")
            << QStringList{"read"} << true << 400 << SIGTERM << 1 << "^quorva-cli: " + gone + "\n$";
        // The reading before the write takes 0,7 s; the write is on the line
        // for the next 0,7 s.
        QTest::newRow("write, port gone")
            << words("write --zero 0,7") << true << 1000 << SIGTERM << 1
            << "^quorva-cli: a configuração foi enviada; não foi possível confirmar \\(" + gone +
                   "\\)\n$";
    }
    void signalsEndEveryWait()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, toSimulator);
        QFETCH(int, afterMs);
        QFETCH(int, signal);
        QFETCH(int, status);
        QFETCH(QString, err);
        // Replies 0,7 s after a request; for the monitor, silent beside
        // another talker every 5 ms.
        Simulator sim(words(args.first() == "monitor" ? "--steady --noise 5 --fault no-reply"
                                                      : "--steady --turnaround 600"));
        QVERIFY(sim.ready());
        QProcess command;
        command.start(cli, args << "--port" << sim.path());
        QByteArray out;
        if (args.first() == "monitor") // bytes kept coming with no request on the line
            QTRY_VERIFY_WITH_TIMEOUT((out += command.readAllStandardOutput())
                                         .contains("linha ocupada (chegam bytes sem pedido)"),
                                     20000);
        QTest::qWait(afterMs);
        if (toSimulator)
            sim.stop(signal);
        else
            ::kill(pid_t(command.processId()), signal);
        QVERIFY(command.waitForFinished(1500));
        QCOMPARE(command.exitCode(), status);
        const QString said = QString::fromUtf8(command.readAllStandardError());
        QVERIFY2(QRegularExpression(err).match(said).hasMatch(), qPrintable(said));
    }

    // A write signalled at each of its steps, the device answering each
    // request after 1 s: before its request is on the line, nothing is sent;
    // once it is, its outcome is awaited and only the read-back is skipped,
    // or, no echo coming, the line says the configuration went out without
    // being confirmed. A campaign's row is written the same way. Nothing goes
    // out after the signal, the status is 130, the record says what was sent,
    // and the device holds what reached it.
    void writeSignalledAtEachStep_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("framesOut"); // signalled once these went out
        QTest::addColumn<bool>("echoLost"); // the device stops before it answers
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("said"); // the line, after "quorva-cli: " or the row's tag
        QTest::addColumn<QString>("zeroHeld");
        const QStringList write = words("write --zero 0,6");
        const QString unread = "interrompido: a configuração foi enviada e confirmada pelo "
                               "transmissor, mas não foi relida";
        for (const auto& [name, signal] :
             {std::pair{"SIGINT", SIGINT}, std::pair{"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}}) {
            QTest::addRow("%s reading the device first", name)
                << write << 1 << false << signal << "interrompido: nada foi enviado"
                << "0,0";
            QTest::addRow("%s awaiting the echo", name)
                << write << 2 << false << signal << unread << "0,6";
            QTest::addRow("%s awaiting an echo that never comes", name)
                << write << 2 << true << signal
                << "interrompido: a configuração foi enviada, mas não foi confirmada pelo "
                   "transmissor: o transmissor não respondeu (* Falha de comunicação *)"
                << "0,6";
            QTest::addRow("%s reading back", name)
                << write << 3 << false << signal << unread << "0,6";
        }
        // Found by a reading, read and written.
        QTest::newRow("commission, SIGINT awaiting the echo")
            << QStringList{"commission", m_files.filePath("plan.csv")} << 3 << false << SIGINT
            << unread << "0,6";
    }
    void writeSignalledAtEachStep()
    {
        QFETCH(QStringList, args);
        QFETCH(int, framesOut);
        QFETCH(bool, echoLost);
        QFETCH(int, signal);
        QFETCH(QString, said);
        QFETCH(QString, zeroHeld);
        Simulator sim(words("--steady --turnaround 1000"));
        QVERIFY(sim.ready());
        const QString record = m_files.filePath(QTest::currentDataTag());
        QProcess write;
        // Each frame sent is logged.
        write.setEnvironment(QProcess::systemEnvironment()
                             << "QT_LOGGING_RULES=quorva.link.frames.debug=true");
        write.start(cli,
                    args << "--port" << sim.path() << words("--timeout 1500 --record") << record);
        QString err; // the frames sent, logged, and the program's own lines
        const auto framesSent = [&] {
            return int((err += QString::fromUtf8(write.readAllStandardError())).count(": tx "));
        };
        QTRY_VERIFY2_WITH_TIMEOUT(framesSent() == framesOut, qPrintable(err), 10000);
        if (echoLost)
            sim.signal(SIGSTOP);
        ::kill(pid_t(write.processId()), signal);
        QVERIFY(write.waitForFinished(5000));
        if (echoLost)
            sim.signal(SIGCONT);
        QCOMPARE(framesSent(), framesOut); // nothing after the signal
        QCOMPARE(write.exitCode(), 130);
        QCOMPARE(
            (write.readAllStandardOutput() + err).split('\n').filter("interrompido"),
            QStringList{(args[0] == "write" ? "quorva-cli: " : "[1/1] TT-9: falhou: ") + said});
        const QJsonObject line = QJsonDocument::fromJson(contentOf(record)).object();
        QCOMPARE(line["outcome"].toString() + ": " + line["error"].toString(),
                 "interrupted: " + said);
        QCOMPARE(line["sent"]["zeroAdjustTenths"].toInt(-1), framesOut > 1 ? 6 : -1);
        QTest::qWait(1200); // the answer to a request left behind has come
        const Run r = quorvaOn(sim.path(), "read --timeout 1500");
        QVERIFY2(r.out.contains("Zero:            " + zeroHeld + " °C"), qPrintable(r.out + r.err));
    }

    // pymodbus serves a V. Máx. of 650,5, which no whole-number text gives
    // back: an edit of the zero alone writes that word back as it was.
    void commissioningAgainstPymodbus()
    {
        PtyPair pty;
        QVERIFY2(pty.startPymodbusSlave(), "socat and python3-pymodbus are needed");
        const QString port = pty.masterEnd(), record = m_files.filePath("pymodbus.jsonl");
        QCOMPARE(mbpoll("-r 6", port, "64536 6505").status, 0);
        QCOMPARE(quorvaOn(port, "write --zero 0,5 --record", {record}).status, 0);
        // Registers 4 to 9: zero 0,5, Termopar K, -100, 650,5, above, falling.
        QCOMPARE(pty.slaveRegisters().mid(3, 6), (QList<int>{5, 2, 64536, 6505, 2, 1}));

        const QString pt100 = m_files.filePath("pt100.json");
        QVERIFY(writeFile(pt100, R"({"sensorTypeIndex":0,"zeroAdjustTenths":-5,
            "rangeLowerTenths":-2000,"rangeUpperTenths":6500,"sensorErrorIndex":1,
            "outputDirectionIndex":0})"));
        QCOMPARE(quorvaOn(port, "write --from", {pt100, "--record", record}).status, 0);
        QCOMPARE(pty.slaveRegisters().mid(0, 11),
                 (QList<int>{0, 0, 0, 0xFFFB, 0, 0xF830, 0x1964, 1, 0, 0, 0}));

        // One line an attempt: the device before (zero -0,3), the words sent,
        // the read-back (zero 0,5), the outcome.
        const QStringList lines =
            QString::fromUtf8(contentOf(record)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        VERIFY_CONTAINS(lines[0], R"("firmware":1.23,)", R"("model":"TRV-C")",
                        "\"port\":\"" + port + '"', R"("rangeUpper":650.5,)",
                        R"("zeroAdjust":-0.3,)", R"("words":[0,0,0,5,2,64536,6505,2,1,0,0])",
                        R"("zeroAdjust":0.5,)", R"("outcome":"ok")");
        VERIFY_CONTAINS(lines[1], R"("zeroAdjust":-0.5,)", R"("outcome":"ok")");
        QVERIFY2(
            QRegularExpression(R"("time":"[-\dT:.]+[+-]\d\d:\d\d")").match(lines[0]).hasMatch(),
            qPrintable(lines[0]));
    }

    // A firmware that knows only its own master's reading (registers 1 to
    // 37), played by pymodbus: another count is refused (exception 3) or
    // ignored. It reads, is monitored and written to, run after run.
    void readingsOnlySlave_data()
    {
        QTest::addColumn<QString>("others");
        QTest::newRow("other counts refused") << "refuse";
        QTest::newRow("other counts ignored") << "ignore";
    }
    void readingsOnlySlave()
    {
        QFETCH(QString, others);
        PtyPair pty;
        QVERIFY2(pty.startPymodbusSlave({}, {"--only-reading", others}), "pymodbus is needed");
        const QString port = pty.masterEnd();
        QCOMPARE(mbpoll("-r 1 -c 5", port).status, 1); // the slave as described
        Run r = quorvaOn(port, "read");
        VERIFY_CONTAINS(r.out, "Temperatura:     21,7 °C");
        r = quorvaOn(port, "monitor --count 3 --interval 200 --csv");
        QVERIFY2(r.status == 0 && r.out.count(";21,7;°C;\n") == 3, qPrintable(r.out + r.err));
        r = quorvaOn(port, "write --zero 0,5");
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(pty.slaveRegisters().at(3), 5);
    }

    // A device that sends each reply twice: the read-back is its own, run after run.
    void writeToADeviceAnsweringTwice()
    {
        Simulator sim(words("--steady --fault double-reply"));
        QVERIFY(sim.ready());
        for (const char* zero : {"0,2", "-0,7", "0,4"}) {
            const Run r = quorvaOn(sim.path(), "write --zero", {zero});
            QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        }
    }

    // A monitor holds its port: another program is told it is busy, under
    // any name of the port (the link, the pseudo-terminal it leads to).
    // When the port goes and comes back, the readings fail, then resume.
    void monitorHoldsThePortAndResumesWhenItReturns()
    {
        Simulator sim;
        QVERIFY(sim.ready());
        QProcess monitor;
        monitor.start(cli, words("monitor --interval 300 --count 14 --csv --port") << sim.path());
        QVERIFY(QTest::qWaitFor([&] { return monitor.peek(4096).count('\n') >= 3; }));
        for (const QString& name : {sim.path(), QFileInfo(sim.path()).canonicalFilePath()}) {
            const Run busy = quorvaOn(name, "read");
            QVERIFY2(busy.status == 1 && busy.err.contains("porta em uso por outro programa"),
                     qPrintable(busy.err));
        }
        sim.stop();
        QTest::qWait(1000);
        sim.start();
        QVERIFY(sim.ready());
        QVERIFY(monitor.waitForFinished(15000));
        // 14 readings: some measured, then some failed, the first naming the
        // port lost under it as the window names it, then measured again.
        const QString printed = QString::fromUtf8(monitor.readAllStandardOutput());
        const QRegularExpressionMatch m =
            QRegularExpression(R"(^timestamp;measured;unit;error\n(.+;23,5;°C;\n)+)"
                               R"(((.+;;;Erro ao tentar (enviar|receber) dados\. \()" +
                               QRegularExpression::escape(sim.path()) +
                               R"(: a porta deixou de responder \(cabo desconectado\?\)\)\n))"
                               R"((.+;;;.+\n)*)(.+;23,5;°C;\n)+$)")
                .match(printed);
        QVERIFY2(m.hasMatch() && printed.count('\n') == 15, qPrintable(printed));
        QCOMPARE(monitor.exitCode(), 1);
        QCOMPARE(
            QString(monitor.readAllStandardError()),
            QStringLiteral("quorva-cli: %1 leitura(s) falharam\n").arg(m.captured(2).count('\n')));
    }

    // A simulator touches no link but its own: a --link path that is taken or
    // cannot be made is refused, and what is there stays as it was, a running
    // simulator's link too; its own it removes at exit.
    void simulatorTouchesOnlyItsOwnLink()
    {
        Simulator live;
        QVERIFY(live.ready());
        const QString livePty = QFileInfo(live.path()).symLinkTarget();
        QTemporaryDir dir;
        const QString file = dir.filePath("file"), folder = dir.filePath("folder"),
                      fifo = dir.filePath("fifo");
        QVERIFY(writeFile(file, "keep me") && QDir().mkdir(folder) &&
                ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QList<std::pair<QString, QString>> refusals{
            {dir.filePath("missing/transmitter"),
             "a pasta " + dir.filePath("missing") + " não existe"},
            {file + "/transmitter", file + " não é uma pasta"}};
        for (const QString& path : {file, folder, fifo, live.path()})
            refusals.append({path, "já existe e não será substituído; escolha outro caminho"});
        for (const auto& [path, reason] : refusals) {
            const Run r = quorva({"simulate", "--link", path});
            QCOMPARE(r.status, 2);
            QCOMPARE(r.err, "quorva-cli: --link " + path + ": " + reason + "\n");
        }
        QCOMPARE(contentOf(file), "keep me");
        QVERIFY(QFileInfo(folder).isDir() && QFileInfo::exists(fifo));
        QCOMPARE(QFileInfo(live.path()).symLinkTarget(), livePty);
        // Through its link, the simulator still answers mbpoll, and registers
        // 4 to 9 take what another master writes; quorva-cli reads it.
        Run r = mbpoll("-r 1 -c 37", live.path());
        QCOMPARE(r.status, 0);
        VERIFY_CONTAINS(r.out, "[2]: \t235\n", "[6]: \t63536 (-2000)\n", "[10]: \t101\n",
                        "[11]: \t420\n", "[37]: \t");
        QCOMPARE(mbpoll("-r 4", live.path(), "65531 2 64536 13700 1 1").status, 0);
        r = quorvaOn(live.path(), "read");
        VERIFY_CONTAINS(r.out, "Zero:            -0,5 °C", "Tipo de Sensor:  Termopar K");

        // It removes its own link at exit: on Ctrl-C, SIGTERM and a closed
        // terminal (SIGHUP) alike.
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            QVERIFY(live.ready());
            QCOMPARE(live.stop(signal), 0);
            QVERIFY(!QFileInfo(live.path()).isSymLink());
            live.start();
        }
        // Killed outright, a simulator leaves its link to a pseudo-terminal
        // that is gone; the next one takes the path over.
        QVERIFY(live.ready());
        live.stop(SIGKILL);
        QVERIFY(QFileInfo(live.path()).isSymLink());
        live.start();
        QVERIFY(live.ready());
        QCOMPARE(quorvaOn(live.path(), "read").status, 0);
        // What replaced its link while it ran stays at exit.
        QVERIFY(QFile::remove(live.path()) && writeFile(live.path(), "someone else's"));
        live.stop();
        QVERIFY(QFileInfo(live.path()).isFile());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
