// The commissioning report from a record written here line by line: its PDF
// read back by Debian's pdftotext and pdfinfo (poppler-utils), its HTML by
// the text it shows, and `quorva-cli report` run as a user runs it.
#include "clitestsupport.h"
#include "cli/report.h"

#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace quorva::cli;

namespace {

// Readings as `write --record` stores them, cut to the configuration.
#define PT100                                                                                      \
    R"({"sensorType":"Pt100","sensorTypeIndex":0,"rangeLowerTenths":-2000,"rangeUpperTenths":6500,"zeroAdjustTenths":0,"sensorError":"Nenhum","outputDirection":"4 a 20 mA"})"
#define K_0_600                                                                                    \
    R"({"sensorType":"Termopar K","sensorTypeIndex":2,"rangeLowerTenths":0,"rangeUpperTenths":6000,"zeroAdjustTenths":-5,"sensorError":"Nenhum","outputDirection":"20 a 4 mA"})"

const char kRecord[] =
    R"({"time":"2026-12-07T09:15:02.120-03:00","tag":"TT-101","operator":"João Conceição","plan":"planta-norte.csv","port":"/dev/ttyUSB0","model":"TRV-A","firmware":1.01,"before":)" PT100
    R"(,"readBack":)" K_0_600 R"(,"differences":[],"outcome":"ok"})"
    "\n"
    R"j({"time":"2026-12-07T09:17:40.000-03:00","tag":"TT-102","operator":"João Conceição","plan":"planta-norte.csv","port":"/dev/ttyUSB0","outcome":"no-reply","error":"Erro de leitura: o transmissor não respondeu (* Falha de comunicação *)"})j"
    "\n"
    R"({"time":"2026-12-07T09:20:11.500-03:00","tag":"A<&>\u0022B","operator":"João Conceição","plan":"planta-norte.csv","port":"/dev/ttyUSB0","model":"TRV-B","firmware":1.2,"before":)" PT100
    R"(,"readBack":)" PT100 R"(,"differences":[],"outcome":"ok"})"
    "\n\n"
    R"({"time":"2026-12-07T09:24:03.000-03:00","tag":"TT-102","operator":"João Conceição","plan":"planta-norte.csv","port":"/dev/ttyUSB0","model":"TRV-C","firmware":1.01,"before":)" PT100
    R"(,"readBack":)" PT100
    R"(,"differences":[{"field":"rangeUpperTenths","written":6000,"read":6500}],"outcome":"read-back-differs","error":"a releitura difere do que foi enviado"})"
    "\n"
    R"({"time":"2026-12-07T09:30:59.000-03:00","port":"/dev/ttyUSB1","model":"TRV-A","firmware":1.01,"before":)" PT100
    R"(,"readBack":)" K_0_600 R"(,"differences":[],"outcome":"ok"})"
    "\n";

QList<QJsonObject> attemptsOf(const QByteArray& lines)
{
    QList<QJsonObject> attempts;
    for (const QByteArray& line : lines.split('\n')) {
        if (!line.isEmpty())
            attempts << QJsonDocument::fromJson(line).object();
    }
    return attempts;
}

// Each file of a folder and what it holds.
QMap<QString, QByteArray> filesIn(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        files[name] = contentOf(folder + u'/' + name);
    return files;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString at(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationVersion("1.01");
        QVERIFY(m_dir.isValid());
        QVERIFY(writeFile(at("lote.jsonl"), kRecord));
        QString error;
        QVERIFY2(writeReport(attemptsOf(kRecord), {}, at("own.pdf"), &error), qPrintable(error));
    }

    void bothFormats_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("pdf") << "r.pdf";
        QTest::newRow("html") << "r.html";
        QTest::newRow("htm, capitals") << "R.HTM";
    }
    void bothFormats()
    {
        QFETCH(QString, file);
        QString error;
        const ReportSource source{"", "", {"TT-101", "TT-102", "A<&>\"B", "TT-105"}};
        QVERIFY2(writeReport(attemptsOf(kRecord), source, at(file), &error), qPrintable(error));
        const QString text = shownText(at(file));
        // Plan order, then the lines without a tag by their port.
        const QStringList inOrder{
            "Relatório de comissionamento",
            "Operador: João Conceição",
            "Plano: planta-norte.csv",
            "Programa: quorva-cli 1.01",
            "Primeira tentativa: 07/12/2026 09:15:02 (UTC−03:00)",
            "Última tentativa: 07/12/2026 09:30:59 (UTC−03:00)",
            "1 TT-101 TRV-A firmware 1,01 Pt100 -200 a 650 °C Zero: 0,0 °C Erro do sensor: Nenhum "
            "Saída: 4 a 20 mA — Termopar K 0 a 600 °C Zero: -0,5 °C Erro do sensor: Nenhum Saída: "
            "20 a 4 mA Confirmado 07/12/2026 09:15:02",
            "2 TT-102 2 tentativas TRV-C firmware 1,01",
            "Falhou: a releitura difere",
            "Máx.)",
            "3 A<&>\"B TRV-B firmware 1,20",
            "4 TT-105 — — — — Não executado —",
            "5 /dev/ttyUSB1 TRV-A",
            "Totais: transmissores: 5; confirmados: 3; com falha: 1; não executados: 1; tentativas: 5.",
        };
        qsizetype from = 0;
        for (const QString& part : inOrder) {
            const qsizetype found = text.indexOf(part, from);
            QVERIFY2(found >= 0,
                     qPrintable(QString("\"%1\" missing (or out of order) in: %2").arg(part, text)));
            from = found + part.size();
        }
        if (file.endsWith(".pdf"))
            return;
        const QString html = QString::fromUtf8(contentOf(at(file)));
        QVERIFY(html.startsWith("<!DOCTYPE html>"));
        // What the write changed is bold after it; what it left is not.
        for (const char* part : {"<meta charset=\"utf-8\">", "size: A4", "A&lt;&amp;&gt;&quot;B",
                                 "<b>Termopar K</b>", "<b>Zero: -0,5 °C</b>"})
            QVERIFY2(html.contains(part), part);
        QVERIFY(!html.contains("A<&>"));
        QVERIFY(!html.contains("<b>Erro do sensor: Nenhum</b>"));
    }

