// A commissioning campaign as a technician runs it: the plan read from a
// spreadsheet's CSV, and `quorva-cli commission` against `quorva-cli
// simulate` on a pseudo-terminal, started and stopped as a transmitter is
// plugged in and pulled out.
#include "cli/campaignplan.h"

#include <QtTest>
#include <csignal>

using namespace quorva::cli;

namespace {

const QString cli = qEnvironmentVariable("QUORVA_CLI");

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QList<QJsonObject> recordLines(const QString& path)
{
    QFile f(path);
    QList<QJsonObject> lines;
    if (f.open(QIODevice::ReadOnly))
        while (!f.atEnd())
            lines << QJsonDocument::fromJson(f.readLine()).object();
    return lines;
}

// An HTML report's words without its markup.
QString pageText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).remove(QRegularExpression("<[^>]*>")).simplified();
}

// `quorva-cli simulate` under a link that stays the campaign's port.
class Simulator
{
public:
    explicit Simulator(const QString& link) : m_link(link) {}
    ~Simulator() { unplug(); }
    bool plug(const QStringList& options = {})
    {
        m_process.start(cli, QStringList{"simulate", "--steady", "--link", m_link} + options);
        return QTest::qWaitFor([this] { return QFile::exists(m_link); });
    }
    void unplug()
    {
        if (m_process.state() != QProcess::NotRunning)
            ::kill(pid_t(m_process.processId()), SIGTERM);
        m_process.waitForFinished(3000);
    }

private:
    QString m_link;
    QProcess m_process;
};

// The campaign's process, its standard output gathered as it comes.
class Campaign
{
public:
    explicit Campaign(const QStringList& args)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(cli, args);
    }
    // Until any of the texts has been said.
    bool awaits(const QStringList& texts)
    {
        return QTest::qWaitFor(
            [&] {
                m_out += QString::fromUtf8(m_process.readAllStandardOutput());
                return std::any_of(texts.begin(), texts.end(),
                                   [&](const QString& t) { return m_out.contains(t); });
            },
            30000);
    }
    int finish()
    {
        m_process.waitForFinished(30000);
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    void interrupt() { ::kill(pid_t(m_process.processId()), SIGINT); }
    const QString& out() const { return m_out; }

private:
    QProcess m_process;
    QString m_out;
};

// A row's transmitter plugged in when the campaign asks for it, and pulled
// out once its outcome is shown.
bool serve(Campaign& campaign, Simulator& sim, const QString& step, const QString& tag,
           const QStringList& simOptions = {})
{
    const QString where = step + u' ' + tag;
    const bool served = campaign.awaits({where + ": conecte o transmissor"}) &&
                        sim.plug(simOptions) &&
                        campaign.awaits({where + ": ok", where + ": falhou",
                                         QStringLiteral("\"tag\":\"%1\"").arg(tag)});
    sim.unplug();
    return served;
}

// The plan's three transmitters as a Brazilian spreadsheet saves them.
const QByteArray kPlan = "\xEF\xBB\xBFtag;sensor;zero;lower;upper;fault;direction\r\n"
                         "TT-101;K;-0,5;0;600;high;rising\r\n"
                         "TT-102;;0,3;;;;\r\n"
                         "TT-103;J;;;;low;falling\r\n";

} // namespace

