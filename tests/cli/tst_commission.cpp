// A commissioning campaign as a technician runs it: the plan read from a
// spreadsheet's CSV, and `quorva-cli commission` against `quorva-cli
// simulate` on a pseudo-terminal, started and stopped as a transmitter is
// plugged in and pulled out.
#include "clitestsupport.h"
#include "cli/campaignplan.h"

#include <QtTest>
#include <csignal>

using namespace quorva::cli;

namespace {

QList<QJsonObject> recordLines(const QString& path)
{
    QFile f(path);
    QList<QJsonObject> lines;
    if (f.open(QIODevice::ReadOnly))
        while (!f.atEnd())
            lines << QJsonDocument::fromJson(f.readLine()).object();
    return lines;
}

// A disk of 16 KiB mounted at `folder`, `files` made empty there before the
// rest is filled; false where mounting one is not permitted.
bool mountFullDisk(const QString& folder, const QStringList& files = {})
{
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", folder}) != 0)
        return false;
    for (const QString& file : files)
        writeFile(folder + u'/' + file, {});
    writeFile(folder + "/filler", QByteArray(16384, '\0')); // as much as fits
    return true;
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
        const auto said = [&] {
            m_out += QString::fromUtf8(m_process.readAllStandardOutput());
            return std::any_of(texts.begin(), texts.end(),
                               [&](const QString& t) { return m_out.contains(t); });
        };
        return QTest::qWaitFor(said, 30000);
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
            QVERIFY(writeFile(path(name), "tag;zero\nA1;1\nA2;2\n"));
    }