    // Beside the device before and after, what the attempt asked: what it
    // sent, or, when nothing went out, the device with the row's values.
    // A field read back otherwise than asked is marked; the page and the
    // PDF (each cell whole, as pdftotext -raw reads it) say the same.
    void askedConfiguration_data() { bothFormats_data(); }
    void askedConfiguration()
    {
        QFETCH(QString, file);
        // Asked K 0 to 600, read back the Pt100 untouched (a transmitter
        // that ignores writes); asked zero 1,5 and refused before sending.
        const QByteArray lines =
            R"({"time":"2026-12-07T10:00:00-03:00","tag":"TT-1","model":"TRV-A","firmware":1.01,)"
            R"("before":)" PT100 R"(,"sent":{"sensorTypeIndex":2,"zeroAdjustTenths":-5,)"
            R"("rangeLowerTenths":0,"rangeUpperTenths":6000,"sensorErrorIndex":0,)"
            R"("outputDirectionIndex":1},"readBack":)" PT100
            R"(,"outcome":"read-back-differs","error":"a releitura difere do que foi enviado"})"
            "\n"
            R"({"time":"2026-12-07T10:01:00-03:00","tag":"TT-2","model":"TRV-A","firmware":1.01,)"
            R"("before":)" PT100 R"(,"requested":{"zeroAdjustTenths":15},)"
            R"("outcome":"refused","error":"recusada"})"
            "\n";
        QString error;
        QVERIFY2(writeReport(attemptsOf(lines), {}, at(file), &error), qPrintable(error));
        const QString text = shownText(at(file), true);
        const QString pt100 = "Pt100 -200 a 650 °C Zero: 0,0 °C Erro do sensor: Nenhum Saída: "
                              "4 a 20 mA";
        for (const QString& part :
             QStringList{"Antes Pedido Depois (relido) Resultado",
              "TT-1 TRV-A firmware 1,01 " + pt100 +
                  " Termopar K 0 a 600 °C Zero: -0,5 °C Erro do sensor: Nenhum Saída: 20 a 4 mA "
                  "≠ Pt100 ≠ -200 a 650 °C ≠ Zero: 0,0 °C Erro do sensor: Nenhum ≠ Saída: 4 a 20 "
                  "mA Falhou",
              "TT-2 TRV-A firmware 1,01 " + pt100 +
                  " Pt100 -200 a 650 °C Zero: 1,5 °C Erro do sensor: Nenhum Saída: 4 a 20 mA — "
                  "Falhou: configuração recusada recusada"})
            QVERIFY2(text.contains(part), qPrintable(part + "\n in: " + text));
    }

