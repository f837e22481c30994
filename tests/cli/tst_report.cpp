// The commissioning report from a record written here line by line: its PDF
// read back by Debian's pdftotext and pdfinfo (poppler-utils), its HTML by
// the text it shows, and `quorva-cli report` run as a user runs it.
#include "cli/report.h"

#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
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

struct Run
{
    int status = -1;
    QString out, err;
};

Run run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    const bool exited = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit;
    return {exited ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString simplified(const QString& text)
{
    return text.simplified();
}

// The text a reader sees: the PDF's through pdftotext, the page's through its markup.
QString shownText(const QString& path)
{
    if (path.endsWith(".pdf"))
        return simplified(run("pdftotext", {path, "-"}).out);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QTextDocument page;
    page.setHtml(QString::fromUtf8(file.readAll()));
    return simplified(page.toPlainText());
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
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
        writeFile(at("lote.jsonl"), kRecord);
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
            QVERIFY2(
                found >= 0,
                qPrintable(QString("\"%1\" missing (or out of order) in: %2").arg(part, text)));
            from = found + part.size();
        }
        if (file.endsWith(".pdf"))
            return;
        QFile page(at(file));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        QVERIFY(html.startsWith("<!DOCTYPE html>"));
        for (const char* part : {"<meta charset=\"utf-8\">", "size: A4", "A&lt;&amp;&gt;&quot;B"})
            QVERIFY2(html.contains(part), part);
        QVERIFY(!html.contains("A<&>"));
        // What the write changed is bold after it; what it left is not.
        for (const char* part : {"<b>Termopar K</b>", "<b>Zero: -0,5 °C</b>"})
            QVERIFY2(html.contains(part), part);
        QVERIFY(!html.contains("<b>Erro do sensor: Nenhum</b>"));
    }

    // Beside the device before and after, what the attempt asked: what it
    // sent, or, when nothing went out, the device with the row's values.
    // A field read back otherwise than asked is marked; the page and the
    // PDF (each cell whole, as pdftotext -raw reads it) say the same.
    void askedConfiguration_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("pdf") << "asked.pdf";
        QTest::newRow("html") << "asked.html";
    }
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
        QString text;
        if (file.endsWith(".pdf"))
            text = simplified(run("pdftotext", {"-raw", at(file), "-"}).out);
        else
            text = shownText(at(file));
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

    // A failure's code in the reviewer's words.
    void outcomeWords_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("words");
        QTest::newRow("no-reply") << "no-reply" << "Falhou: o transmissor não respondeu";
        QTest::newRow("port-gone") << "port-gone"
                                   << "Falhou: a porta deixou de responder (cabo desconectado?)";
        QTest::newRow("unknown code") << "new-code" << "Falhou: new-code";
        // A request that went out and was never answered was sent: so says
        // the line of today's record, and that of an older one.
        QTest::newRow("sent, not confirmed")
            << R"(sent-unconfirmed","sent":{},"error":"a configuração foi enviada; não foi )"
               R"(possível confirmar (Erro ao tentar receber dados.))"
            << "Falhou: a configuração foi enviada; não foi possível confirmar (Erro ao tentar "
               "receber dados.) 07/12";
        QTest::newRow("sent, an older record")
            << R"(read-failed","sent":{},"error":"Erro ao tentar receber dados.)"
            << "Falhou: a configuração foi enviada; não foi possível confirmar (Erro ao tentar "
               "receber dados.) 07/12";
        QTest::newRow("not sent") << R"(read-failed","error":"Erro ao tentar receber dados.)"
                                  << "Falhou: a leitura falhou Erro ao tentar receber dados. 07/12";
    }
    void outcomeWords()
    {
        QFETCH(QString, code);
        QFETCH(QString, words);
        QString error;
        const QString line = R"({"time":"2026-12-07T09:15:02-03:00","tag":"T","outcome":"%1"})";
        QVERIFY2(writeReport(attemptsOf(line.arg(code).toUtf8()), {}, at("o.html"), &error),
                 qPrintable(error));
        QVERIFY2(shownText(at("o.html")).contains(words), qPrintable(shownText(at("o.html"))));
    }

    // A transmitter is as its last attempt left it: confirmed, then failed
    // on a retry, it is counted and shown failed.
    void lastAttemptCounts()
    {
        QString error;
        const QByteArray lines =
            R"({"time":"2026-12-07T09:00:00-03:00","tag":"TT-1","outcome":"ok"})"
            "\n"
            R"({"time":"2026-12-07T09:05:00-03:00","tag":"TT-1","outcome":"no-reply"})";
        QVERIFY2(writeReport(attemptsOf(lines), {}, at("last.html"), &error), qPrintable(error));
        const QString shown = shownText(at("last.html"));
        QVERIFY2(shown.contains("Totais: transmissores: 1; confirmados: 0; com falha: 1;") &&
                     shown.contains("Falhou: o transmissor não respondeu"),
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
                                       .arg(i, 2, 10, QChar('0'))
                                       .arg(tags.last())
                                       .toUtf8());
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
            const QString onPage = run("pdftotext", {"-f", QString::number(page), "-l",
                                                     QString::number(page), at("40.pdf"), "-"})
                                       .out;
            QVERIFY(onPage.contains(QString("página %1 de %2").arg(page).arg(pages)));
            QCOMPARE(onPage.count(QRegularExpression("TT-2\\d\\d")),
                     onPage.count("Saída: 20 a 4 mA"));
        }
        QVERIFY(text.contains("Totais: transmissores: 40; confirmados: 40; com falha: 0;"));
    }

    // What the campaign asks before its first row, as the function answers it.
    void pathAccepted_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("pdf") << "@/a.pdf"
                             << "";
        QTest::newRow("HTM") << "@/a.HTM"
                             << "";
        QTest::newRow("txt") << "@/a.txt"
                             << "@/a.txt: o relatório deve terminar em .pdf, .html ou .htm";
        QTest::newRow("folder") << "@/f.pdf"
                                << "@/f.pdf: é uma pasta";
        QTest::newRow("no folder") << "@/n/a.pdf"
                                   << "@/n/a.pdf: a pasta @/n não aceita o relatório: não existe";
        QTest::newRow("only an extension")
            << "@/f.pdf/.html"
            << "@/f.pdf/.html: o relatório precisa de um nome antes da extensão";
        // Root may write anywhere by the permission bits, /proc included.
        QTest::newRow("/proc") << "/proc/a.pdf"
                               << QString("/proc/a.pdf: a pasta /proc não aceita o relatório: ") +
                                      (::geteuid() == 0 ? "não existe" : "sem permissão");
    }
    void pathAccepted()
    {
        QFETCH(QString, path);
        QFETCH(QString, refusal);
        QVERIFY(QDir(m_dir.path()).mkpath("f.pdf"));
        QString error;
        QCOMPARE(reportPathAccepted(path.replace("@", m_dir.path()), &error), refusal.isEmpty());
        QCOMPARE(error, refusal.replace("@", m_dir.path()));
    }

    void command()
    {
        const Run r =
            run(qEnvironmentVariable("QUORVA_CLI"),
                {"report", at("lote.jsonl"), "-o", at("cli.pdf"), "--operator", "Maria Ângela"});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, QString("Relatório gravado em %1 (5 tentativas).\n").arg(at("cli.pdf")));
        QCOMPARE(r.status, 0);
        const QString text = shownText(at("cli.pdf"));
        QVERIFY(text.contains("Operador: Maria Ângela"));
        QVERIFY(text.contains("página 1 de 1"));
        // Without a plan, the record's own plan file and only its transmitters.
        QVERIFY(text.contains("Plano: planta-norte.csv"));
        QVERIFY(
            text.contains("Totais: transmissores: 4; confirmados: 3; com falha: 1; não executados: 0"));
        // One attempt is one "tentativa".
        writeFile(at("one.jsonl"), QByteArray(kRecord).left(QByteArray(kRecord).indexOf('\n') + 1));
        const Run one = run(qEnvironmentVariable("QUORVA_CLI"),
                            {"report", at("one.jsonl"), "-o", at("one.html")});
        QCOMPARE(one.out, QString("Relatório gravado em %1 (1 tentativa).\n").arg(at("one.html")));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QByteArray good = kRecord;
        QTest::newRow("missing record") << QByteArray() << QStringList{"nada.jsonl", "-o", "x.pdf"}
                                        << 2 << "quorva-cli: nada.jsonl: não existe";
        QTest::newRow("bad line")
            << good + "{\"time\":\"2026-12-07T10:00:00-03:00\",\"outcome\":\"ok\"\n"
            << QStringList{"-o", "x.pdf"} << 2
            << "quorva-cli: @: a linha 7 não é uma tentativa do registro (um objeto JSON com "
               "time e outcome)";
        QTest::newRow("line without outcome")
            << QByteArray("{\"time\":\"2026-12-07T10:00:00-03:00\",\"tag\":\"T\"}\n")
            << QStringList{"-o", "x.pdf"} << 2
            << "quorva-cli: @: a linha 1 não é uma tentativa do registro (um objeto JSON com "
               "time e outcome)";
        const auto wrongType = [&](const char* name, const char* pair, const char* says) {
            QTest::newRow(name) << good + R"({"time":"2026-12-07T10:00:00-03:00","outcome":"ok",)" +
                                       pair + "}\n"
                                << QStringList{"-o", "x.pdf"} << 2
                                << QString(
                                       "quorva-cli: @: a linha 7 não é uma tentativa do registro "
                                       "(%1)")
                                       .arg(says);
        };
        wrongType("firmware as text", R"("firmware":"abc")", "firmware deve ser um número");
        wrongType("tag as number", R"("tag":7)", "tag deve ser um texto");
        wrongType("row not whole", R"("row":1.5)", "row deve ser um número inteiro");
        wrongType("before as text", R"("before":"x")", "before deve ser um objeto");
        wrongType("differences as object", R"("differences":{})", "differences deve ser uma lista");
        QTest::newRow("more rows than drawn")
            << QByteArray(R"({"time":"2026-12-07T10:00:00-03:00","outcome":"ok"})"
                          "\n")
                   .repeated(2001)
            << QStringList{"-o", "x.pdf"} << 2
            << "quorva-cli: x.pdf: o relatório teria 2001 linhas (uma por tag, e uma por linha "
               "sem tag); o máximo é 2000";
        QTest::newRow("empty record") << QByteArray("\n") << QStringList{"-o", "x.pdf"} << 2
                                      << "quorva-cli: @: o registro não tem tentativas";
        QTest::newRow("folder as record")
            << QByteArray() << QStringList{".", "-o", "x.pdf"} << 2 << "quorva-cli: .: é uma pasta";
        QTest::newRow("no output")
            << good << QStringList{} << 2 << "quorva-cli: report: falta -o ARQUIVO (.pdf ou .html)";
        QTest::newRow("extension") << good << QStringList{"-o", "x.txt"} << 2
                                   << "quorva-cli: --output: x.txt: o relatório deve terminar em "
                                      ".pdf, .html ou .htm";
        QTest::newRow("missing folder")
            << good << QStringList{"-o", "nenhuma/x.pdf"} << 1
            << "quorva-cli: nenhuma/x.pdf: a pasta @/nenhuma não aceita o relatório: não existe";
        QTest::newRow("file as folder")
            << good << QStringList{"-o", "rec.jsonl/x.html"} << 1
            << "quorva-cli: rec.jsonl/x.html: a pasta @/rec.jsonl não aceita o relatório: não é "
               "uma pasta";
        QTest::newRow("only an extension")
            << good << QStringList{"-o", ".pdf"} << 2
            << "quorva-cli: --output: .pdf: o relatório precisa de um nome antes da extensão";
        QTest::newRow("folder as report")
            << good << QStringList{"-o", "pasta.pdf"} << 1 << "quorva-cli: pasta.pdf: é uma pasta";
    }
    void refusals()
    {
        QFETCH(QByteArray, record);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("pasta.pdf"));
        QStringList line{"report"};
        if (!record.isEmpty()) {
            writeFile(dir.filePath("rec.jsonl"), record);
            line << "rec.jsonl";
        }
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(qEnvironmentVariable("QUORVA_CLI"), line + args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
                 message.replace("@/", dir.path() + "/").replace("@", "rec.jsonl") + "\n");
        QCOMPARE(p.exitCode(), status);
        QVERIFY(!QFile::exists(dir.filePath("x.pdf")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), record.isEmpty() ? 0 : 1);
    }

    // No command replaces a record, by any of its names: a report over its
    // own record or over a file holding a record's lines is refused (status
    // 2, the file untouched) even with --overwrite; a file this program did
    // not write as a report is replaced only with --overwrite; its own
    // report is replaced.
    void replacement_data()
    {
        QTest::addColumn<QStringList>("args"); // run in a folder holding the files below
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("untouched"); // a file left as it was, or empty
        // rec.jsonl and lote.htm: records (alias.htm a symbolic link to the
        // latter); link.html: a hard link to rec.jsonl;
        // notas.html: the plant's own page; own.pdf: a report of this program.
        const QString own = "o relatório não o substitui\n";
        QTest::newRow("report over its own record")
            << QStringList{"report", "lote.htm", "-o", "lote.htm"} << 2
            << "quorva-cli: lote.htm é o próprio registro (lote.htm): " + own << "lote.htm";
        QTest::newRow("by another name")
            << QStringList{"report", "lote.htm", "-o", "sub/../lote.htm", "--overwrite"} << 2
            << "quorva-cli: sub/../lote.htm é o próprio registro (lote.htm): " + own << "lote.htm";
        QTest::newRow("by a symbolic link")
            << QStringList{"report", "alias.htm", "-o", "lote.htm"} << 2
            << "quorva-cli: lote.htm é o próprio registro (alias.htm): " + own << "lote.htm";
        QTest::newRow("a hard link to the record")
            << QStringList{"report", "rec.jsonl", "-o", "link.html", "--overwrite"} << 2
            << "quorva-cli: link.html é o próprio registro (rec.jsonl): " + own << "rec.jsonl";
        QTest::newRow("another record")
            << QStringList{"report", "rec.jsonl", "-o", "lote.htm", "--overwrite"} << 2
            << "quorva-cli: lote.htm guarda linhas de um registro de tentativas: " + own
            << "lote.htm";
        QTest::newRow("a page of the plant's")
            << QStringList{"report", "rec.jsonl", "-o", "notas.html"} << 2
            << "quorva-cli: notas.html já existe e não é um relatório do quorva-cli: use "
               "--overwrite para substituí-lo\n"
            << "notas.html";
        QTest::newRow("a page of the plant's, --overwrite")
            << QStringList{"report", "rec.jsonl", "-o", "notas.html", "--overwrite"} << 0 << ""
            << "";
        QTest::newRow("its own report") << QStringList{"report", "rec.jsonl", "-o", "own.pdf"} << 0
                                        << ""
                                        << "";
        QTest::newRow("a campaign's report over its record")
            << QStringList{"commission", "--simulate", "--record", "c.html", "--report",
                           "./c.html", "plano.csv"}
            << 2 << "quorva-cli: --report: ./c.html é o próprio registro (c.html): " + own << "";
        // Nor is a record appended to a report: the report is spoilt, and
        // the record unreadable.
        QTest::newRow("a write recorded into a report")
            << QStringList{"write", "--simulate", "--zero", "0,5", "--record", "own.pdf"} << 2
            << "quorva-cli: --record: own.pdf: é um relatório, não um registro\n"
            << "own.pdf";
        QTest::newRow("a campaign recorded into a report")
            << QStringList{"commission", "--simulate", "--record", "own.pdf", "plano.csv"} << 2
            << "quorva-cli: --record: own.pdf: é um relatório, não um registro\n"
            << "own.pdf";
        QTest::newRow("a campaign's report over a record")
            << QStringList{"commission", "--simulate", "--report", "lote.htm", "--overwrite",
                           "plano.csv"}
            << 2 << "quorva-cli: --report: lote.htm guarda linhas de um registro de tentativas: " +
                        own
            << "lote.htm";
    }
    void replacement()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QString, untouched);
        QTemporaryDir dir;
        const auto in = [&](const char* name) { return dir.filePath(name); };
        writeFile(in("rec.jsonl"), kRecord);
        writeFile(in("lote.htm"), kRecord);
        QVERIFY(QFile::link(in("lote.htm"), in("alias.htm")) && QDir(dir.path()).mkdir("sub"));
        QCOMPARE(::link(qPrintable(in("rec.jsonl")), qPrintable(in("link.html"))), 0);
        writeFile(in("notas.html"), "<!DOCTYPE html><title>Notas</title><p>TT-101 trocado</p>");
        writeFile(in("plano.csv"), "tag;zero\nA;1\n");
        QString error;
        QVERIFY(writeReport(attemptsOf(kRecord), {}, in("own.pdf"), &error));
        QMap<QString, QByteArray> before;
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            before[name] = f.readAll();
        }
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(qEnvironmentVariable("QUORVA_CLI"), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), err);
        QCOMPARE(p.exitCode(), status);
        if (status != 0) // nothing made, nothing changed
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList(before.keys()));
        if (!untouched.isEmpty()) {
            QFile f(dir.filePath(untouched));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before[untouched]);
        } else if (status == 0) {
            const QString report = args.at(args.indexOf("-o") + 1);
            QVERIFY2(shownText(dir.filePath(report)).contains("Relatório de comissionamento"),
                     qPrintable(report));
        }
    }

    // A record of two plans is reported one plan at a time: without --plan
    // it is refused naming both; each plan's report has its own operators
    // and transmitters. A plan taken up by another technician names both.
    void severalPlans_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // on standard error, or in the report
        QTest::newRow("no plan chosen")
            << QStringList{} << 2
            << "quorva-cli: rec.jsonl: o registro tem tentativas de 2 planos (@/areaA.csv, "
               "@/areaB.csv): escolha um com --plan ARQUIVO\n";
        QTest::newRow("plan A") << QStringList{"--plan", "areaA.csv"} << 0
                                << "Operador: Ana, Carla Plano: @/areaA.csv";
        QTest::newRow("plan B, by its absolute path")
            << QStringList{"--plan", "@/areaB.csv"} << 0 << "Operador: Bruno Plano: @/areaB.csv";
        QTest::newRow("a plan the record does not hold")
            << QStringList{"--plan", "areaC.csv"} << 2
            << "quorva-cli: rec.jsonl: o registro não tem tentativas do plano areaC.csv\n";
    }
    void severalPlans()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString root = QDir(dir.path()).canonicalPath();
        const auto line = [&](const char* plan, const char* who, const char* tag) {
            return QString(R"({"time":"2026-12-07T10:00:00-03:00","tag":"%1","operator":"%2",)"
                           R"("plan":"%3/%4","outcome":"ok"})"
                           "\n")
                .arg(tag, who, root, plan)
                .toUtf8();
        };
        writeFile(dir.filePath("rec.jsonl"),
                  line("areaA.csv", "Ana", "TT-101") + line("areaA.csv", "Ana", "TT-102") +
                      line("areaB.csv", "Bruno", "TT-101") + line("areaA.csv", "Carla", "TT-103"));
        for (const char* plan : {"areaA.csv", "areaB.csv"})
            writeFile(dir.filePath(plan), "tag;zero\n");
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(qEnvironmentVariable("QUORVA_CLI"),
                QStringList{"report", "rec.jsonl", "-o", "r.html"} + args.replaceInStrings("@", root));
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), status);
        said.replace("@", root);
        if (status != 0) {
            QCOMPARE(QString::fromUtf8(p.readAllStandardError()), said);
            QVERIFY(!QFile::exists(dir.filePath("r.html")));
            return;
        }
        const QString text = shownText(dir.filePath("r.html"));
        QVERIFY2(text.contains(said), qPrintable(text));
        const bool a = args.last().endsWith("areaA.csv");
        QVERIFY2(text.contains(a ? "transmissores: 3;" : "transmissores: 1;"), qPrintable(text));
        QVERIFY(!text.contains("2 tentativas"));
    }

    // A report that does not reach a full disk whole fails, and the old
    // report of that name stays as it was, with nothing beside it: the disk
    // full, or with room for a part of the report only.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fillerBlocks");
        QTest::newRow("pdf, full") << "a.pdf"
                                   << "";
        QTest::newRow("pdf, 16 KiB left") << "a.pdf"
                                          << "count=0";
        QTest::newRow("html, full") << "a.html"
                                    << "";
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
                                      disk, name, qEnvironmentVariable("QUORVA_CLI"),
                                      at("lote.jsonl"), kept, fillerBlocks});
        if (r.status == 77)
            QSKIP("mounting a small tmpfs is not permitted here");
        QCOMPARE(r.err, QString("quorva-cli: não foi possível gravar o relatório em %1/%2: sem "
                                "espaço no dispositivo\n")
                            .arg(disk, name));
        QCOMPARE(r.out, QString());
        QCOMPARE(r.status, 1);
        QFile file(kept);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), "old\n" + name + "\nfiller\n");
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
