// quorva-cli run as a user runs it: each sub-command against the virtual
// transmitter, in process and on a pseudo-terminal, the pseudo-terminal
// transmitter checked with mbpoll (Debian's libmodbus master), and the
// commissioning write against Debian's pymodbus.
#include "ptypair.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& args, int timeoutMs = 20000)
{
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString cli()
{
    return qEnvironmentVariable("QUORVA_CLI");
}

Run quorva(const QStringList& args)
{
    return run(cli(), args);
}

QJsonObject jsonOf(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

// `quorva-cli simulate` on a pseudo-terminal for the length of a test, under
// its own link or one a test names.
class Simulator
{
public:
    explicit Simulator(const QStringList& extra = {"--steady"}, const QString& link = {})
        : m_link(link.isEmpty() ? m_dir.filePath("transmitter") : link)
    {
        m_process.start(cli(), QStringList{"simulate", "--link", m_link} + extra);
    }
    ~Simulator() { stop(); }
    void stop(int signal = SIGTERM) // the simulator removes its link and exits
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished();
    }
    QString path() const { return m_link; }
    bool ready()
    {
        for (int i = 0; i < 100 && m_process.state() != QProcess::NotRunning; ++i) {
            if (QFileInfo(path()).isSymLink())
                return true;
            QTest::qWait(30);
        }
        return false;
    }
    QProcess& process() { return m_process; }

private:
    QTemporaryDir m_dir;
    QString m_link;
    QProcess m_process;
};

// Reads what a running process printed until `lines` lines have come.
QStringList linesFrom(QProcess& p, QString& buffer, int lines)
{
    for (int i = 0; i < 200 && buffer.count('\n') < lines; ++i) {
        p.waitForReadyRead(50);
        buffer += QString::fromUtf8(p.readAllStandardOutput());
    }
    return buffer.split('\n', Qt::SkipEmptyParts);
}

QStringList mbpollArgs(const QString& port, const QStringList& more)
{
    return QStringList{"-m", "rtu", "-a", "1", "-b", "9600", "-P", "none", "-t", "4", "-1"} + more +
           QStringList{port};
}

QMap<int, int> mbpollValues(const QString& output)
{
    QMap<int, int> values;
    static const QRegularExpression line(QStringLiteral("^\\[(\\d+)\\]:\\s+(\\d+)"),
                                         QRegularExpression::MultilineOption);
    auto it = line.globalMatch(output);
    while (it.hasNext()) {
        const auto m = it.next();
        values[m.captured(1).toInt()] = m.captured(2).toInt();
    }
    return values;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QList<QJsonObject> jsonLines(const QString& path)
{
    QFile f(path);
    QList<QJsonObject> lines;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
    }
    return lines;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_files;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(cli()), "QUORVA_CLI names the built program");
        QVERIFY(writeFile(m_files.filePath("text"), "Modelo: TRV-A\n"));
        QVERIFY(writeFile(m_files.filePath("no-sensor.json"), R"({"sensorTypeIndex":-1})"));
        QVERIFY(writeFile(m_files.filePath("half.json"), R"({"rangeUpperTenths":650.5})"));
    }

    void readAndMonitorOutput()
    {
        Run r = quorva({"read", "--simulate"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("Modelo:          TRV-A"), qPrintable(r.out));
        QVERIFY(r.out.contains("Firmware:        1,01"));
        QVERIFY(r.out.contains("V. Mín.:         -200 °C"));
        QVERIFY(r.out.contains("Sinal de Saída:  4 a 20 mA"));
        QVERIFY(QRegularExpression("Temperatura:\\s+\\d+,\\d °C").match(r.out).hasMatch());

        // Numbers are JSON numbers, texts stay texts.
        r = quorva({"read", "--simulate", "--json"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(R"("rangeLower":-200,)") &&
                     r.out.contains(R"("rangeUpper":650,)") &&
                     r.out.contains(R"("firmware":1.01,)") && r.out.contains(R"("unit":"°C")"),
                 qPrintable(r.out));
        QVERIFY(QRegularExpression(R"("measuredValue":\d+\.\d,)").match(r.out).hasMatch());

        r = quorva({"monitor", "--simulate", "--count", "2", "--interval", "50", "--csv"});
        QCOMPARE(r.status, 0);
        const QStringList lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], "timestamp;measured;unit;error");
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT[\\d:.]+;\\d+,\\d;°C;$")
                    .match(lines[1])
                    .hasMatch());
    }

    void dryRunPrintsTheWordsAndSendsNothing()
    {
        const Run r =
            quorva({"write", "--simulate", "--dry-run", "--zero", "-0,5", "--lower", "-200",
                    "--upper", "650", "--sensor", "Pt100", "--fault", "1", "--direction", "0"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(),
                 "Registros 1 a 11: 0000 0000 0000 FFFB 0000 F830 1964 0001 0000 0000 0000");
    }

    // Every argument is checked before the port is opened: a port that does
    // not exist would otherwise answer first, with status 1.
    void writeRefusesBeforeOpeningThePort_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const QStringList& args, const char* message) {
            QTest::newRow(name) << args << QString::fromUtf8(message);
        };
        row("no field", {}, "nada a escrever");
        row("zero not a number", {"--zero", "abc"}, "Erro: Dado Inválido,Verificar. (--zero abc)");
        row("zero out of range", {"--zero", "10,0"}, "Erro:Valor deve ser >= -9,9 ou <= 9,9");
        row("range not whole", {"--upper", "12,5"}, "'12,5' não é um valor inteiro válido");
        row("range too large", {"--upper", "4000"}, "Erro: Dado Inválido,Verificar. (V. Máx.)");
        row("direction past the items", {"--direction", "2"},
            "Erro: Dado Inválido,Verificar. (--direction 2)");
        row("range reversed", {"--lower", "700", "--upper", "600"},
            "Erro: V. Mín. deve ser menor que V. Máx.");
        row("range past the sensor", {"--sensor", "pt100", "--lower", "-200", "--upper", "651"},
            "V. Máx. 651°C fora da Faixa do Sensor (-200 a 650°C). Use --force");
        row("from a text", {"--from", m_files.filePath("text")}, "não é o JSON de");
        row("from no sensor", {"--from", m_files.filePath("no-sensor.json")},
            "Erro: Dado Inválido,Verificar. (Tipo de Sensor)");
        row("from a fraction", {"--from", m_files.filePath("half.json")}, "rangeUpperTenths em");
        row("record in a missing folder", {"--zero", "1,0", "--record", "/nonexistent/r.jsonl"},
            "--record: não foi possível abrir");
    }
    void writeRefusesBeforeOpeningThePort()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Run r = quorva(QStringList{"write", "--port", "/dev/quorva-missing"} + args);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.startsWith("quorva-cli: ") && r.err.contains(message), qPrintable(r.err));
        QCOMPARE(r.err.count('\n'), 1);
    }

    void writeIsConfirmedAndReadBack()
    {
        Simulator sim;
        QVERIFY(sim.ready());
        Run r = quorva({"write", "--port", sim.path(), "--sensor", "K", "--zero", "0.7", "--lower",
                        "-100", "--upper", "1370", "--fault", "high", "--direction", "falling"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("confirmada"), qPrintable(r.out + r.err));
        r = quorva({"read", "--port", sim.path(), "--json"});
        QJsonObject o = jsonOf(r.out);
        QCOMPARE(o["sensorType"].toString(), "Termopar K");
        QCOMPARE(o["zeroAdjust"].toDouble(), 0.7);
        QCOMPARE(o["rangeLower"].toDouble(), -100);
        QCOMPARE(o["sensorError"].toString(), "Sinal de Saída > 20 mA");
        QCOMPARE(o["outputDirection"].toString(), "20 a 4 mA");
        // A limit crossed against the device's sensor type is refused, and
        // nothing is sent, unless --force confirms it.
        r = quorva({"write", "--port", sim.path(), "--upper", "1400"});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("V. Máx. 1400°C fora da Faixa do Sensor"), qPrintable(r.err));
        QCOMPARE(jsonOf(quorva({"read", "--port", sim.path(), "--json"}).out)["rangeUpper"], 1370);
        r = quorva({"write", "--port", sim.path(), "--upper", "1400", "--force", "--json"});
        QCOMPARE(r.status, 0);
        QVERIFY(jsonOf(r.out)["readBackMatches"].toBool());
        // A range the device holds does not block an edit of another field.
        QCOMPARE(quorva({"write", "--port", sim.path(), "--zero", "0,2"}).status, 0);
        o = jsonOf(quorva({"read", "--port", sim.path(), "--json"}).out);
        QCOMPARE(o["rangeUpper"].toDouble(), 1400);
        QCOMPARE(o["zeroAdjust"].toDouble(), 0.2);
        QCOMPARE(o["sensorType"].toString(), "Termopar K");
    }

    void deviceFailures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("output");
        QTest::newRow("no reply") << "no-reply" << QStringList{"read"}
                                  << "não respondeu (* Falha de comunicação *)"
                                  << "";
        QTest::newRow("bad CRC, in Portuguese")
            << "bad-crc" << QStringList{"read"} << "resposta inválida do transmissor (CRC inválido)"
            << "";
        QTest::newRow("bad CRC, as a code")
            << "bad-crc" << QStringList{"monitor", "--count", "1", "--json"} << "1 leitura(s)"
            << R"("fault":"bad-crc","outcome":"bad-reply")";
        QTest::newRow("write refused") << "refuse-writes" << QStringList{"write", "--zero", "1,0"}
                                       << "não foi confirmada pelo transmissor: o transmissor "
                                          "recusou o pedido * Exceção 4"
                                       << "";
        QTest::newRow("write not kept")
            << "ignore-writes" << QStringList{"write", "--zero", "1,0", "--json"}
            << "a releitura difere"
            << R"("differences":[{"field":"zeroAdjustTenths","read":0,"written":10}])";
    }
    void deviceFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QFETCH(QString, output);
        Simulator sim({"--steady", "--fault", fault});
        QVERIFY(sim.ready());
        const Run r = quorva(args + QStringList{"--port", sim.path()});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(error), qPrintable(r.err));
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.out.contains(output), qPrintable(r.out));
    }

    // Read one transmitter, write its configuration to the next.
    void commissioningInSeries()
    {
        Simulator source, target;
        QVERIFY(source.ready() && target.ready());
        QCOMPARE(quorva({"write", "--port", source.path(), "--sensor", "J", "--zero", "-1,5",
                         "--lower", "0", "--upper", "400", "--fault", "low", "--direction", "1"})
                     .status,
                 0);
        const QString configuration = m_files.filePath("source.json");
        QVERIFY(writeFile(configuration,
                          quorva({"read", "--port", source.path(), "--json"}).out.toUtf8()));
        QCOMPARE(quorva({"write", "--port", target.path(), "--from", configuration}).status, 0);
        const QJsonObject written = jsonOf(quorva({"read", "--port", target.path(), "--json"}).out);
        const QJsonObject expected{{"sensorTypeIndex", 1},  {"zeroAdjustTenths", -15},
                                   {"rangeLowerTenths", 0}, {"rangeUpperTenths", 4000},
                                   {"sensorErrorIndex", 1}, {"outputDirectionIndex", 1}};
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(written[it.key()], it.value());
    }

    // pymodbus serves a V. Máx. of 650,5, which no whole-number text gives
    // back: an edit of the zero alone writes that word back as it was.
    void commissioningAgainstPymodbus()
    {
        PtyPair pty;
        QVERIFY2(pty.startPymodbusSlave(), "socat and python3-pymodbus are needed");
        QCOMPARE(
            run("mbpoll", mbpollArgs(pty.masterEnd(), {"-r", "6"}) + QStringList{"64536", "6505"})
                .status,
            0);
        const QString record = m_files.filePath("pymodbus.jsonl");
        Run r = quorva({"write", "--port", pty.masterEnd(), "--zero", "0,5", "--record", record});
        QCOMPARE(r.status, 0);
        // Registers 4 to 9: zero 0,5, Termopar K, -100, 650,5, above, falling.
        QCOMPARE(pty.slaveRegisters().mid(3, 6), (QList<int>{5, 2, 64536, 6505, 2, 1}));

        const QString configuration = m_files.filePath("pt100.json");
        QVERIFY(writeFile(configuration, R"({"sensorTypeIndex":0,"zeroAdjustTenths":-5,
            "rangeLowerTenths":-2000,"rangeUpperTenths":6500,"sensorErrorIndex":1,
            "outputDirectionIndex":0})"));
        r = quorva(
            {"write", "--port", pty.masterEnd(), "--from", configuration, "--record", record});
        QCOMPARE(r.status, 0);
        QCOMPARE(pty.slaveRegisters().mid(0, 11),
                 (QList<int>{0, 0, 0, 0xFFFB, 0, 0xF830, 0x1964, 1, 0, 0, 0}));

        const QList<QJsonObject> lines = jsonLines(record);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0]["port"].toString(), pty.masterEnd());
        QCOMPARE(lines[0]["model"].toString(), "TRV-C");
        QCOMPARE(lines[0]["firmware"].toDouble(), 1.23);
        QCOMPARE(lines[0]["before"].toObject()["rangeUpper"].toDouble(), 650.5);
        QCOMPARE(lines[0]["sent"].toObject()["words"].toArray().at(6).toInt(), 6505);
        QCOMPARE(lines[1]["readBack"].toObject()["zeroAdjust"].toDouble(), -0.5);
        QCOMPARE(lines[1]["outcome"].toString(), "ok");
    }

    void busyPortIsNamed()
    {
        Simulator sim;
        QVERIFY(sim.ready());
        QProcess holder;
        holder.start(cli(), {"monitor", "--port", sim.path(), "--interval", "100"});
        QString printed;
        QVERIFY(!linesFrom(holder, printed, 1).isEmpty());
        const Run r = quorva({"read", "--port", sim.path()});
        holder.terminate();
        holder.waitForFinished();
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("porta em uso por outro programa"), qPrintable(r.err));
    }

    void monitorResumesWhenThePortReturns()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("transmitter");
        auto sim = std::make_unique<Simulator>(QStringList{"--steady"}, link);
        QVERIFY(sim->ready());
        QProcess monitor;
        monitor.start(cli(),
                      {"monitor", "--port", link, "--interval", "300", "--count", "14", "--csv"});
        QString printed;
        QCOMPARE(linesFrom(monitor, printed, 3).size(), 3);
        sim.reset();
        QTest::qWait(1000);
        sim = std::make_unique<Simulator>(QStringList{"--steady"}, link);
        QVERIFY(sim->ready());
        QVERIFY(monitor.waitForFinished(15000));
        printed += QString::fromUtf8(monitor.readAllStandardOutput());
        const QStringList rows = printed.split('\n', Qt::SkipEmptyParts).mid(1);
        QCOMPARE(rows.size(), 14);
        const auto measured = [](const QString& row) { return row.endsWith(";23,5;°C;"); };
        const auto firstFailure = std::find_if_not(rows.begin(), rows.end(), measured);
        const auto resumed = std::find_if(firstFailure, rows.end(), measured);
        QVERIFY2(firstFailure != rows.begin() && firstFailure != rows.end(), qPrintable(printed));
        QVERIFY2(resumed != rows.end() && std::all_of(resumed, rows.end(), measured),
                 qPrintable(printed));
        const qsizetype failed = resumed - firstFailure;
        QCOMPARE(monitor.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(monitor.readAllStandardError()).trimmed(),
                 QStringLiteral("quorva-cli: %1 leitura(s) falharam").arg(failed));
    }

    // A slave answering each request 1050 ms late, its value drifting: no
    // value printed ever answers an earlier request; the readings fail.
    void lateRepliesAreNeverPrinted()
    {
        Simulator sim({"--turnaround", "1050"});
        QVERIFY(sim.ready());
        const Run r = quorva({"monitor", "--port", sim.path(), "--count", "3"});
        QCOMPARE(r.status, 1);
        const QStringList lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        for (const QString& line : lines)
            QVERIFY2(line.endsWith("não respondeu (* Falha de comunicação *)"), qPrintable(line));
        QVERIFY(r.err.contains("3 leitura(s) falharam"));
    }

    void simulatorNeverReplacesWhatItDidNotMake_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("file") << "file"
                              << "já existe e não será substituído";
        QTest::newRow("folder") << "folder"
                                << "já existe e não será substituído";
        QTest::newRow("fifo") << "fifo"
                              << "já existe e não será substituído";
        QTest::newRow("live link") << "simulator"
                                   << "já existe e não será substituído";
        QTest::newRow("missing folder") << "missing"
                                        << "a pasta";
        QTest::newRow("file as folder") << "under-file"
                                        << "não é uma pasta";
    }
    void simulatorNeverReplacesWhatItDidNotMake()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QString path = dir.filePath("transmitter");
        std::unique_ptr<Simulator> other;
        if (kind == "file" || kind == "under-file")
            QVERIFY(writeFile(path, "keep me"));
        if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind == "simulator") {
            other = std::make_unique<Simulator>(QStringList{"--steady"}, path);
            QVERIFY(other->ready());
        }
        const QString before = QFileInfo(path).symLinkTarget();
        const QString checked = path;
        if (kind == "missing")
            path = dir.filePath("missing/transmitter");
        if (kind == "under-file")
            path += "/transmitter";

        const Run r = quorva({"simulate", "--link", path});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.err.contains(QFileInfo(path).fileName()));
        if (kind == "file" || kind == "under-file") {
            QFile f(checked);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), "keep me");
        }
        if (kind == "folder" || kind == "fifo")
            QVERIFY(QFileInfo::exists(checked));
        if (other) {
            QCOMPARE(QFileInfo(checked).symLinkTarget(), before);
            QCOMPARE(quorva({"read", "--port", checked}).status, 0);
        }
    }

    void simulatorRemovesOnlyItsOwnLink()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("transmitter");
        // A closed terminal (SIGHUP) removes the link like Ctrl-C does.
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            Simulator sim({"--steady"}, link);
            QVERIFY(sim.ready());
            sim.stop(signal);
            QCOMPARE(sim.process().exitCode(), 0);
            QVERIFY(!QFileInfo(link).isSymLink());
        }
        // Killed outright, a simulator leaves its link to a pseudo-terminal
        // that is gone; the next one takes the path over.
        auto killed = std::make_unique<Simulator>(QStringList{"--steady"}, link);
        QVERIFY(killed->ready());
        killed->stop(SIGKILL);
        QVERIFY(QFileInfo(link).isSymLink());
        Simulator next({"--steady"}, link);
        QVERIFY(next.ready());
        QCOMPARE(quorva({"read", "--port", link}).status, 0);
        // What replaced its link while it ran stays at exit.
        QVERIFY(QFile::remove(link));
        QVERIFY(writeFile(link, "someone else's"));
        next.stop();
        QVERIFY(QFileInfo(link).isFile());
    }

    void simulatorAnswersMbpoll()
    {
        Simulator sim;
        QVERIFY(sim.ready());
        Run r = run("mbpoll", mbpollArgs(sim.path(), {"-r", "1", "-c", "37"}));
        QCOMPARE(r.status, 0);
        QMap<int, int> values = mbpollValues(r.out);
        QCOMPARE(values.size(), 37);
        QCOMPARE(values[2], 235);
        QCOMPARE(values[6], 63536); // -2000
        QCOMPARE(values[10], 101);
        QCOMPARE(values[11], 420);
        // Registers 4 to 9 take what another master writes.
        r = run("mbpoll", mbpollArgs(sim.path(), {"-r", "4"}) +
                              QStringList{"65531", "2", "64536", "13700", "1", "1"});
        QCOMPARE(r.status, 0);
        // The window's own reading of it agrees.
        r = quorva({"read", "--port", sim.path()});
        QVERIFY(r.out.contains("Zero:            -0,5 °C"));
        QVERIFY(r.out.contains("Tipo de Sensor:  Termopar K"));
    }

    void usage()
    {
        QCOMPARE(quorva({"frobnicate"}).status, 2);
        QCOMPARE(quorva({}).status, 2);
        QCOMPARE(quorva({"read", "--simulate", "--port", "/dev/x"}).status, 2);
        QCOMPARE(quorva({"simulate", "--fault", "gremlins"}).status, 2);
        QCOMPARE(quorva({"monitor", "--simulate", "--count", "x"}).status, 2);
        const Run unknown = quorva({"write", "--zero", "1,0", "--bogus"});
        QCOMPARE(unknown.status, 2);
        QCOMPARE(unknown.err, "quorva-cli: opção desconhecida: bogus\n");
        QCOMPARE(quorva({"--version"}).out.trimmed(), "quorva-cli 1.01");
        QVERIFY(quorva({"--help"}).out.contains("Estado de saída: 0 sucesso; 1 falha"));
        const Run help = quorva({"write", "--help"});
        QCOMPARE(help.status, 0);
        QVERIFY2(help.out.startsWith("uso: quorva-cli write [opções]\n"), qPrintable(help.out));
        QVERIFY(help.out.contains("--record <ARQUIVO>"));
        const Run ports = quorva({"ports", "--json"});
        QCOMPARE(ports.status, 0);
        QVERIFY(QJsonDocument::fromJson(ports.out.toUtf8()).isArray());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