    // A transmitter whose last attempt failed: the failure's code in the
    // reviewer's words, and the transmitter counted failed.
    void lastAttemptFailed_data()
    {
        QTest::addColumn<QStringList>("outcomes"); // the tag's attempts, in order
        QTest::addColumn<QString>("words");
        QTest::newRow("no-reply") << QStringList{"no-reply"} << "Falhou: o transmissor não respondeu";
        QTest::newRow("port-gone") << QStringList{"port-gone"}
                                   << "Falhou: a porta deixou de responder (cabo desconectado?)";
        QTest::newRow("unknown code") << QStringList{"new-code"} << "Falhou: new-code";
        // A request that went out and was never answered was sent: so says
        // the line of today's record, and that of an older one.
        const QString sent = "Falhou: a configuração foi enviada; não foi possível confirmar (Erro "
                             "ao tentar receber dados.) 07/12";
        QTest::newRow("sent, not confirmed")
            << QStringList{R"(sent-unconfirmed","sent":{},"error":"a configuração foi enviada; não )"
                           R"(foi possível confirmar (Erro ao tentar receber dados.))"}
            << sent;
        QTest::newRow("sent, an older record")
            << QStringList{R"(read-failed","sent":{},"error":"Erro ao tentar receber dados.)"} << sent;
        QTest::newRow("not sent")
            << QStringList{R"(read-failed","error":"Erro ao tentar receber dados.)"}
            << "Falhou: a leitura falhou Erro ao tentar receber dados. 07/12";
        // Confirmed, then failed on a retry: as the retry left it.
        QTest::newRow("confirmed, then no reply")
            << QStringList{"ok", "no-reply"} << "Falhou: o transmissor não respondeu";
    }
    void lastAttemptFailed()
    {
        QFETCH(QStringList, outcomes);
        QFETCH(QString, words);
        QByteArray lines;
        for (int i = 0; i < outcomes.size(); ++i)
            lines += QString(R"({"time":"2026-12-07T09:%1:02-03:00","tag":"T","outcome":"%2"})" "\n")
                         .arg(15 + i).arg(outcomes[i]).toUtf8();
        QString error;
        QVERIFY2(writeReport(attemptsOf(lines), {}, at("o.html"), &error), qPrintable(error));
        const QString shown = shownText(at("o.html"));
        QVERIFY2(shown.contains(words), qPrintable(shown));
        QVERIFY2(shown.contains("Totais: transmissores: 1; confirmados: 0; com falha: 1;"),
                 qPrintable(shown));
    }

    // Forty transmitters run over pages, each page numbered, no row lost.
    void fortyRowsPaginate()
    {
        QList<QJsonObject> attempts;
        QStringList tags;
        for (int i = 1; i <= 40; ++i) {
            tags << QString("TT-%1").arg(200 + i);
            attempts << attemptsOf(QString(R"({"time":"2026-12-07T10:%1:00-03:00","tag":"%2",)"
                                           R"("model":"TRV-A","firmware":1.01,"before":)" PT100
                                           R"(,"readBack":)" K_0_600 R"(,"outcome":"ok"})")
                                       .arg(i, 2, 10, QChar('0')).arg(tags.last()).toUtf8());
        }
        QString error;
        QVERIFY2(writeReport(attempts, {"Ana", "p.csv", tags}, at("40.pdf"), &error),
                 qPrintable(error));
        const QString info = run("pdfinfo", {at("40.pdf")}).out;
        const int pages = QRegularExpression(R"(Pages:\s+(\d+))").match(info).captured(1).toInt();
        QVERIFY2(pages > 1, qPrintable(info));
        QVERIFY(info.contains("A4"));
        const QString text = shownText(at("40.pdf"));
        for (const QString& tag : tags)
            QVERIFY2(text.count(QRegularExpression("\\b" + tag + "\\b")) == 1, qPrintable(tag));
        // Each page numbered, and each row whole on its page: its tag and its
        // last line, the read-back's output, together.
        for (int page = 1; page <= pages; ++page) {
            const QString n = QString::number(page);
            const QString onPage = run("pdftotext", {"-f", n, "-l", n, at("40.pdf"), "-"}).out;
            QVERIFY(onPage.contains(QString("página %1 de %2").arg(page).arg(pages)));
            QCOMPARE(onPage.count(QRegularExpression("TT-2\\d\\d")),
                     onPage.count("Saída: 20 a 4 mA"));
        }
        QVERIFY(text.contains("Totais: transmissores: 40; confirmados: 40; com falha: 0;"));
    }