class TestCommission : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(cli), "QUORVA_CLI names the built program");
        QVERIFY(writeFile(path("plan.csv"), kPlan));
        QVERIFY(QDir().mkpath(path("other")));
        for (const char* name : {"one.csv", "other/one.csv"})
            QVERIFY(writeFile(path(name), "tag;zero\nA1;1\n"));
    }

    // Each row's tag and the values its edit gives (zero, sensor, lower,
    // upper, fault, direction; "-" keeps the device's), or each refused cell
    // (the start of its line), or why the plan is refused whole.
    void plan_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("BOM, CRLF, ';' and decimal comma")
            << kPlan.left(kPlan.indexOf("TT-102")) << QStringList{"TT-101:-5,2,0,6000,2,0"};
        QTest::newRow("',' and decimal point, any case and order")
            << QByteArray("Zero,TAG,Upper\n0.3,TT-2,600\n") << QStringList{"TT-2:3,-,-,6000,-,-"};
        QTest::newRow("quoted fields") << QByteArray("tag;zero\n\"TT;3 \"\"a\"\"\";\"1,5\"\n")
                                       << QStringList{"TT;3 \"a\":15,-,-,-,-,-"};
        QTest::newRow("blank lines and empty cells")
            << QByteArray("tag;zero;upper\n\nA;;600\n;;\nB;1;\n")
            << QStringList{"A:-,-,-,6000,-,-", "B:10,-,-,-,-,-"};
        QTest::newRow("force column, as a spreadsheet capitalises it")
            << QByteArray("tag;sensor;lower;upper;force\nA;K;0;2000;Sim\n")
            << QStringList{"A:-,2,0,20000,-,-"};
        QTest::newRow("the window's texts and plain words as cells")
            << QByteArray("tag;sensor;fault;direction\nA;termopar j;Sinal de Saída > 20 mA;20 a 4 "
                          "mA\nB;pressão;nenhum;decrescente\n")
            << QStringList{"A:-,1,-,-,2,1", "B:-,9,-,-,0,1"};
        QTest::newRow("unknown column")
            << QByteArray("tag;colour\nA;red\n") << QStringList{"coluna desconhecida 'colour'"};
        QTest::newRow("duplicate tag")
            << QByteArray("tag;zero\nA;1\na;2\n") << QStringList{"linha 3, coluna tag: a repetida"};
        QTest::newRow("range beyond the sensor without force")
            << QByteArray("tag;sensor;lower;upper;force\nA;K;0;2000;NÃO\n")
            << QStringList{"linha 2, coluna upper: V. Máx. 2000°C fora da Faixa do Sensor "
                           "(-100 a 1370°C). Use a coluna force (sim) ou --force"};
        QTest::newRow("both range values beyond the sensor")
            << QByteArray("tag;sensor;lower;upper\nA;K;-300;2000\n")
            << QStringList{"linha 2, coluna lower: V. Mín. -300°C fora da Faixa do Sensor",
                           "linha 2, coluna upper: V. Máx. 2000°C fora da Faixa do Sensor"};
        QTest::newRow("lines ended as a spreadsheet on Windows ends them")
            << QByteArray("tag;zero\r\nA;1\r\nB;99\r\n")
            << QStringList{"linha 3, coluna zero: Erro:Valor deve ser >= -9,9 ou <= 9,9"};
        QTest::newRow("a zero refused beside a range beyond the sensor")
            << QByteArray("tag;sensor;zero;lower;upper\nA;K;99;-500;600\n")
            << QStringList{"linha 2, coluna zero: Erro:Valor deve ser >= -9,9 ou <= 9,9",
                           "linha 2, coluna lower: V. Mín. -500°C fora da Faixa do Sensor"};
        // Every bad cell of the row by its own column, in the plan's terms:
        // the cell as written and, for a word, the words the column takes
        // and the window's texts they stand for.
        const QString faultWords =
            "não é uma opção (nenhum/none → 'Nenhum', baixo/low/below/minimo/mínimo → 'Sinal de "
            "Saída < 4 mA'/'Sinal de Saída Mínimo', alto/high/above/maximo/máximo → 'Sinal de "
            "Saída > 20 mA'/'Sinal de Saída Máximo'; ou o índice 0 a 2)";
        QTest::newRow("three bad cells")
            << QByteArray("tag;sensor;zero;lower;upper;fault;direction\n"
                          "TT-2;termopar j;-0,55;;;acima;subindo\n")
            << QStringList{"linha 2, coluna zero: Erro: Dado Inválido,Verificar. ('-0,55'; um "
                           "decimal, como -0,5, ou um inteiro)",
                           "linha 2, coluna fault: 'acima' " + faultWords,
                           "linha 2, coluna direction: 'subindo' não é uma opção "
                           "(crescente/rising/direto/direct → '4 a 20 mA'/'0 a 10 V', "
                           "decrescente/falling/reverso/reverse → '20 a 4 mA'/'10 a 0 V'; ou o "
                           "índice 0 a 1)"};
        QTest::newRow("columns named as the header writes them")
            << QByteArray("TAG;Erro do sensor;Upper\nA;7;12,5\n")
            << QStringList{"linha 2, coluna Erro do sensor: '7' " + faultWords,
                           "linha 2, coluna Upper: '12,5' não é um valor inteiro válido"};
        QTest::newRow("a value refused beside a word not understood")
            << QByteArray("tag;fault;zero;force\nA;altíssimo;10;talvez\n")
            << QStringList{"linha 2, coluna fault: 'altíssimo' não é uma opção",
                           "linha 2, coluna zero: Erro:Valor deve ser >= -9,9 ou <= 9,9",
                           "linha 2, coluna force: 'talvez' não é sim nem não"};
        QTest::newRow("a sensor not known")
            << QByteArray("tag;Tipo de Sensor\nA;Termopar Q\n")
            << QStringList{"linha 2, coluna Tipo de Sensor: 'Termopar Q' não é uma opção (Pt100, "
                           "J → 'Termopar J', K → 'Termopar K', R → 'Termopar R', S → 'Termopar "
                           "S', T → 'Termopar T', N → 'Termopar N', E → 'Termopar E', B → "
                           "'Termopar B', pressao/pressure → 'Pressão'; ou o índice 0 a 9)"};
        // The window's captions as a Brazilian plan names its columns, its
        // option texts as cells; "alto" and "baixo" are the fault's plain words.
        QTest::newRow("the window's captions and texts")
            << QByteArray("Tag;Tipo de Sensor;Zero;V. Mín.;V. Máx.;Erro do Sensor;Sinal de "
                          "Saída\nTT-101;Termopar K;-0,5;0;600;Sinal de Saída > 20 mA;4 a 20 "
                          "mA\nTT-102;Pt100;;;;Nenhum;20 a 4 mA\n")
            << QStringList{"TT-101:-5,2,0,6000,2,0", "TT-102:-,0,-,-,0,1"};
        QTest::newRow("captions in any case, without accents, spaced")
            << QByteArray("TAG; tipo de sensor ;v min;V. MAX.;ERRO DO SENSOR;sinal de saida;"
                          "Forcar\nA;k;0;2000;alto;Decrescente;sim\nB;;;;baixo;;\n")
            << QStringList{"A:-,2,0,20000,2,1", "B:-,-,-,-,1,-"};
        QTest::newRow("a header ending in the separator")
            << QByteArray("tag;zero;\nA;1;\nB;2\n") << QStringList{"A:10,-,-,-,-,-",
                                                                   "B:20,-,-,-,-,-"};
        QTest::newRow("a cell under the empty last column")
            << QByteArray("tag;zero;\nA;1;x\n")
            << QStringList{"linha 2: 'x' numa coluna sem nome"};
        QTest::newRow("a range value past a register, the sensor's range reversed")
            << QByteArray("tag;sensor;lower;upper\nA;;-4000;0\nB;Pt100;700;100\n")
            << QStringList{"linha 2, coluna lower: Erro: Dado Inválido,Verificar. ('-4000')",
                           "linha 3, coluna upper: Erro: V. Mín. deve ser menor que V. Máx."};
        QTest::newRow("only a tag")
            << QByteArray("tag;zero\nA;\n")
            << QStringList{"linha 2: nada a escrever para A: as outras células estão vazias"};
        QTest::newRow("no tag column")
            << QByteArray("zero\n1\n") << QStringList{"falta a coluna tag"};
        // Excel's "CSV (separado por vírgulas)" on a Windows in Portuguese.
        QTest::newRow("Windows-1252")
            << QByteArray("Tag;Tipo de Sensor;V. M\xEDn.;V. M\xE1x.;Sinal de Sa\xED" "da\r\n"
                          "TT-\xC7\x80;Press\xE3o;0;10;decrescente\r\n")
            << QStringList{"TT-Ç€:-,9,0,100,-,1"};
    }
    void plan()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        QVERIFY(writeFile(path("table.csv"), content));
        const Plan plan = readPlan(path("table.csv"), false);
        QStringList got;
        for (const PlanRow& row : plan.rows) {
            QStringList values;
            for (const int slot : {3, 4, 5, 6, 7, 8}) { // zero to direction, as registers 4 to 9
                const auto& v = row.write.edit.values[size_t(slot)];
                values << (v ? QString::number(*v) : QStringLiteral("-"));
            }
            got << row.tag + u':' + values.join(u',');
        }
        for (const CellRefusal& cell : plan.cells)
            got << (cell.column.isEmpty()
                        ? QStringLiteral("linha %1: %2").arg(cell.line).arg(cell.words)
                        : QStringLiteral("linha %1, coluna %2: %3")
                              .arg(cell.line)
                              .arg(cell.column, cell.words));
        if (!plan.refusal.isEmpty())
            got << plan.refusal;
        QCOMPARE(got.size(), expected.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(got[i].startsWith(expected[i]), qPrintable(got.join(u'\n')));
    }

    // Every refused cell is named, the refused rows counted, and nothing is
    // opened: not the port, not the record.
    void refusedPlan()
    {
        QVERIFY(writeFile(path("bad.csv"), "tag;sensor;zero;lower;upper\nA;K;;0;2000\nB;Q;x;;\n"
                                           "C;Pt100;;700;100\n"));
        Campaign c({"commission", "--port", "/dev/quorva-missing", "--record",
                    path("refused.jsonl"), path("bad.csv")});
        QCOMPARE(c.finish(), 2);
        QVERIFY2(c.out().contains("linha 2, coluna upper: V. Máx. 2000°C fora") &&
                     c.out().contains("linha 3, coluna sensor: 'Q' não é uma opção (Pt100, J → "
                                      "'Termopar J'") &&
                     c.out().contains("linha 3, coluna zero: Erro: Dado Inválido") &&
                     c.out().contains("linha 4, coluna upper: Erro: V. Mín. deve ser menor") &&
                     c.out().endsWith("plano recusado (3 linha(s)); nada foi enviado\n"),
                 qPrintable(c.out()));
        QVERIFY(!QFile::exists(path("refused.jsonl")));

        // A report asked of more rows than one can hold is refused before any row.
        QByteArray rows = "tag;zero\n";
        for (int i = 0; i <= 2000; ++i)
            rows += "T" + QByteArray::number(i) + ";1\n";
        QVERIFY(writeFile(path("long.csv"), rows));
        Campaign longPlan({"commission", "--port", "/dev/quorva-missing", "--report",
                           path("long.pdf"), path("long.csv")});
        QCOMPARE(longPlan.finish(), 2);
        QCOMPARE(longPlan.out(), "quorva-cli: --report: o plano tem 2001 linhas; um relatório tem "
                                 "no máximo 2000\n");
    }

    // At a terminal a failed row is asked about: "r" tries it again, "s"
    // stops the campaign there. A row that failed stays failed when Ctrl-C
    // ends its retry: each reading takes the slow transmitter 1.5 s, so
    // 2.25 s after the instruction to connect the retry's own reading of the
    // device is under way. The terminal is a pseudo-terminal Python opens,
    // answering each question as it comes.
    void failureQuestionAtATerminal_data()
    {
        // answers, INT:SECONDS after the next instruction, or ENTER when asked to disconnect
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QStringList>("simulator");
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("failedAttempts");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("recorded");
        QTest::newRow("repeat, then stop")
            << "r,s" << QStringList{"--fault", "ignore-writes"} << "300" << 1 << 2
            << "Campanha: 0 de 2 ok, 1 com falha, 1 não feito(s).\r\n"
            << QStringList{"read-back-differs", "read-back-differs"};
        QTest::newRow("repeat, interrupted in the retry")
            << "r,INT:2.25" << QStringList{"--fault", "ignore-writes", "--turnaround", "1500"}
            << "2000" << 130 << 1
            << "Campanha: 0 de 2 ok, 1 com falha, 1 não feito(s) (interrompida).\r\n"
            << QStringList{"read-back-differs", "interrupted"};
        // Transmitters swapped within a second never leave the port silent:
        // Enter moves on to the next row.
        QTest::newRow("Enter, the next transmitter already in")
            << "ENTER" << QStringList{} << "300" << 0 << 0
            << "[1/2] A: desconecte o transmissor (Enter quando o próximo estiver conectado)\r\n"
               "\r\n[2/2] B: conecte o transmissor\r\n[2/2] B: ok, configuração confirmada e "
               "relida\r\nCampanha: 2 de 2 ok, 0 com falha, 0 não feito(s).\r\n"
            << QStringList{"ok", "ok"};
    }
    void failureQuestionAtATerminal()
    {
        static const char kTerminal[] = R"(
import os, pty, select, signal, sys, time
actions = sys.argv[1].split(",")
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[2], sys.argv[2:])
out, asked, connects, kill_at = b"", 0, 0, None
while True:
    wait = 20 if kill_at is None else max(0, kill_at - time.monotonic())
    if not select.select([fd], [], [], wait)[0]:
        os.kill(pid, signal.SIGINT)
        kill_at = None
        continue
    try:
        data = os.read(fd, 4096)
    except OSError:
        break
    if not data:
        break
    out += data
    if actions and actions[0].startswith("INT:"):
        if out.count(b"conecte o transmissor") > connects:
            kill_at = time.monotonic() + float(actions.pop(0)[4:])
    elif actions and actions[0] == "ENTER" and b"Enter quando o pr" in out:
        os.write(fd, b"\n")
        actions.pop(0)
    elif actions and out.count(b"parar (s)? ") > asked:
        asked += 1
        os.write(fd, actions.pop(0).encode() + b"\n")
        connects = out.count(b"conecte o transmissor")  # the next one is the retry's
