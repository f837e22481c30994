// quorva-cli run as a user runs it: each sub-command against the virtual
// transmitter, in process and on a pseudo-terminal, and the pseudo-terminal
// transmitter checked with mbpoll (Debian's libmodbus master).
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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

// `quorva-cli simulate` on a pseudo-terminal for the length of a test.
class Simulator
{
public:
    explicit Simulator(const QStringList& extra = {})
    {
        m_process.start(cli(), QStringList{"simulate", "--steady", "--link", path()} + extra);
    }
    ~Simulator()
    {
        m_process.terminate(); // SIGTERM: the simulator removes its link and exits
        if (!m_process.waitForFinished(3000))
            m_process.kill();
    }
    QString path() const { return m_dir.filePath("transmitter"); }
    bool ready()
    {
        for (int i = 0; i < 100; ++i) {
            if (QFile::exists(path()))
                return true;
            QTest::qWait(30);
        }
        return false;
    }
    QProcess& process() { return m_process; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

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

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(cli()), "QUORVA_CLI names the built program"); }

    void readIsFormattedAsTheWindowShowsIt()
    {
        Run r = quorva({"read", "--simulate"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("Modelo:          TRV-A"), qPrintable(r.out));
        QVERIFY(r.out.contains("Firmware:        1,01"));
        QVERIFY(r.out.contains("Tipo de Sensor:  Pt100"));
        QVERIFY(r.out.contains("V. Mín.:         -200 °C"));
        QVERIFY(r.out.contains("Sinal de Saída:  4 a 20 mA"));
        QVERIFY(QRegularExpression("Temperatura:\\s+\\d+,\\d °C").match(r.out).hasMatch());

        r = quorva({"read", "--simulate", "--json"});
        QCOMPARE(r.status, 0);
        const QJsonObject o = jsonOf(r.out);
        QCOMPARE(o["modelCode"].toInt(), 420);
        QCOMPARE(o["rangeUpper"].toString(), "650");
        QCOMPARE(o["rangeLowerTenths"].toInt(), -2000);
        QCOMPARE(o["sensorErrorIndex"].toInt(), 0);
        QCOMPARE(o["unit"].toString(), "°C");
    }

    void monitorCountsAndWritesCsv()
    {
        Run r = quorva({"monitor", "--simulate", "--count", "3", "--interval", "50"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed().split('\n').size(), 3);
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT[\\d:.]+  \\d+,\\d °C$",
                                   QRegularExpression::MultilineOption)
                    .match(r.out)
                    .hasMatch());
        r = quorva({"monitor", "--simulate", "--count", "2", "--interval", "50", "--csv"});
        QCOMPARE(r.status, 0);
        const QStringList lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], "timestamp;measured;unit;error");
        QVERIFY(lines[1].endsWith(";°C;"));
        r = quorva({"monitor", "--simulate", "--count", "x"});
        QCOMPARE(r.status, 2);
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

    void writeChecksLikeTheWindow_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("zero out of range")
            << QStringList{"--zero", "10,0"} << "Erro:Valor deve ser >= -9,9 ou <= 9,9";
        QTest::newRow("zero not in the field's form")
            << QStringList{"--zero", "0,55"} << "Erro: Dado Inválido,Verificar.";
        QTest::newRow("range not whole")
            << QStringList{"--upper", "12,5"} << "'12,5' não é um valor inteiro válido";
        QTest::newRow("range too large")
            << QStringList{"--upper", "4000"} << "Erro: Dado Inválido,Verificar.";
        QTest::newRow("unknown sensor")
            << QStringList{"--sensor", "Termopar X"} << "Erro: Dado Inválido,Verificar.";
        QTest::newRow("direction past the items")
            << QStringList{"--direction", "2"} << "Erro: Dado Inválido,Verificar.";
    }
    void writeChecksLikeTheWindow()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Run r = quorva(QStringList{"write", "--simulate"} + args);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith("quorva-cli: " + message), qPrintable(r.err));
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
        const QJsonObject o = jsonOf(r.out);
        QCOMPARE(o["sensorType"].toString(), "Termopar K");
        QCOMPARE(o["zeroAdjust"].toString(), "0,7");
        QCOMPARE(o["rangeLower"].toString(), "-100");
        QCOMPARE(o["sensorError"].toString(), "Sinal de Saída > 20 mA");
        QCOMPARE(o["outputDirection"].toString(), "20 a 4 mA");
        // Fields not given keep the device's values.
        r = quorva({"write", "--port", sim.path(), "--upper", "1000", "--json"});
        QCOMPARE(r.status, 0);
        QVERIFY(jsonOf(r.out)["readBackMatches"].toBool());
        r = quorva({"read", "--port", sim.path(), "--json"});
        QCOMPARE(jsonOf(r.out)["rangeUpper"].toString(), "1000");
        QCOMPARE(jsonOf(r.out)["sensorType"].toString(), "Termopar K");
    }

    void writeTheDeviceRefuses()
    {
        Simulator sim({"--fault", "refuse-writes"});
        QVERIFY(sim.ready());
        const Run r = quorva({"write", "--port", sim.path(), "--zero", "1,0"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("não foi confirmada"), qPrintable(r.err));
        QVERIFY(r.err.contains("Exceção 4"));
    }

    void writeWhoseReadBackDiffers()
    {
        Simulator sim({"--fault", "ignore-writes"});
        QVERIFY(sim.ready());
        const Run r = quorva({"write", "--port", sim.path(), "--zero", "1,0", "--json"});
        QCOMPARE(r.status, 1);
        const QJsonObject o = jsonOf(r.out);
        QVERIFY(o["confirmed"].toBool());
        QVERIFY(!o["readBackMatches"].toBool());
        const QJsonObject diff = o["differences"].toArray().at(0).toObject();
        QCOMPARE(diff["field"].toString(), "zeroAdjustTenths");
        QCOMPARE(diff["written"].toInt(), 10);
        QCOMPARE(diff["read"].toInt(), 0);
    }

    void readFailuresAreOneLine()
    {
        Simulator sim({"--fault", "no-reply"});
        QVERIFY(sim.ready());
        Run r = quorva({"read", "--port", sim.path()});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY(r.err.contains("não respondeu"));
        QVERIFY(r.out.isEmpty());
        // monitor goes on through failed readings, and says so in its status.
        r = quorva({"monitor", "--port", sim.path(), "--count", "2", "--interval", "50", "--csv"});
        QCOMPARE(r.status, 1);
        const QStringList lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[1].endsWith("não respondeu (* Falha de comunicação *)"),
                 qPrintable(lines[1]));
        QVERIFY(r.err.contains("2 leitura(s) falharam"));
        r = quorva({"read", "--port", "/dev/quorva-missing"});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains("Erro ao abrir o dispositivo USB."));
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
        // Registers 4 to 9 take what a master writes.
        r = run("mbpoll", mbpollArgs(sim.path(), {"-r", "4"}) +
                              QStringList{"65531", "2", "64536", "13700", "1", "1"});
        QCOMPARE(r.status, 0);
        r = run("mbpoll", mbpollArgs(sim.path(), {"-r", "1", "-c", "11"}));
        values = mbpollValues(r.out);
        QCOMPARE(values[4], 65531);
        QCOMPARE(values[5], 2);
        QCOMPARE(values[6], 64536);
        QCOMPARE(values[7], 13700);
        QCOMPARE(values[8], 1);
        QCOMPARE(values[9], 1);
        // And the window's own reading of it agrees.
        r = quorva({"read", "--port", sim.path()});
        QVERIFY(r.out.contains("Zero:            -0,5 °C"));
        QVERIFY(r.out.contains("Tipo de Sensor:  Termopar K"));
    }

    void simulatorLeavesOnInterrupt()
    {
        auto sim = std::make_unique<Simulator>();
        QVERIFY(sim->ready());
        const QString link = sim->path();
        sim->process().terminate();
        QVERIFY(sim->process().waitForFinished(3000));
        QCOMPARE(sim->process().exitCode(), 0);
        QVERIFY(!QFile::exists(link));
    }

    void usage()
    {
        QCOMPARE(quorva({"frobnicate"}).status, 2);
        QCOMPARE(quorva({}).status, 2);
        QCOMPARE(quorva({"read", "--simulate", "--port", "/dev/x"}).status, 2);
        QCOMPARE(quorva({"simulate", "--fault", "gremlins"}).status, 2);
        QCOMPARE(quorva({"--version"}).out.trimmed(), "quorva-cli 1.01");
        const Run help = quorva({"write", "--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("--dry-run"));
        const Run ports = quorva({"ports", "--json"});
        QCOMPARE(ports.status, 0);
        QVERIFY(QJsonDocument::fromJson(ports.out.toUtf8()).isArray());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