    // Commands run in a folder of records, reports and plans: rec.jsonl
    // (the row's record, else the lines above) and lote.htm are records,
    // alias.htm a symbolic link to the latter, link.html a hard link to
    // rec.jsonl; notas.html is the plant's own page, own.pdf a report of this
    // program; pasta.pdf and sub are folders; plano.csv, areaA.csv and
    // areaB.csv plans. A refused command (status 1 or 2) says why on
    // standard error (`said`) and leaves every file as it was; a report
    // written is said on standard output (the first of `said`) and shows
    // each other part of `said`. "@/" is the folder, another "@" the record.
    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QByteArray>("record");
        const auto row = [](const char* name, const QString& args, int status,
                            const QStringList& said, const QByteArray& record = {}) {
            QTest::newRow(name) << args.split(u' ') << status << said << record;
        };
        const QByteArray good = kRecord;
        const QString notAttempt = "quorva-cli: @: a linha %1 não é uma tentativa do registro (%2)",
                      timeAndOutcome = "um objeto JSON com time e outcome";
        row("missing record", "report nada.jsonl -o x.pdf", 2, {"quorva-cli: nada.jsonl: não existe"});
        row("bad line", "report rec.jsonl -o x.pdf", 2, {notAttempt.arg(7).arg(timeAndOutcome)},
            good + "{\"time\":\"2026-12-07T10:00:00-03:00\",\"outcome\":\"ok\"\n");
        row("line without outcome", "report rec.jsonl -o x.pdf", 2,
            {notAttempt.arg(1).arg(timeAndOutcome)},
            "{\"time\":\"2026-12-07T10:00:00-03:00\",\"tag\":\"T\"}\n");
        const auto wrongType = [&](const char* name, const char* pair, const char* says) {
            row(name, "report rec.jsonl -o x.pdf", 2, {notAttempt.arg(7).arg(says)},
                good + R"({"time":"2026-12-07T10:00:00-03:00","outcome":"ok",)" + pair + "}\n");
        };
        wrongType("firmware as text", R"("firmware":"abc")", "firmware deve ser um número");
        wrongType("tag as number", R"("tag":7)", "tag deve ser um texto");
        wrongType("row not whole", R"("row":1.5)", "row deve ser um número inteiro");
        wrongType("before as text", R"("before":"x")", "before deve ser um objeto");
        wrongType("differences as object", R"("differences":{})", "differences deve ser uma lista");
        row("more rows than drawn", "report rec.jsonl -o x.pdf", 2,
            {"quorva-cli: x.pdf: o relatório teria 2001 linhas (uma por tag, e uma por linha sem "
             "tag); o máximo é 2000"},
            QByteArray(R"({"time":"2026-12-07T10:00:00-03:00","outcome":"ok"})" "\n").repeated(2001));
        row("empty record", "report rec.jsonl -o x.pdf", 2,
            {"quorva-cli: @: o registro não tem tentativas"}, "\n");
        row("folder as record", "report . -o x.pdf", 2, {"quorva-cli: .: é uma pasta"});
        row("no output", "report rec.jsonl", 2,
            {"quorva-cli: report: falta -o ARQUIVO (.pdf ou .html)"});
        row("extension", "report rec.jsonl -o x.txt", 2,
            {"quorva-cli: --output: x.txt: o relatório deve terminar em .pdf, .html ou .htm"});
        row("missing folder", "report rec.jsonl -o nenhuma/x.pdf", 1,
            {"quorva-cli: nenhuma/x.pdf: a pasta @/nenhuma não aceita o relatório: não existe"});
        row("file as folder", "report rec.jsonl -o rec.jsonl/x.html", 1,
            {"quorva-cli: rec.jsonl/x.html: a pasta @/rec.jsonl não aceita o relatório: não é "
             "uma pasta"});
        row("only an extension", "report rec.jsonl -o .pdf", 2,
            {"quorva-cli: --output: .pdf: o relatório precisa de um nome antes da extensão"});
        row("folder as report", "report rec.jsonl -o pasta.pdf", 1,
            {"quorva-cli: pasta.pdf: é uma pasta"});
        // Root may write anywhere by the permission bits, /proc included.
        row("a folder no file can be made in", "report rec.jsonl -o /proc/a.pdf", 1,
            {QString("quorva-cli: /proc/a.pdf: a pasta /proc não aceita o relatório: ") +
             (::geteuid() == 0 ? "não existe" : "sem permissão")});