    // Each row's tag and the values its edit gives (zero, sensor, lower,
    // upper, fault, direction; "-" keeps the device's), or each refused cell
    // (the start of its line), or why the plan is refused whole.
    void plan_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, const QByteArray& content, const QStringList& expected) {
            QTest::newRow(name) << content << expected;
        };
        row("BOM, CRLF, ';' and decimal comma", kPlan.left(kPlan.indexOf("TT-102")),
            {"TT-101:-5,2,0,6000,2,0"});
        row("',' and decimal point, any case and order", "Zero,TAG,Upper\n0.3,TT-2,600\n",
            {"TT-2:3,-,-,6000,-,-"});
        row("quoted fields", "tag;zero\n\"TT;3 \"\"a\"\"\";\"1,5\"\n", {"TT;3 \"a\":15,-,-,-,-,-"});
        row("blank lines and empty cells", "tag;zero;upper\n\nA;;600\n;;\nB;1;\n",
            {"A:-,-,-,6000,-,-", "B:10,-,-,-,-,-"});
        row("force column, as a spreadsheet capitalises it",
            "tag;sensor;lower;upper;force\nA;K;0;2000;Sim\n", {"A:-,2,0,20000,-,-"});
        row("the window's texts and plain words as cells",
            "tag;sensor;fault;direction\nA;termopar j;Sinal de Saída > 20 mA;20 a 4 mA\n"
            "B;pressão;nenhum;decrescente\n",
            {"A:-,1,-,-,2,1", "B:-,9,-,-,0,1"});
        row("unknown column", "tag;colour\nA;red\n", {"coluna desconhecida 'colour'"});
        // A tag again in other capitals is the same tag, whichever came first.
        row("duplicate tag", "tag;zero\na;1\nA;2\n", {"linha 3, coluna tag: A repetida"});
        const QString zeroRefused = "coluna zero: Erro:Valor deve ser >= -9,9 ou <= 9,9";
        row("range beyond the sensor without force", "tag;sensor;lower;upper;force\nA;K;0;2000;NÃO\n",
            {"linha 2, coluna upper: V. Máx. 2000°C fora da Faixa do Sensor (-100 a 1370°C). Use a "
             "coluna force (sim) ou --force"});
        row("both range values beyond the sensor", "tag;sensor;lower;upper\nA;K;-300;2000\n",
            {"linha 2, coluna lower: V. Mín. -300°C fora da Faixa do Sensor",
             "linha 2, coluna upper: V. Máx. 2000°C fora da Faixa do Sensor"});
        row("lines ended as a spreadsheet on Windows ends them", "tag;zero\r\nA;1\r\nB;99\r\n",
            {"linha 3, " + zeroRefused});
        row("a zero refused beside a range beyond the sensor",
            "tag;sensor;zero;lower;upper\nA;K;99;-500;600\n",
            {"linha 2, " + zeroRefused,
             "linha 2, coluna lower: V. Mín. -500°C fora da Faixa do Sensor"});
        // Every bad cell of the row by its own column, in the plan's terms:
        // the cell as written and, for a word, the words the column takes
        // and the window's texts they stand for.
        const QString faultWords =
            "não é uma opção (nenhum/none → 'Nenhum', baixo/low/below/minimo/mínimo → 'Sinal de "
            "Saída < 4 mA'/'Sinal de Saída Mínimo', alto/high/above/maximo/máximo → 'Sinal de "
            "Saída > 20 mA'/'Sinal de Saída Máximo'; ou o índice 0 a 2)";
        row("three bad cells",
            "tag;sensor;zero;lower;upper;fault;direction\nTT-2;termopar j;-0,55;;;acima;subindo\n",
            {"linha 2, coluna zero: Erro: Dado Inválido,Verificar. ('-0,55'; um decimal, como "
             "-0,5, ou um inteiro)",
             "linha 2, coluna fault: 'acima' " + faultWords,
             "linha 2, coluna direction: 'subindo' não é uma opção (crescente/rising/direto/direct "
             "→ '4 a 20 mA'/'0 a 10 V', decrescente/falling/reverso/reverse → '20 a 4 mA'/'10 a 0 "
             "V'; ou o índice 0 a 1)"});
        row("columns named as the header writes them", "TAG;Erro do sensor;Upper\nA;7;12,5\n",
            {"linha 2, coluna Erro do sensor: '7' " + faultWords,
             "linha 2, coluna Upper: '12,5' não é um valor inteiro válido"});
        row("a value refused beside a word not understood", "tag;fault;zero;force\nA;altíssimo;10;talvez\n",
            {"linha 2, coluna fault: 'altíssimo' não é uma opção", "linha 2, " + zeroRefused,
             "linha 2, coluna force: 'talvez' não é sim nem não"});
        row("a sensor not known", "tag;Tipo de Sensor\nA;Termopar Q\n",
            {"linha 2, coluna Tipo de Sensor: 'Termopar Q' não é uma opção (Pt100, J → 'Termopar "
             "J', K → 'Termopar K', R → 'Termopar R', S → 'Termopar S', T → 'Termopar T', N → "
             "'Termopar N', E → 'Termopar E', B → 'Termopar B', pressao/pressure → 'Pressão'; ou "
             "o índice 0 a 9)"});
        // The window's captions as a Brazilian plan names its columns, its
        // option texts as cells; "alto" and "baixo" are the fault's plain words.
        row("the window's captions and texts",
            "Tag;Tipo de Sensor;Zero;V. Mín.;V. Máx.;Erro do Sensor;Sinal de Saída\n"
            "TT-101;Termopar K;-0,5;0;600;Sinal de Saída > 20 mA;4 a 20 mA\n"
            "TT-102;Pt100;;;;Nenhum;20 a 4 mA\n",
            {"TT-101:-5,2,0,6000,2,0", "TT-102:-,0,-,-,0,1"});
        row("captions in any case, without accents, spaced",
            "TAG; tipo de sensor ;v min;V. MAX.;ERRO DO SENSOR;sinal de saida;Forcar\n"
            "A;k;0;2000;alto;Decrescente;sim\nB;;;;baixo;;\n",
            {"A:-,2,0,20000,2,1", "B:-,-,-,-,1,-"});
        row("a header ending in the separator", "tag;zero;\nA;1;\nB;2\n",
            {"A:10,-,-,-,-,-", "B:20,-,-,-,-,-"});
        row("a cell under the empty last column", "tag;zero;\nA;1;x\n",
            {"linha 2: 'x' numa coluna sem nome"});
        row("a range value past a register, the sensor's range reversed",
            "tag;sensor;lower;upper\nA;;-4000;0\nB;Pt100;700;100\n",
            {"linha 2, coluna lower: Erro: Dado Inválido,Verificar. ('-4000')",
             "linha 3, coluna upper: Erro: V. Mín. deve ser menor que V. Máx."});
        row("only a tag", "tag;zero\nA;\n",
            {"linha 2: nada a escrever para A: as outras células estão vazias"});
        row("no tag column", "zero\n1\n", {"falta a coluna tag"});
        // Excel's "CSV (separado por vírgulas)" on a Windows in Portuguese.
        row("Windows-1252",
            "Tag;Tipo de Sensor;V. M\xEDn.;V. M\xE1x.;Sinal de Sa\xED" "da\r\n"
            "TT-\xC7\x80;Press\xE3o;0;10;decrescente\r\n",
            {"TT-Ç€:-,9,0,100,-,1"});
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
        for (const CellRefusal& cell : plan.cells) {
            const QString column = cell.column.isEmpty() ? QString() : ", coluna " + cell.column;
            got << QStringLiteral("linha %1%2: %3").arg(cell.line).arg(column, cell.words);
        }
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
        for (const char* said : {"linha 2, coluna upper: V. Máx. 2000°C fora",
                                 "linha 3, coluna sensor: 'Q' não é uma opção (Pt100, J → 'Termopar J'",
                                 "linha 3, coluna zero: Erro: Dado Inválido",
                                 "linha 4, coluna upper: Erro: V. Mín. deve ser menor"})
            QVERIFY2(c.out().contains(said), qPrintable(c.out()));
        QVERIFY2(c.out().endsWith("plano recusado (3 linha(s)); nada foi enviado\n"), qPrintable(c.out()));
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
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("recorded"); // each failure said at the terminal too
        QTest::newRow("repeat, then stop")
            << "r,s" << QStringList{"--fault", "ignore-writes"} << 1
            << "Campanha: 0 de 2 ok, 1 com falha, 1 não feito(s).\r\n"
            << QStringList{"read-back-differs", "read-back-differs"};
        QTest::newRow("repeat, interrupted in the retry")
            << "r,INT:2.25" << QStringList{"--fault", "ignore-writes", "--turnaround", "1500"} << 130
            << "Campanha: 0 de 2 ok, 1 com falha, 1 não feito(s) (interrompida).\r\n"
            << QStringList{"read-back-differs", "interrupted"};
        // Transmitters swapped within a second never leave the port silent:
        // Enter moves on to the next row.
        QTest::newRow("Enter, the next transmitter already in")
            << "ENTER" << QStringList{} << 0
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
        QFETCH(int, status);
        QFETCH(QString, end);
        QFETCH(QStringList, recorded);
        QVERIFY(writeFile(path("two.csv"), "tag;zero\nA;1\nB;2\n"));
        QFile::remove(path("asked.jsonl"));
        Simulator sim(path("t3"));
        QVERIFY(sim.plug(simulator));
        // The slow transmitter's readings take 1.5 s.
        const QString timeout = simulator.contains("--turnaround") ? "2000" : "300";
        const Run terminal = run("/usr/bin/python3",
                                 {"-c", kTerminal, actions, cli, "commission", "--port", path("t3"),
                                  "--timeout", timeout, "--record", path("asked.jsonl"), path("two.csv")},
                                 {}, 60000);
        QCOMPARE(terminal.status, status);
        QCOMPARE(terminal.out.count("[1/2] A: falhou: a releitura difere do que foi enviado"),
                 recorded.count("read-back-differs"));
        QVERIFY2(terminal.out.endsWith(end), qPrintable(terminal.out));
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

    // A resumed campaign knows its plan by the file, however it is named
    // from wherever it runs: a record line's plan (an older record's
    // relative one too) against the plan given, run from a folder. The
    // virtual transmitter is never unplugged: the campaign goes on to the
    // next row without waiting for it to go.
    void resumeByPlanFile_data()
    {
        QTest::addColumn<QString>("recorded");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("plan");
        QTest::addColumn<QString>("expected");
        const QString dir = QDir(m_dir.path()).canonicalPath(), skipped = "já configurado";
        QTest::newRow("absolute, given relative") << dir + "/one.csv" << dir << "one.csv" << skipped;
        QTest::newRow("relative, given absolute") << "one.csv" << dir << dir + "/one.csv" << skipped;
        QTest::newRow("relative, from another folder") << "one.csv" << "/" << dir + "/one.csv" << "A1: ok";
        QTest::newRow("another folder's plan of that name")
            << dir + "/one.csv" << dir + "/other" << "one.csv" << "A1: ok";
    }
    void resumeByPlanFile()
    {
        QFETCH(QString, recorded);
        QFETCH(QString, folder);
        QFETCH(QString, plan);
        QFETCH(QString, expected);
        QVERIFY(writeFile(path("one.jsonl"), R"({"tag":"A1","outcome":"ok","plan":")" +
                                                 recorded.toUtf8() +
                                                 R"(","sent":{"zeroAdjustTenths":10}})" "\n"));
        const Run r = run(
            cli, {"commission", "--simulate", "--record", path("one.jsonl"), "--resume", plan}, folder);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(expected) &&
                     r.out.endsWith("Campanha: 2 de 2 ok, 0 com falha, 0 não feito(s).\n"),
                 qPrintable(r.out));
        // What is recorded is the plan's own path.
        QCOMPARE(recordLines(path("one.jsonl")).last()["plan"].toString(),
                 QDir(folder).absoluteFilePath(plan));
    }

    // A resumed campaign skips a row only where the record holds it done as
    // the row asks now: a row corrected since is written again, and says so.
    // A line from before the asked values were kept is judged by what it sent.
    void resumeRedoesAChangedRow_data()
    {
        QTest::addColumn<QByteArray>("recorded"); // the ok line's own keys
        QTest::addColumn<QString>("said"); // the record then holds one line more if redone
        QTest::addColumn<QString>("direction");
        const QString redone = "TT-101: linha mudou desde o registro: refeito\n"
                               "\\[1/1\\] TT-101: conecte o transmissor",
                      skipped = "TT-101: já configurado \\(no registro\\), pulado";
        const auto row = [](const char* name, const QByteArray& recorded, const QString& said,
                            const char* direction = "rising") {
            QTest::newRow(name) << recorded << said << QString(direction);
        };
        // The row's six values (K, zero 0, 0 to 500, high, rising) with V. Máx. `upper`.
        const auto values = [](const char* key, const char* upper) {
            return QString(R"("%1":{"sensorTypeIndex":2,"zeroAdjustTenths":0,"rangeLowerTenths":0,)"
                           R"("sensorErrorIndex":2,"outputDirectionIndex":0,"rangeUpperTenths":%2})")
                .arg(key, upper).toUtf8();
        };
        // Choices are kept as the plan wrote them too.
        const auto asWritten = [&](const char* direction) {
            return values("requested", "5000")
                .replace("}", R"(,"sensorType":"K","sensorError":"high","outputDirection":)" +
                                  ('"' + QByteArray(direction) + "\"}"));
        };
        row("asked the same", asWritten("rising"), skipped);
        row("asked 0 to 600", values("requested", "6000"), redone);
        row("asked fewer values", R"("requested":{"sensorTypeIndex":2,"rangeUpperTenths":5000})", redone);
        row("older line, sent the same", values("sent", "5000"), skipped);
        row("older line, sent 0 to 600", values("sent", "6000"), redone);
        // The same item asked now by the model's own text, which another
        // model would refuse: not what was asked then.
        row("asked now as '4 a 20 mA'", asWritten("rising"), redone, "4 a 20 mA");
        row("asked as '4 a 20 mA' then and now", asWritten("4 a 20 mA"), skipped, "4 a 20 mA");
    }
    void resumeRedoesAChangedRow()
    {
        QFETCH(QByteArray, recorded);
        QFETCH(QString, said);
        QFETCH(QString, direction);
        QVERIFY(writeFile(path("changed.csv"), "tag;sensor;zero;lower;upper;fault;direction\n"
                                               "TT-101;K;0;0;500;high;" + direction.toUtf8() + "\n"));
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
        QCOMPARE(record.size(), said.contains("refeito") ? 2 : 1);
        QCOMPARE(record.last()["readBack"]["rangeUpperTenths"].toInt(5000), 5000);
        // The report shows the row as the plan asks it now, tried once since.
        const QString page = shownText(path("changed.html"));
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
        const auto row = [](const char* name, const char* model, const char* cells,
                            const QString& said, const char* outcome) {
            QTest::newRow(name) << QString(model) << QByteArray(cells) << said << QString(outcome);
        };
        const QString voltage = "não é uma opção do TRV-C (Sinal de Saída: 0 a 10 V, 10 a 0 V)";
        row("4 a 20 mA, voltage model", "10", "4 a 20 mA;", "falhou: '4 a 20 mA' " + voltage, "refused");
        row("20 a 4 mA, voltage model", "10", "20 a 4 mA;", "falhou: '20 a 4 mA' " + voltage, "refused");
        row("a current model's fault text, voltage model", "10", ";Sinal de Saída > 20 mA",
            "falhou: 'Sinal de Saída > 20 mA' não é uma opção do TRV-C (Erro do Sensor: Nenhum, "
            "Sinal de Saída Mínimo, Sinal de Saída Máximo)",
            "refused");
        row("10 a 0 V, current model", "421", "10 a 0 V;",
            "falhou: '10 a 0 V' não é uma opção do TRV-B (Sinal de Saída: 4 a 20 mA, 20 a 4 mA)",
            "refused");
        row("10 a 0 V, voltage model", "10", "10 a 0 V;", "ok", "ok");
        row("decrescente, voltage model", "10", "decrescente;máximo", "ok", "ok");
        row("falling, current model", "420", "falling;", "ok", "ok");
        row("unknown model", "999", "rising;", "falhou: modelo desconhecido (código 999)",
            "unknown-model");
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
        QTest::newRow("unplugged")
            << true << QStringList{} << "[1/3] TT-101: falhou: " + sent << one.arg(1).arg(2);
        QTest::newRow("unplugged, JSON")
            << true << QStringList{"--json"} << "\"error\":\"" + sent << one.arg(1).arg(2);
        QTest::newRow("Ctrl-C")
            << false << QStringList{}
            << "Campanha: 0 de 3 ok, 0 com falha, 3 não feito(s) (interrompida).\n" << one.arg(0).arg(3);
        QTest::newRow("Ctrl-C, JSON")
            << false << QStringList{"--json"}
            << R"({"failed":0,"interrupted":true,"notDone":3,"ok":0,"rows":3})" "\n" << one.arg(0).arg(3);
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
                               path("during.pdf"), path("plan.csv")} + format);
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
        const QString shown = shownText(path("during.pdf"), true);
        QVERIFY2(shown.contains(totals), qPrintable(shown));
        QVERIFY2(!unplug || shown.contains("Falhou: a configuração foi enviada; não foi possível "
                                           "confirmar (Erro ao tentar receber dados."),
                 qPrintable(shown));
    }

    // The report is written in its place before the first row, every row not
    // done: a folder on a full disk is found then, with nothing sent.
    void reportPlaceholder()
    {
        const QString full = path("fullreport");
        QVERIFY(QDir().mkpath(full));
        if (!mountFullDisk(full))
            QSKIP("mounting a small tmpfs is not permitted here");
        const Run r = run(cli, {"commission", "--simulate", "--record", path("placeholder.jsonl"),
                                "--report", full + "/r.pdf", path("plan.csv")});
        const QStringList left = QDir(full).entryList(QDir::Files | QDir::Hidden);
        QProcess::execute("umount", {full});
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, "quorva-cli: --report: não foi possível gravar o relatório em " + full +
                            "/r.pdf: sem espaço no dispositivo; nada foi enviado\n");
        QCOMPARE(r.status, 1);
        QCOMPARE(left, QStringList{"filler"});
        QVERIFY(recordLines(path("placeholder.jsonl")).isEmpty());
    }

    // A record lost on a full disk is said as `write` says it, in words and
    // in JSON, with what the transmitter took, and the campaign stops there:
    // the next row is not done.
    void recordOnFullDisk_data()
    {
        QTest::addColumn<QStringList>("format");
        QTest::addColumn<QStringList>("fault"); // the simulator's, none: the built-in one
        QTest::addColumn<QString>("expected");
        const QString lost = "--record: não foi possível gravar em %1: sem espaço no dispositivo; ";
        const QString confirmed = "a configuração foi enviada e confirmada, mas esta tentativa não "
                                  "ficou registrada";
        QTest::newRow("words") << QStringList{} << QStringList{}
                               << "[1/2] A1: " + lost + confirmed +
                                      "\nCampanha: 0 de 2 ok, 1 com falha, 1 não feito(s).\n";
        QTest::newRow("JSON") << QStringList{"--json"} << QStringList{}
                              << "\"error\":\"" + lost + confirmed + "\",\"firmware\"";
        QTest::newRow("a write sent and not kept")
            << QStringList{} << QStringList{"--fault", "ignore-writes"}
            << "[1/2] A1: " + lost +
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
        if (!mountFullDisk(full, {"r.jsonl"}))
            QSKIP("mounting a small tmpfs is not permitted here");
        Simulator sim(path("t4"));
        QVERIFY(fault.isEmpty() || sim.plug(fault));
        QFile::remove(path("full.html"));
        const QStringList port =
            fault.isEmpty() ? QStringList{"--simulate"} : QStringList{"--port", path("t4")};
        const Run r = run(cli, QStringList{"commission", "--record", record, "--report",
                                           path("full.html"), path("one.csv")} + format + port);
        QProcess::execute("umount", {full});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains(expected.arg(record)), qPrintable(r.out));
        // The report counts as the terminal does: the row failed.
        const QString page = shownText(path("full.html"));
        QVERIFY2(page.contains("confirmados: 0; com falha: 1; não executados: 1;"),
                 qPrintable(page));
        const QString totals = R"({"failed":1,"interrupted":false,"notDone":1,"ok":0,"rows":2})" "\n";
        QVERIFY2(format.isEmpty() ||
                     (r.out.contains(R"("outcome":"record-failed")") && r.out.endsWith(totals)),
                 qPrintable(r.out));
    }

    // Transmitters one after another on the same port. Ctrl-C between rows
    // keeps what was done; a resumed campaign skips it, records a
    // transmitter that ignores the write and goes on; the next resume does
    // only that row. The record holds what each attempt read back. The report
    // is in its place, every row not done, while the first row waits, and the
    // real one replaces it at the end, nothing left beside it.
    void interruptFailureAndResume()
    {
        Simulator sim(path("t2"));
        const QStringList args{"commission", "--port", path("t2"), "--timeout", "300", "--record",
                               path("resumed.jsonl"), "--operator", "Ana", path("plan.csv")};
        Campaign first(args + QStringList{"--report", path("first.html")});
        QVERIFY(first.awaits({"[1/3] TT-101: conecte o transmissor"}));
        QTRY_VERIFY(shownText(path("first.html")).contains("não executados: 3; tentativas: 0."));
        QVERIFY2(serve(first, sim, "[1/3]", "TT-101"), qPrintable(first.out()));
        // Why it waits is said: the port is gone with the transmitter.
        QVERIFY(first.awaits({"[2/3] TT-102: conecte o transmissor\n  aguardando: Erro ao abrir o "
                              "dispositivo USB. (" + path("t2") + ": porta não encontrada)\n"}));
        first.interrupt();
        QCOMPARE(first.finish(), 130);
        QVERIFY2(first.out().endsWith("1 de 3 ok, 0 com falha, 2 não feito(s) (interrompida).\n"),
                 qPrintable(first.out()));
        QCOMPARE(recordLines(path("resumed.jsonl")).size(), 1);
        // The interrupted campaign's report holds the plan's every row.
        const QString page = shownText(path("first.html"));
        QCOMPARE(page.count("Confirmado"), 1);
        QCOMPARE(page.count("Não executado"), 2);
        QCOMPARE(QDir(m_dir.path()).entryList({"*first.html*", ".*first.html*"},
                                              QDir::Files | QDir::Hidden),
                 QStringList{"first.html"});

        QVERIFY(sim.plug()); // TT-101's transmitter still on the cable
        Campaign second(args + QStringList{"--resume"});
        QVERIFY(second.awaits({"[1/3] TT-101: já configurado (no registro), pulado\n[2/3] TT-102: "
                               "um transmissor já responde: desconecte o último da campanha "
                               "anterior\n"}));
        sim.unplug();
        QVERIFY2(serve(second, sim, "[2/3]", "TT-102", {"--fault", "ignore-writes"}),
                 qPrintable(second.out()));
        QVERIFY2(second.out().contains("[2/3] TT-102: falhou: a releitura difere do que foi enviado"),
                 qPrintable(second.out()));
        QVERIFY2(serve(second, sim, "[3/3]", "TT-103"), qPrintable(second.out()));
        QCOMPARE(second.finish(), 1);
        QVERIFY(second.out().endsWith("Campanha: 2 de 3 ok, 1 com falha, 0 não feito(s).\n"));

        Campaign third(args + QStringList{"--resume", "--json"});
        QVERIFY2(serve(third, sim, "[2/3]", "TT-102"), qPrintable(third.out()));
        QCOMPARE(third.finish(), 0);
        QVERIFY2(third.out().endsWith(
                     R"({"failed":0,"interrupted":false,"notDone":0,"ok":3,"rows":3})" "\n"),
                 qPrintable(third.out()));
        QStringList got;
        for (const QJsonObject& line : recordLines(path("resumed.jsonl"))) {
            const QJsonObject back = line["readBack"].toObject();
            got << QStringLiteral("%1 %2 %3 %4 %5 %6 %7..%8 %9")
                       .arg(line["row"].toInt())
                       .arg(line["tag"].toString(), line["operator"].toString(),
                            line["outcome"].toString(), back["sensorType"].toString())
                       .arg(back["zeroAdjust"].toDouble()).arg(back["rangeLower"].toInt())
                       .arg(back["rangeUpper"].toInt()).arg(back["outputDirection"].toString());
        }
        QCOMPARE(got, (QStringList{"1 TT-101 Ana ok Termopar K -0.5 0..600 4 a 20 mA",
                                   "2 TT-102 Ana read-back-differs Pt100 0 -200..650 4 a 20 mA",
                                   "3 TT-103 Ana ok Termopar J 0 -100..760 20 a 4 mA",
                                   "2 TT-102 Ana ok Pt100 0.3 -200..650 4 a 20 mA"}));
    }
};

QTEST_MAIN(TestCommission)
#include "tst_commission.moc"
