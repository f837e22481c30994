#include "commands.h"

#include "cli/campaignplan.h"
#include "cli/interrupt.h"
#include "cli/report.h"
#include "cli/systemfiles.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSet>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace quorva::cli {

using namespace transmitter;

namespace {

// How often a port is looked at while a transmitter is awaited or removed.
constexpr int kPollMs = 500;

// Lets the event loop run for `ms`, or until interrupted.
void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    const auto watch = watchInterrupt([&loop] { loop.quit(); });
    loop.exec();
}

bool answers(CliLink& link, LinkError* error = nullptr)
{
    LinkError ignored;
    error = error ? error : &ignored;
    RegisterImage image{};
    return (link.isOpen() || link.open(error)) && link.readImage(image, error);
}

// Until a transmitter answers on the port, which may not even exist yet (the
// cable unplugged): false when interrupted first. Why it is still waiting is
// said each time the reason changes, so that a port held by another program
// or refused for want of permission is not taken for a cable not yet in.
bool awaitTransmitter(CliLink& link, QTextStream& say)
{
    QString lastReason;
    while (!interrupted()) {
        LinkError error;
        if (answers(link, &error))
            return true;
        if (!error.isInterruption() && error.message != lastReason) {
            lastReason = error.message;
            say << QStringLiteral("  aguardando: ") << lastReason << Qt::endl;
        }
        pause(kPollMs);
    }
    return false;
}

// Until the transmitter just written stops answering (port gone or silent).
// Two readings in a row must fail, so that one lost on the line never
// passes the same device on to the next row: false when interrupted first.
bool awaitRemoval(CliLink& link)
{
    int silent = 0;
    while (!interrupted() && silent < 2) {
        silent = answers(link) ? 0 : silent + 1;
        if (silent < 2)
            pause(kPollMs);
    }
    return !interrupted();
}

enum class AfterFailure { Repeat, Skip, Stop };

// With a technician at a terminal, what to do with a failed row; a script
// (no terminal) records the failure and goes on.
AfterFailure askAfterFailure(QTextStream& say)
{
    if (!::isatty(STDIN_FILENO))
        return AfterFailure::Skip;
    for (;;) {
        say << QStringLiteral("repetir (r), pular (p) ou parar (s)? ") << Qt::flush;
        QByteArray answer;
        char c = 0;
        ssize_t n = 0;
        while ((n = ::read(STDIN_FILENO, &c, 1)) == 1 && c != '\n')
            answer += c;
        if (n != 1 || interrupted()) { // end of input or Ctrl-C
            say << Qt::endl;
            return AfterFailure::Stop;
        }
        const QString a = QString::fromUtf8(answer).trimmed().toLower();
        if (a == u'r' || a == QLatin1String("repetir"))
            return AfterFailure::Repeat;
        if (a == u'p' || a == QLatin1String("pular"))
            return AfterFailure::Skip;
        if (a == u's' || a == QLatin1String("parar"))
            return AfterFailure::Stop;
    }
}

// The lines an earlier run of this plan (its canonical path) left in the
// record. A plan recorded by a relative path is this one only where it
// resolves to the same file from here.
bool earlierAttempts(const QString& recordFile, const QString& plan, QList<QJsonObject>& lines,
                     QString* reason)
{
    QByteArray content;
    if (!readBoundedFile(recordFile, kMaxRecordBytes, QStringLiteral("um registro de tentativas"),
                         content, reason))
        return false;
    for (const QByteArray& text : content.split('\n')) {
        const QJsonObject line = QJsonDocument::fromJson(text).object();
        const QString recorded = line.value(QStringLiteral("plan")).toString();
        if (recorded == plan ||
            (!recorded.isEmpty() && QFileInfo(recorded).canonicalFilePath() == plan))
            lines << line;
    }
    return true;
}

} // namespace