        // No command replaces a record, by any of its names, even with
        // --overwrite; a file this program did not write as a report is
        // replaced only with --overwrite; its own report is replaced.
        const QString own = "o relatório não o substitui";
        row("report over its own record", "report lote.htm -o lote.htm", 2,
            {"quorva-cli: lote.htm é o próprio registro (lote.htm): " + own});
        row("by another name", "report lote.htm -o sub/../lote.htm --overwrite", 2,
            {"quorva-cli: sub/../lote.htm é o próprio registro (lote.htm): " + own});
        row("by a symbolic link", "report alias.htm -o lote.htm", 2,
            {"quorva-cli: lote.htm é o próprio registro (alias.htm): " + own});
        row("a hard link to the record", "report rec.jsonl -o link.html --overwrite", 2,
            {"quorva-cli: link.html é o próprio registro (rec.jsonl): " + own});
        row("another record", "report rec.jsonl -o lote.htm --overwrite", 2,
            {"quorva-cli: lote.htm guarda linhas de um registro de tentativas: " + own});
        row("a page of the plant's", "report rec.jsonl -o notas.html", 2,
            {"quorva-cli: notas.html já existe e não é um relatório do quorva-cli: use "
             "--overwrite para substituí-lo"});
        row("a page of the plant's, --overwrite", "report rec.jsonl -o notas.html --overwrite", 0,
            {"Relatório gravado em notas.html (5 tentativas).", "Relatório de comissionamento"});
        row("its own report", "report rec.jsonl -o own.pdf", 0,
            {"Relatório gravado em own.pdf (5 tentativas).", "Relatório de comissionamento"});
        // Without a plan, the record's own plan file and only its transmitters.
        row("the operator named", "report rec.jsonl -o cli.pdf --operator Ângela", 0,
            {"Relatório gravado em cli.pdf (5 tentativas).", "Operador: Ângela", "página 1 de 1",
             "Plano: planta-norte.csv",
             "Totais: transmissores: 4; confirmados: 3; com falha: 1; não executados: 0"});
        row("a campaign's report over its record",
            "commission --simulate --record c.html --report ./c.html plano.csv", 2,
            {"quorva-cli: --report: ./c.html é o próprio registro (c.html): " + own});
        // Nor is a record appended to a report: the report is spoilt, and
        // the record unreadable.
        const QString intoReport = "quorva-cli: --record: own.pdf: é um relatório, não um registro";
        row("a write recorded into a report", "write --simulate --zero 0,5 --record own.pdf", 2,
            {intoReport});
        row("a campaign recorded into a report", "commission --simulate --record own.pdf plano.csv",
            2, {intoReport});
        row("a campaign's report over a record",
            "commission --simulate --report lote.htm --overwrite plano.csv", 2,
            {"quorva-cli: --report: lote.htm guarda linhas de um registro de tentativas: " + own});