sys.stdout.buffer.write(out)
sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
)";
        QFETCH(QString, actions);
        QFETCH(QStringList, simulator);
        QFETCH(QString, timeout);
        QFETCH(int, status);
        QFETCH(int, failedAttempts);
        QFETCH(QString, end);
        QFETCH(QStringList, recorded);
        QVERIFY(writeFile(path("two.csv"), "tag;zero\nA;1\nB;2\n"));
        QFile::remove(path("asked.jsonl"));
        Simulator sim(path("t3"));
        QVERIFY(sim.plug(simulator));
        QProcess terminal;
        terminal.start("/usr/bin/python3",
                       {"-c", kTerminal, actions, cli, "commission", "--port", path("t3"),
                        "--timeout", timeout, "--record", path("asked.jsonl"), path("two.csv")});
        QVERIFY(terminal.waitForFinished(60000));
        const QString out = QString::fromUtf8(terminal.readAllStandardOutput());
        QCOMPARE(terminal.exitCode(), status);
        QCOMPARE(out.count("[1/2] A: falhou: a releitura difere do que foi enviado"),
                 failedAttempts);
        QVERIFY2(out.endsWith(end), qPrintable(out));
        QStringList outcomes;
        for (const QJsonObject& line : recordLines(path("asked.jsonl")))
            outcomes << line["outcome"].toString();
        QCOMPARE(outcomes, recorded);
    }

    // Instructions that cannot be shown end the campaign before any port is opened.
    void lostOutput()
    {
        QProcess p;
        p.setStandardOutputFile("/dev/full");
        p.start(cli, {"commission", "--port", "/dev/quorva-missing", path("plan.csv")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().contains("/dev/full"));
    }

    // Three transmitters, one after another on the same port.
    void campaign()
    {
        Simulator sim(path("t1"));
        Campaign c({"commission", "--port", path("t1"), "--record", path("three.jsonl"),
                    "--operator", "Ana", path("plan.csv")});
        for (const auto& [step, tag] : {std::pair{"[1/3]", "TT-101"}, std::pair{"[2/3]", "TT-102"},
                                        std::pair{"[3/3]", "TT-103"}})
            QVERIFY2(serve(c, sim, step, tag), qPrintable(c.out()));
        QCOMPARE(c.finish(), 0);
        QVERIFY2(c.out().endsWith("Campanha: 3 de 3 ok, 0 com falha, 0 não feito(s).\n"),
                 qPrintable(c.out()));
        QStringList got;
        for (const QJsonObject& line : recordLines(path("three.jsonl"))) {
            const QJsonObject back = line["readBack"].toObject();
            got << QStringLiteral("%1 %2 %3 %4 %5 %6 %7..%8 %9")
                       .arg(line["row"].toInt())
                       .arg(line["tag"].toString(), line["operator"].toString(),
                            line["outcome"].toString(), back["sensorType"].toString())
                       .arg(back["zeroAdjust"].toDouble())
                       .arg(back["rangeLower"].toInt())
                       .arg(back["rangeUpper"].toInt())
                       .arg(back["outputDirection"].toString());
        }
        QCOMPARE(got, (QStringList{"1 TT-101 Ana ok Termopar K -0.5 0..600 4 a 20 mA",
                                   "2 TT-102 Ana ok Pt100 0.3 -200..650 4 a 20 mA",
                                   "3 TT-103 Ana ok Termopar J 0 -100..760 20 a 4 mA"}));
    }

    // A resumed campaign knows its plan by the file, however it is named
    // from wherever it runs: a record line's plan (an older record's
    // relative one too) against the plan given, run from a folder.
    void resumeByPlanFile_data()
    {
        QTest::addColumn<QString>("recorded");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("plan");
        QTest::addColumn<QString>("expected");
        const QString dir = QDir(m_dir.path()).canonicalPath(), skipped = "já configurado";
        QTest::newRow("absolute, given relative")
            << dir + "/one.csv" << dir << "one.csv" << skipped;
        QTest::newRow("relative, given absolute")
            << "one.csv" << dir << dir + "/one.csv" << skipped;
        QTest::newRow("relative, from another folder") << "one.csv"
                                                       << "/" << dir + "/one.csv"
                                                       << "A1: ok";
        QTest::newRow("another folder's plan of that name") << dir + "/one.csv" << dir + "/other"
                                                            << "one.csv"
                                                            << "A1: ok";
    }
    void resumeByPlanFile()
    {
        QFETCH(QString, recorded);
        QFETCH(QString, folder);
        QFETCH(QString, plan);
        QFETCH(QString, expected);
        const QJsonObject done{{"tag", "A1"},
                               {"outcome", "ok"},
                               {"plan", recorded},
                               {"sent", QJsonObject{{"zeroAdjustTenths", 10}}}};
        QVERIFY(writeFile(path("one.jsonl"), QJsonDocument(done).toJson(QJsonDocument::Compact)));
        QProcess p;
        p.setWorkingDirectory(folder);
        p.start(cli, {"commission", "--simulate", "--record", path("one.jsonl"), "--resume", plan});
        QVERIFY(p.waitForFinished(30000));
        QVERIFY2(p.readAllStandardOutput().contains(expected.toUtf8()), qPrintable(expected));
        // What is recorded is the plan's own path.
        const QList<QJsonObject> lines = recordLines(path("one.jsonl"));
        QVERIFY(lines.size() == 1 ||
                lines.last()["plan"].toString() == QDir(folder).absoluteFilePath(plan));
    }

    // The virtual transmitter is never unplugged: a campaign on it goes from
    // row to row without waiting for it to go.
    void virtualTransmitterRowAfterRow()
    {
        QVERIFY(writeFile(path("two-virtual.csv"), "tag;zero\nV1;0,1\nV2;0,2\n"));
        Campaign c({"commission", "--simulate", path("two-virtual.csv")});
        QCOMPARE(c.finish(), 0);
        QVERIFY2(c.out().endsWith("Campanha: 2 de 2 ok, 0 com falha, 0 não feito(s).\n"),
                 qPrintable(c.out()));
    }

    // A resumed campaign skips a row only where the record holds it done as
    // the row asks now: a row corrected since is written again, and says so.
    // A line from before the asked values were kept is judged by what it sent.
    void resumeRedoesAChangedRow_data()
    {
        QTest::addColumn<QByteArray>("recorded"); // the ok line's own keys
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("lines"); // in the record afterwards
        QTest::addColumn<QString>("direction");
        const QString redone = "TT-101: linha mudou desde o registro: refeito\n"
                               "\\[1/1\\] TT-101: conecte o transmissor",
                      skipped = "TT-101: já configurado \\(no registro\\), pulado";
        // The row's six values (K, zero 0, 0 to 500, high, rising) with V. Máx. `upper`.
        const auto values = [](const char* key, const char* upper) {
            return QString(R"("%1":{"sensorTypeIndex":2,"zeroAdjustTenths":0,"rangeLowerTenths":0,)"
                           R"("sensorErrorIndex":2,"outputDirectionIndex":0,"rangeUpperTenths":%2})")
                .arg(key, upper)
                .toUtf8();
        };
        // Choices are kept as the plan wrote them too.
        const QByteArray asWritten = R"(,"sensorType":"K","sensorError":"high","outputDirection":)";
        QTest::newRow("asked the same")
            << values("requested", "5000").replace("}", asWritten + R"("rising"})") << skipped
            << 1 << "rising";
        QTest::newRow("asked 0 to 600") << values("requested", "6000") << redone << 2 << "rising";
        QTest::newRow("asked fewer values")
            << QByteArray(R"("requested":{"sensorTypeIndex":2,"rangeUpperTenths":5000})")
            << redone << 2 << "rising";
        QTest::newRow("older line, sent the same") << values("sent", "5000") << skipped << 1 << "rising";
        QTest::newRow("older line, sent 0 to 600") << values("sent", "6000") << redone << 2 << "rising";
        // The same item asked now by the model's own text, which another
        // model would refuse: not what was asked then.
        QTest::newRow("asked now as '4 a 20 mA'")
            << values("requested", "5000").replace("}", asWritten + R"("rising"})") << redone
            << 2 << "4 a 20 mA";
        QTest::newRow("asked as '4 a 20 mA' then and now")
            << values("requested", "5000").replace("}", asWritten + R"("4 a 20 mA"})")
            << skipped << 1 << "4 a 20 mA";
    }
    void resumeRedoesAChangedRow()
    {
        QFETCH(QByteArray, recorded);
        QFETCH(QString, said);
        QFETCH(int, lines);
        QFETCH(QString, direction);
        QVERIFY(writeFile(path("changed.csv"), "tag;sensor;zero;lower;upper;fault;direction\n"
                                               "TT-101;K;0;0;500;high;" +
                                                   direction.toUtf8() + "\n"));
        const QString plan = QFileInfo(path("changed.csv")).canonicalFilePath();
        QVERIFY(writeFile(path("changed.jsonl"),
                          R"({"time":"2026-12-07T09:00:00-03:00","tag":"TT-101","row":1,"plan":")" +
                              plan.toUtf8() + R"(","outcome":"ok",)" + recorded + "}\n"));
        Campaign c({"commission", "--simulate", "--record", path("changed.jsonl"), "--resume",
                    "--report", path("changed.html"), path("changed.csv")});
        QCOMPARE(c.finish(), 0);
        QVERIFY2(QRegularExpression(said).match(c.out()).hasMatch(), qPrintable(c.out()));
        QVERIFY2(c.out().endsWith("Campanha: 1 de 1 ok, 0 com falha, 0 não feito(s).\n"),
                 qPrintable(c.out()));
        const QList<QJsonObject> record = recordLines(path("changed.jsonl"));
        QCOMPARE(record.size(), lines);
        QCOMPARE(record.last()["readBack"]["rangeUpperTenths"].toInt(5000), 5000);
        // The report shows the row as the plan asks it now, tried once since.
        QFile report(path("changed.html"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(report.readAll());
        QVERIFY2(!page.contains("0 a 600") && !page.contains("2 tentativas"), qPrintable(page));
    }

    // The plan's words for a choice must be the model's on the line: a
    // current output's text is refused on the voltage model and the other
    // way round, the plain words taken on both; a model code no model has
    // fails the row. Nothing is sent then.
    void wordsOfTheModel_data()
    {
        QTest::addColumn<QString>("model"); // the simulated transmitter's code
        QTest::addColumn<QByteArray>("cells"); // direction;fault
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("outcome");
        const QString voltage = "não é uma opção do TRV-C (Sinal de Saída: 0 a 10 V, 10 a 0 V)";
        QTest::newRow("4 a 20 mA, voltage model")
            << "10" << QByteArray("4 a 20 mA;") << "falhou: '4 a 20 mA' " + voltage << "refused";
        QTest::newRow("20 a 4 mA, voltage model")
            << "10" << QByteArray("20 a 4 mA;") << "falhou: '20 a 4 mA' " + voltage << "refused";
        QTest::newRow("a current model's fault text, voltage model")
            << "10" << QByteArray(";Sinal de Saída > 20 mA")
            << "falhou: 'Sinal de Saída > 20 mA' não é uma opção do TRV-C (Erro do Sensor: "
               "Nenhum, Sinal de Saída Mínimo, Sinal de Saída Máximo)"
            << "refused";
        QTest::newRow("10 a 0 V, current model")
            << "421" << QByteArray("10 a 0 V;")
            << "falhou: '10 a 0 V' não é uma opção do TRV-B (Sinal de Saída: 4 a 20 mA, 20 a 4 mA)"
            << "refused";
        QTest::newRow("10 a 0 V, voltage model") << "10" << QByteArray("10 a 0 V;") << "ok"
                                                 << "ok";
        QTest::newRow("decrescente, voltage model")
            << "10" << QByteArray("decrescente;máximo") << "ok" << "ok";
        QTest::newRow("falling, current model") << "420" << QByteArray("falling;") << "ok" << "ok";
        QTest::newRow("unknown model") << "999" << QByteArray("rising;")
                                       << "falhou: modelo desconhecido (código 999)"
                                       << "unknown-model";
    }
    void wordsOfTheModel()
    {
        QFETCH(QString, model);
        QFETCH(QByteArray, cells);
        QFETCH(QString, said);
        QFETCH(QString, outcome);
        QVERIFY(writeFile(path("model.csv"), "tag;direction;fault\nTT-7;" + cells + "\n"));
        QFile::remove(path("model.jsonl"));
        Simulator sim(path("t7"));
        QVERIFY(sim.plug({"--model", model}));
        Campaign c({"commission", "--port", path("t7"), "--record", path("model.jsonl"),
                    path("model.csv")});
        QCOMPARE(c.finish(), outcome == "ok" ? 0 : 1);
        QVERIFY2(c.out().contains("[1/1] TT-7: " + said), qPrintable(c.out()));
        const QList<QJsonObject> lines = recordLines(path("model.jsonl"));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0]["outcome"].toString(), outcome);
        QCOMPARE(lines[0].contains("sent"), outcome == "ok");
    }

    // While the first row's write is on the line (it goes out 2 s after the
    // instruction, after two readings of 1 s each), the transmitter is
    // unplugged or Ctrl-C comes. Unplugged, it may hold the configuration:
    // the row's line, its JSON and the report say it was sent and could not
    // be confirmed. Either way the terminal's totals, its JSON and the
    // report's are one count.
    void duringTheWrite_data()
    {
        QTest::addColumn<bool>("unplug"); // or Ctrl-C
        QTest::addColumn<QStringList>("format");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("totals"); // the report's
        const QString sent = "a configuração foi enviada; não foi possível confirmar (Erro ao "
                             "tentar receber dados. (%1: a porta deixou de responder";
        const QString one = "Totais: transmissores: 3; confirmados: 0; com falha: %1; não "
                            "executados: %2; tentativas: 1.";
        QTest::newRow("unplugged") << true << QStringList{} << "[1/3] TT-101: falhou: " + sent
                                   << one.arg(1).arg(2);
        QTest::newRow("unplugged, JSON") << true << QStringList{"--json"}
                                         << "\"error\":\"" + sent << one.arg(1).arg(2);
        QTest::newRow("Ctrl-C") << false << QStringList{}
                                << "Campanha: 0 de 3 ok, 0 com falha, 3 não feito(s) "
                                   "(interrompida).\n"
                                << one.arg(0).arg(3);
        QTest::newRow("Ctrl-C, JSON")
            << false << QStringList{"--json"}
            << R"({"failed":0,"interrupted":true,"notDone":3,"ok":0,"rows":3})"
               "\n"
            << one.arg(0).arg(3);
    }
    void duringTheWrite()
    {
        QFETCH(bool, unplug);
        QFETCH(QStringList, format);
        QFETCH(QString, said);
        QFETCH(QString, totals);
        Simulator sim(path("t5"));
        QVERIFY(sim.plug({"--turnaround", "1000"}));
        QFile::remove(path("during.pdf"));
        Campaign c(QStringList{"commission", "--port", path("t5"), "--timeout", "2000", "--report",
                               path("during.pdf"), path("plan.csv")} +
                   format);
        QVERIFY(c.awaits({"[1/3] TT-101: conecte o transmissor"}));
        QTest::qWait(2500);
        if (unplug) // the next row then waits for its transmitter
            sim.unplug();
        QVERIFY(!unplug || c.awaits({"[2/3] TT-102: conecte o transmissor"}));
        c.interrupt();
        QCOMPARE(c.finish(), 130);
        QVERIFY2(unplug ? c.out().contains(said.arg(path("t5"))) : c.out().endsWith(said),
                 qPrintable(c.out()));
        QVERIFY(!unplug || format.isEmpty() || c.out().contains(R"("outcome":"sent-unconfirmed")"));
        QProcess text;
        text.start("pdftotext", {"-raw", path("during.pdf"), "-"}); // each cell whole
        QVERIFY(text.waitForFinished(10000));
        const QString shown = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        QVERIFY2(shown.contains(totals), qPrintable(shown));
        QVERIFY2(!unplug || shown.contains("Falhou: a configuração foi enviada; não foi possível "
                                           "confirmar (Erro ao tentar receber dados."),
                 qPrintable(shown));
    }

    // The report is written in its place before the first row, every row not
    // done: a folder on a full disk is found then, with nothing sent, and the
    // real report replaces the placeholder at the end, nothing left beside it.
    void reportPlaceholder()
    {
        const QString full = path("fullreport");
        QVERIFY(QDir().mkpath(full));
        QProcess mount;
        mount.start("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", full});
        if (!mount.waitForFinished() || mount.exitCode() != 0)
            QSKIP("mounting a small tmpfs is not permitted here");
        writeFile(full + "/filler", QByteArray(16384, '\0')); // as much as fits
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(cli, {"commission", "--simulate", "--record", path("placeholder.jsonl"), "--report",
                      full + "/r.pdf", path("plan.csv")});
        p.waitForFinished(30000);
        const QStringList left = QDir(full).entryList(QDir::Files | QDir::Hidden);
        QProcess::execute("umount", {full});
        QCOMPARE(QString::fromUtf8(p.readAll()),
                 "quorva-cli: --report: não foi possível gravar o relatório em " + full +
                     "/r.pdf: sem espaço no dispositivo; nada foi enviado\n");
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(left, QStringList{"filler"});
        QVERIFY(recordLines(path("placeholder.jsonl")).isEmpty());

        // While the campaign waits for its first transmitter, the report is there.
        Campaign c({"commission", "--port", path("placeholder-port"), "--report",
                    path("placeholder.html"), path("plan.csv")});
        QVERIFY(c.awaits({"[1/3] TT-101: conecte o transmissor"}));
        QTRY_VERIFY(pageText(path("placeholder.html")).contains("não executados: 3"));
        c.interrupt();
        QCOMPARE(c.finish(), 130);
        QVERIFY(pageText(path("placeholder.html")).contains("não executados: 3; tentativas: 0."));
        QCOMPARE(QDir(m_dir.path()).entryList({"*placeholder.html*", ".*placeholder.html*"},
                                              QDir::Files | QDir::Hidden),
                 QStringList{"placeholder.html"});
    }

    // A record lost on a full disk is said as `write` says it, in words and
    // in JSON, with what the transmitter took, and the campaign stops there.
    void recordOnFullDisk_data()
    {
        QTest::addColumn<QStringList>("format");
        QTest::addColumn<QStringList>("fault"); // the simulator's, none: the built-in one
        QTest::addColumn<QString>("expected");
        const QString lost = "--record: não foi possível gravar em %1: sem espaço no dispositivo; ";
        const QString confirmed = "a configuração foi enviada e confirmada, mas esta tentativa não "
                                  "ficou registrada";
        QTest::newRow("words") << QStringList{} << QStringList{}
                               << "[1/1] A1: " + lost + confirmed +
                                      "\nCampanha: 0 de 1 ok, 1 com falha, 0 não feito(s).\n";
        QTest::newRow("JSON") << QStringList{"--json"} << QStringList{}
                              << "\"error\":\"" + lost + confirmed + "\",\"firmware\"";
        QTest::newRow("a write sent and not kept")
            << QStringList{} << QStringList{"--fault", "ignore-writes"}
            << "[1/1] A1: " + lost +
                   "esta tentativa, que falhou (a releitura difere do que foi enviado), não "
                   "ficou registrada\n";
    }
    void recordOnFullDisk()
    {
        QFETCH(QStringList, format);
        QFETCH(QStringList, fault);
        QFETCH(QString, expected);
        const QString full = path("full"), record = full + "/r.jsonl";
        QVERIFY(QDir().mkpath(full));
        QProcess mount;
        mount.start("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", full});
        if (!mount.waitForFinished() || mount.exitCode() != 0)
            QSKIP("mounting a small tmpfs is not permitted here");
        QVERIFY(writeFile(record, {}));
        writeFile(full + "/filler", QByteArray(16384, '\0')); // as much as fits
        Simulator sim(path("t4"));
        QVERIFY(fault.isEmpty() || sim.plug(fault));
        QProcess p;
        QFile::remove(path("full.html"));
        p.start(cli, QStringList{"commission", "--record", record, "--report", path("full.html"),
                                 path("one.csv")} +
                         format +
                         (fault.isEmpty() ? QStringList{"--simulate"}
                                          : QStringList{"--port", path("t4")}));
        p.waitForFinished(30000);
        QProcess::execute("umount", {full});
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(out.contains(expected.arg(record)), qPrintable(out));
        // The report counts as the terminal does: the row failed.
        const QString page = pageText(path("full.html"));
        QVERIFY2(page.contains("confirmados: 0; com falha: 1; não executados: 0;"),
                 qPrintable(page));
        if (!format.isEmpty())
            QVERIFY2(out.contains(R"("outcome":"record-failed")") &&
                         out.endsWith(R"({"failed":1,"interrupted":false,"notDone":0,"ok":0,"rows":1})"
                                      "\n"),
                     qPrintable(out));
    }

    // Ctrl-C between rows keeps what was done; a resumed campaign skips it,
    // records a transmitter that ignores the write and goes on; the next
    // resume does only that row.
    void interruptFailureAndResume()
    {
        Simulator sim(path("t2"));
        const QStringList args{"commission",          "--port",        path("t2"),
                               "--timeout",           "300",           "--record",
                               path("resumed.jsonl"), path("plan.csv")};
        Campaign first(args + QStringList{"--report", path("first.html")});
        QVERIFY2(serve(first, sim, "[1/3]", "TT-101"), qPrintable(first.out()));
        // Why it waits is said: the port is gone with the transmitter.
        QVERIFY(first.awaits({"[2/3] TT-102: conecte o transmissor\n  aguardando: Erro ao abrir "
                              "o dispositivo USB. (" +
                              path("t2") + ": porta não encontrada)\n"}));
        first.interrupt();
        QCOMPARE(first.finish(), 130);
        QVERIFY2(first.out().endsWith("1 de 3 ok, 0 com falha, 2 não feito(s) (interrompida).\n"),
                 qPrintable(first.out()));
        QCOMPARE(recordLines(path("resumed.jsonl")).size(), 1);
        // The interrupted campaign's report holds the plan's every row.
        QFile report(path("first.html"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(report.readAll());
        QCOMPARE(page.count("Confirmado"), 1);
        QCOMPARE(page.count("Não executado"), 2);

        QVERIFY(sim.plug()); // TT-101's transmitter still on the cable
        Campaign second(args + QStringList{"--resume"});
        QVERIFY(second.awaits({"[1/3] TT-101: já configurado (no registro), pulado\n[2/3] TT-102: "
                               "um transmissor já responde: desconecte o último da campanha "
                               "anterior\n"}));
        sim.unplug();
        QVERIFY2(serve(second, sim, "[2/3]", "TT-102", {"--fault", "ignore-writes"}),
                 qPrintable(second.out()));
        QVERIFY2(second.out().contains("[2/3] TT-102: falhou: a releitura difere do que foi "
                                       "enviado"),
                 qPrintable(second.out()));
        QVERIFY2(serve(second, sim, "[3/3]", "TT-103"), qPrintable(second.out()));
        QCOMPARE(second.finish(), 1);
        QVERIFY(second.out().endsWith("Campanha: 2 de 3 ok, 1 com falha, 0 não feito(s).\n"));

        Campaign third(args + QStringList{"--resume", "--json"});
        QVERIFY2(serve(third, sim, "[2/3]", "TT-102"), qPrintable(third.out()));
        QCOMPARE(third.finish(), 0);
        QVERIFY2(
            third.out().endsWith(R"({"failed":0,"interrupted":false,"notDone":0,"ok":3,"rows":3})"
                                 "\n"),
            qPrintable(third.out()));
        QStringList outcomes;
        for (const QJsonObject& line : recordLines(path("resumed.jsonl")))
            outcomes << line["tag"].toString() + u' ' + line["outcome"].toString();
        QCOMPARE(outcomes,
                 (QStringList{"TT-101 ok", "TT-102 read-back-differs", "TT-103 ok", "TT-102 ok"}));
    }
};

QTEST_GUILESS_MAIN(TestCommission)
#include "tst_commission.moc"