int commission(CliLink& link, const CommissionOptions& options, Output& o)
{
    QList<PlanRow> rows;
    if (const int status = readPlan(options.planFile, options.force, rows, o); status != kExitOk)
        return status;
    QString reason;
    // A report asked for is known to be possible before the first transmitter.
    if (!options.reportFile.isEmpty() && rows.size() > kMaxReportRows)
        return o.fail(QStringLiteral("--report: o plano tem %1 linhas; um relatório tem no máximo "
                                     "%2")
                          .arg(rows.size())
                          .arg(kMaxReportRows),
                      kExitUsage);
    if (!options.reportFile.isEmpty() && !reportPathAccepted(options.reportFile, &reason))
        return o.fail(QStringLiteral("--report: %1: %2").arg(options.reportFile, reason),
                      kExitUsage);
    if (!options.recordFile.isEmpty()) {
        WriteRecord probe; // refused before any port is opened, as `write` does
        if (!probe.open(options.recordFile))
            return o.fail(
                QStringLiteral("--record: %1: %2").arg(options.recordFile, probe.errorText()),
                kExitUsage);
    }
    // Scripts read JSON on standard output; the instructions go beside it.
    QTextStream& say = o.json ? o.err : o.out;
    QList<QJsonObject> attempts;
    QSet<QString> done;
    // The plan was just read: it exists, and it is the same file from any folder.
    const QString plan = QFileInfo(options.planFile).canonicalFilePath();
    if (options.resume) {
        if (!earlierAttempts(options.recordFile, plan, attempts, &reason))
            return o.fail(QStringLiteral("--record: %1: %2").arg(options.recordFile, reason),
                          kExitUsage);
        for (const QJsonObject& line : attempts) {
            if (line.value(QStringLiteral("outcome")).toString() == QLatin1String("ok"))
                done.insert(line.value(QStringLiteral("tag")).toString());
        }
    }

    int ok = 0, failed = 0;
    // A resumed campaign may find its last transmitter still on the cable:
    // it is not taken for the first row still to do.
    bool leftOver = !attempts.isEmpty() && !link.isVirtual();
    // A technician who cannot read the instructions is not asked to plug anything in.
    bool stopped = false, wasInterrupted = false, recordLost = false, outputLost = false;
    for (int i = 0; i < rows.size() && !stopped; ++i) {
        const PlanRow& row = rows[i];
        const QString where = QStringLiteral("[%1/%2] %3").arg(i + 1).arg(rows.size()).arg(row.tag);
        if (done.contains(row.tag)) {
            say << where << QStringLiteral(": já configurado (no registro), pulado") << Qt::endl;
            ++ok;
            continue;
        }
        if (std::exchange(leftOver, false) && answers(link)) {
            say << where
                << QStringLiteral(": um transmissor já responde: desconecte o último da "
                                  "campanha anterior")
                << Qt::endl;
            if (!awaitRemoval(link)) {
                wasInterrupted = stopped = true;
                break;
            }
        }
        bool rowOk = false, rowFailed = false;
        for (;;) {
            say << where << QStringLiteral(": conecte o transmissor") << Qt::endl;
            if (!o.flushed()) {
                outputLost = stopped = true;
                break;
            }
            if (!awaitTransmitter(link, say)) {
                wasInterrupted = stopped = true;
                break;
            }
            WriteRecord record;
            if (!options.recordFile.isEmpty() && !record.open(options.recordFile)) {
                o.fail(
                    QStringLiteral("--record: %1: %2").arg(options.recordFile, record.errorText()));
                recordLost = stopped = true;
                break;
            }
            QJsonObject context{{"tag", row.tag}, {"row", row.row}, {"plan", plan}};
            if (!options.operatorName.isEmpty())
                context[QStringLiteral("operator")] = options.operatorName;
            record.setContext(context);
            WriteOptions write = row.write;
            write.recordFile = options.recordFile;
            // The write's own report is gathered; the campaign says it in one line.
            QString details, complaint;
            QTextStream detailStream(&details), complaintStream(&complaint);
            Output quiet{detailStream, complaintStream, false};
            const int status = writeAttempt(link, write, record, quiet);
            detailStream.flush();
            QJsonObject line = record.line();
            if (record.lost()) {
                // Said as `write` says it: what the transmitter took, and why
                // the record does not hold it.
                complaintStream.flush();
                line[QStringLiteral("outcome")] = QStringLiteral("record-failed");
                line[QStringLiteral("error")] =
                    complaint.section(QStringLiteral("quorva-cli: "), 1).trimmed();
            }
            attempts << line;
            if (o.json) {
                printJson(o.out, line);
            } else {
                for (const QString& detail : details.split(u'\n', Qt::SkipEmptyParts)) {
                    if (!detail.startsWith(QStringLiteral("Enviado...")))
                        o.out << QStringLiteral("  ") << detail << Qt::endl;
                }
                const QString error = line.value(QStringLiteral("error")).toString();
                o.out << where
                      << (record.lost() ? QStringLiteral(": ") + error
                          : status == kExitOk
                              ? QStringLiteral(": ok, configuração confirmada e relida")
                              : QStringLiteral(": falhou: %1").arg(error))
                      << Qt::endl;
            }
            if (!o.flushed()) {
                outputLost = stopped = true;
                break;
            }
            if (record.lost()) {
                o.fail(QStringLiteral("--record: não foi possível gravar em %1: %2; campanha "
                                      "parada")
                           .arg(options.recordFile, record.errorText()));
                recordLost = stopped = true;
                break;
            }
            if (status == kExitOk) {
                rowOk = true;
                break;
            }
            rowFailed = rowFailed || status != kExitInterrupted;
            if (status == kExitInterrupted || interrupted()) {
                wasInterrupted = stopped = true;
                break;
            }
            const AfterFailure next = askAfterFailure(say);
            if (next != AfterFailure::Repeat) {
                stopped = next == AfterFailure::Stop;
                wasInterrupted = interrupted(); // Ctrl-C at the question
                break;
            }
        }
        ok += rowOk ? 1 : 0;
        failed += !rowOk && rowFailed ? 1 : 0;
        // The same transmitter is never taken for the next row's.
        // The virtual transmitter stays on the line: it plays the next row's.
        if (!stopped && i + 1 < rows.size() && !link.isVirtual()) {
            say << where << QStringLiteral(": desconecte o transmissor") << Qt::endl;
            if (!awaitRemoval(link))
                wasInterrupted = stopped = true;
        }
    }

    const int notDone = int(rows.size()) - ok - failed;
    if (o.json)
        printJson(o.out, QJsonObject{{"rows", int(rows.size())},
                                     {"ok", ok},
                                     {"failed", failed},
                                     {"notDone", notDone},
                                     {"interrupted", wasInterrupted}});
    else
        o.out << QStringLiteral("Campanha: %1 de %2 ok, %3 com falha, %4 não feito(s)%5.")
                     .arg(ok)
                     .arg(rows.size())
                     .arg(failed)
                     .arg(notDone)
                     .arg(wasInterrupted ? QStringLiteral(" (interrompida)") : QString())
              << Qt::endl;
    if (outputLost)
        o.outputFailure();
    int status = wasInterrupted                                            ? kExitInterrupted
                 : (failed > 0 || notDone > 0 || recordLost || outputLost) ? kExitFailed
                                                                           : kExitOk;
    if (!options.reportFile.isEmpty()) {
        QStringList tags;
        for (const PlanRow& row : rows)
            tags << row.tag;
        if (!writeReport(attempts, {options.operatorName, plan, tags}, options.reportFile,
                         &reason)) {
            o.fail(QStringLiteral("--report: %1: %2").arg(options.reportFile, reason));
            status = status == kExitOk ? kExitFailed : status;
        }
    }
    return status;
}

} // namespace quorva::cli