        // A record of two plans is reported one plan at a time: without
        // --plan it is refused naming both; each plan's report has its own
        // operators and transmitters. A plan taken up by another technician
        // names both.
        QByteArray twoPlans;
        for (const char* attempt : {"TT-101 Ana A", "TT-102 Ana A", "TT-101 Bruno B", "TT-103 Carla A"}) {
            const QStringList a = QString(attempt).split(u' ');
            twoPlans += QString(R"({"time":"2026-12-07T10:00:00-03:00","tag":"%1","operator":"%2",)"
                                R"("plan":"@/area%3.csv","outcome":"ok"})" "\n")
                            .arg(a[0], a[1], a[2]).toUtf8();
        }
        row("no plan chosen", "report rec.jsonl -o r.html", 2,
            {"quorva-cli: rec.jsonl: o registro tem tentativas de 2 planos (@/areaA.csv, "
             "@/areaB.csv): escolha um com --plan ARQUIVO"},
            twoPlans);
        row("plan A", "report rec.jsonl -o r.html --plan areaA.csv", 0,
            {"Relatório gravado em r.html (3 tentativas).", "Operador: Ana, Carla Plano: @/areaA.csv",
             "transmissores: 3;", "tentativas: 3."},
            twoPlans);
        // One attempt is one "tentativa".
        row("plan B, by its absolute path", "report rec.jsonl -o r.html --plan @/areaB.csv", 0,
            {"Relatório gravado em r.html (1 tentativa).", "Operador: Bruno Plano: @/areaB.csv",
             "transmissores: 1;", "tentativas: 1."},
            twoPlans);
        row("a plan the record does not hold", "report rec.jsonl -o r.html --plan areaC.csv", 2,
            {"quorva-cli: rec.jsonl: o registro não tem tentativas do plano areaC.csv"}, twoPlans);
    }
    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QStringList, said);
        QFETCH(QByteArray, record);
        QTemporaryDir dir;
        const QString root = QDir(dir.path()).canonicalPath();
        const auto in = [&](const QString& name) { return root + u'/' + name; };
        record.replace("@/", in("").toUtf8());
        QVERIFY(writeFile(in("rec.jsonl"), record.isEmpty() ? kRecord : record));
        QVERIFY(writeFile(in("lote.htm"), kRecord));
        QVERIFY(QFile::link(in("lote.htm"), in("alias.htm")));
        QCOMPARE(::link(qPrintable(in("rec.jsonl")), qPrintable(in("link.html"))), 0);
        QVERIFY(writeFile(in("notas.html"), "<!DOCTYPE html><title>Notas</title><p>TT-101 trocado</p>"));
        QVERIFY(QFile::copy(at("own.pdf"), in("own.pdf")));
        QVERIFY(QDir(root).mkdir("pasta.pdf") && QDir(root).mkdir("sub"));
        for (const char* plan : {"plano.csv", "areaA.csv", "areaB.csv"})
            QVERIFY(writeFile(in(plan), "tag;zero\nA;1\n"));
        const QMap<QString, QByteArray> before = filesIn(root);
        const Run r = run(cli, args.replaceInStrings("@/", in("")), root);
        said.replaceInStrings("@/", in("")).replaceInStrings("@", "rec.jsonl");
        QCOMPARE(status == 0 ? r.out : r.err, said.takeFirst() + u'\n');
        QCOMPARE(status == 0 ? r.err : r.out, QString());
        QCOMPARE(r.status, status);
        if (status != 0) { // nothing made, nothing changed
            QCOMPARE(filesIn(root), before);
            return;
        }
        const QString shown = shownText(in(args.at(args.indexOf("-o") + 1)));
        for (const QString& part : said)
            QVERIFY2(shown.contains(part), qPrintable(part + "\n in: " + shown));
    }

    // A report that does not reach a full disk whole fails, and the old
    // report of that name stays as it was, with nothing beside it: the disk
    // full, or with room for a part of the report only.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fillerBlocks");
        QTest::newRow("pdf, full") << "a.pdf" << "";
        QTest::newRow("pdf, 16 KiB left") << "a.pdf" << "count=0";
        QTest::newRow("html, full") << "a.html" << "";
    }
    void fullDisk()
    {
        QFETCH(QString, name);
        QFETCH(QString, fillerBlocks);
        if (run("unshare", {"-m", "--propagation", "private", "true"}).status != 0)
            QSKIP("no mount namespace here");
        const QString disk = at("full"), kept = at("kept");
        QVERIFY(QDir().mkpath(disk));
        const char* script = R"(mount -t tmpfs -o size=20k tmpfs "$1" || exit 77
echo old > "$1/$2"; dd if=/dev/zero of="$1/filler" bs=1k $6 2>/dev/null
"$3" report "$4" -o "$1/$2" --overwrite; status=$?
cat "$1/$2" > "$5"; ls -A "$1" >> "$5"; exit $status)";
        const Run r = run("unshare", {"-m", "--propagation", "private", "sh", "-c", script, "sh",
                                      disk, name, cli, at("lote.jsonl"), kept, fillerBlocks});
        if (r.status == 77)
            QSKIP("mounting a small tmpfs is not permitted here");
        QCOMPARE(r.err, QString("quorva-cli: não foi possível gravar o relatório em %1/%2: sem "
                                "espaço no dispositivo\n")
                            .arg(disk, name));
        QCOMPARE(r.out, QString());
        QCOMPARE(r.status, 1);
        QCOMPARE(QString::fromUtf8(contentOf(kept)), "old\n" + name + "\nfiller\n");
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
