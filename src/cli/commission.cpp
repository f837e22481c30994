#include "commands.h"

#include "cli/attemptrows.h"
#include "cli/campaignplan.h"
#include "cli/interrupt.h"
#include "cli/outcome.h"
#include "cli/report.h"
#include "cli/systemfiles.h"
#include "transmitter/configfields.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QSet>
#include <QTimer>
#include <fcntl.h>
#include <optional>
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
// A technician at a terminal who swapped transmitters faster than that
// says so with Enter.
bool awaitRemoval(CliLink& link)
{
    const bool terminal = inputIsTerminal();
    int silent = 0;
    while (!interrupted() && silent < 2) {
        if (terminal && takeTypedLine())
            return true;
        silent = answers(link) ? 0 : silent + 1;
        if (silent < 2)
            pause(kPollMs);
    }
    return !interrupted();
}

// The instruction to take the transmitter away, and, at a terminal, the
// Enter that says the next one is already in.
QString removalInstruction()
{
    return inputIsTerminal()
               ? QStringLiteral(": desconecte o transmissor (Enter quando o próximo estiver "
                                "conectado)")
               : QStringLiteral(": desconecte o transmissor");
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
        if (isRecordedPlan(line.value(QStringLiteral("plan")).toString(), plan))
            lines << line;
    }
    return true;
}

// The values a plan row asks for, by their register keys: what a resumed
// campaign holds against the record.
QJsonObject requestedJson(const ConfigurationEdit& edit)
{
    QJsonObject asked;
    for (const ConfigurationField& f : kConfigurationFields) {
        if (const std::optional<qint64>& value = edit.values[size_t(f.slot)])
            asked[QLatin1String(f.registerKey)] = *value;
        // A model's own text names its item only on that model: it is asked as written.
        if (const QString& text = edit.choiceTexts[size_t(f.slot)]; !text.isEmpty())
            asked[QLatin1String(f.readableKey)] = text;
    }
    return asked;
}

// Whether a record line asked what the row asks now: by the values it kept
// as asked, or, in a record from before those were kept, by what it sent
// holding every value the row asks.
bool asksTheSame(const QJsonObject& line, const QJsonObject& asked)
{
    const QJsonValue kept = line.value(QLatin1String("requested"));
    const QJsonObject against = kept.isObject() ? kept.toObject()
                                                : line.value(QLatin1String("sent")).toObject();
    if (against.isEmpty() || (kept.isObject() && against.size() != asked.size()))
        return false;
    for (auto it = asked.begin(); it != asked.end(); ++it) {
        const QJsonValue value = against.value(it.key());
        if (!it.value().isString()) {
            if (!value.isDouble() || value.toDouble() != it.value().toDouble())
                return false;
        } else if (kept.isObject() && value != it.value()) { // what was sent has no texts asked
            return false;
        }
    }
    return true;
}

// A campaign as it runs: its plan, where it says what to do, and what it
// has done so far.
struct Campaign
{
    const CommissionOptions& options;
    Output& o;
    QTextStream& say; // the instructions: beside the JSON, or with the lines
    QString plan;     // the plan's canonical path, as the record names it
    QList<PlanRow> rows;
    QSet<QString> done;          // tags an earlier run of the plan confirmed as they stand
    QSet<QString> changed;       // tags an earlier run did while their row asked otherwise
    QList<QJsonObject> attempts; // the record's lines of this plan, the earlier runs' first
    bool leftOver = false;       // an earlier run's last transmitter may still be on the cable
    bool stopped = false, interrupted = false, recordLost = false, outputLost = false;
};

// Every refused cell of the plan on a line of its own, then the verdict.
int refusePlan(const Plan& plan, const QString& path, Output& o)
{
    if (!plan.refusal.isEmpty())
        return o.fail(QStringLiteral("plano %1: %2").arg(path, plan.refusal), kExitUsage);
    for (const CellRefusal& cell : plan.cells) {
        const QString where =
            cell.column.isEmpty()
                ? QStringLiteral("linha %1").arg(cell.line)
                : QStringLiteral("linha %1, coluna %2").arg(cell.line).arg(cell.column);
        o.fail(QStringLiteral("plano %1: %2: %3").arg(path, where, cell.words));
    }
    return o.fail(
        QStringLiteral("plano recusado (%1 linha(s)); nada foi enviado").arg(plan.refusedRows),
        kExitUsage);
}

// What must hold before the first transmitter: a report that can be made,
// a record that can be written. kExitOk, or the refusal's status.
int checkOutputs(const CommissionOptions& options, qsizetype rows, Output& o)
{
    QString reason;
    if (!options.reportFile.isEmpty() && rows > kMaxReportRows)
        return o.fail(QStringLiteral("--report: o plano tem %1 linhas; um relatório tem no máximo "
                                     "%2")
                          .arg(rows)
                          .arg(kMaxReportRows),
                      kExitUsage);
    if (!options.reportFile.isEmpty() && !reportPathAccepted(options.reportFile, &reason))
        return o.fail(QStringLiteral("--report: %1: %2").arg(options.reportFile, reason),
                      kExitUsage);
    if (const QString refusal = options.reportFile.isEmpty()
                                    ? QString()
                                    : replacementRefusal(options.reportFile, options.recordFile,
                                                         options.overwrite);
        !refusal.isEmpty())
        return o.fail(QStringLiteral("--report: ") + refusal, kExitUsage);
    if (!options.recordFile.isEmpty()) {
        WriteRecord probe; // refused before any port is opened, as `write` does
        if (!probe.open(options.recordFile))
            return o.fail(
                QStringLiteral("--record: %1: %2").arg(options.recordFile, probe.errorText()),
                kExitUsage);
    }
    return kExitOk;
}

// A resumed campaign takes up the record: the tags it holds as confirmed
// for this plan, with the values their rows ask now, are done. The lines of
// a row asked otherwise since, or no longer in the plan, are left out of
// this campaign's attempts. False when the record cannot be read.
bool resume(Campaign& c, const CliLink& link)
{
    QString reason;
    QList<QJsonObject> earlier;
    if (!earlierAttempts(c.options.recordFile, c.plan, earlier, &reason)) {
        c.o.fail(QStringLiteral("--record: %1: %2").arg(c.options.recordFile, reason));
        return false;
    }
    QHash<QString, QJsonObject> asked;
    for (const PlanRow& row : c.rows)
        asked.insert(row.tag, requestedJson(row.write.edit));
    for (const QJsonObject& line : earlier) {
        const QString tag = line.value(QStringLiteral("tag")).toString();
        if (!asked.contains(tag))
            continue;
        if (!asksTheSame(line, asked.value(tag))) {
            c.changed.insert(tag);
            continue;
        }
        c.attempts << line;
        if (outcomeOfCode(line.value(QStringLiteral("outcome")).toString()) == Outcome::Ok)
            c.done.insert(tag);
    }
    // Its last transmitter may still be on the cable: it is not taken for
    // the first row still to do.
    c.leftOver = !earlier.isEmpty() && !link.isVirtual();
    return true;
}

// An attempt said in one line (after the range taken and the differences),
// or as its record line; false when that could not be written.
bool sayAttempt(Campaign& c, const QString& where, const WriteAttempt& attempt, QJsonObject line)
{
    if (attempt.recordLost()) {
        // Said as `write` says it: what the transmitter took, and why the
        // record does not hold it.
        line[QStringLiteral("outcome")] = outcomeCode(Outcome::RecordFailed);
        line[QStringLiteral("error")] = recordLostLine(attempt);
    }
    c.attempts << line;
    if (c.o.json) {
        printJson(c.o.out, line);
        return c.o.flushed();
    }
    QStringList details = differenceLines(attempt);
    if (attempt.takenRange)
        details.prepend(takenRangeLine(*attempt.takenRange));
    for (const QString& detail : details)
        c.o.out << QStringLiteral("  ") << detail << Qt::endl;
    c.o.out << where
            << (attempt.recordLost() ? QStringLiteral(": ") + recordLostLine(attempt)
                : attempt.outcome == Outcome::Ok
                    ? QStringLiteral(": ok, %1").arg(outcomeWords(Outcome::Ok))
                    : QStringLiteral(": falhou: %1").arg(attempt.message))
            << Qt::endl;
    return c.o.flushed();
}

// One attempt at a row's transmitter once it answers: written, recorded and
// said. Its outcome, or none when the campaign stops before or after it.
std::optional<WriteAttempt> attemptRow(Campaign& c, CliLink& link, const PlanRow& row,
                                       const QString& where)
{
    WriteRecord record;
    if (!c.options.recordFile.isEmpty() && !record.open(c.options.recordFile)) {
        c.o.fail(QStringLiteral("--record: %1: %2").arg(c.options.recordFile, record.errorText()));
        c.recordLost = c.stopped = true;
        return std::nullopt;
    }
    QJsonObject context{{"tag", row.tag},
                        {"row", row.row},
                        {"plan", c.plan},
                        {"requested", requestedJson(row.write.edit)}};
    if (!c.options.operatorName.isEmpty())
        context[QStringLiteral("operator")] = c.options.operatorName;
    record.setContext(context);
    WriteOptions write = row.write;
    write.recordFile = c.options.recordFile;
    write.knownModelOnly = true;
    const WriteAttempt attempt = writeAttempt(link, write, record);
    if (!sayAttempt(c, where, attempt, record.line())) {
        c.outputLost = c.stopped = true;
        return std::nullopt;
    }
    if (attempt.recordLost()) {
        c.o.fail(QStringLiteral("--record: não foi possível gravar em %1: %2; campanha parada")
                     .arg(attempt.recordFile, attempt.recordError));
        c.recordLost = c.stopped = true;
        return std::nullopt;
    }
    return attempt;
}

// A row from its instruction to its outcome: tried again while the
// technician asks for it.
void runRow(Campaign& c, CliLink& link, const PlanRow& row, const QString& where)
{
    for (;;) {
        c.say << where << QStringLiteral(": conecte o transmissor") << Qt::endl;
        if (!c.o.flushed()) {
            c.outputLost = c.stopped = true;
            return;
        }
        if (!awaitTransmitter(link, c.say)) {
            c.interrupted = c.stopped = true;
            return;
        }
        const std::optional<WriteAttempt> attempt = attemptRow(c, link, row, where);
        if (!attempt || attempt->outcome == Outcome::Ok)
            return;
        if (attempt->outcome == Outcome::Interrupted || interrupted()) {
            c.interrupted = c.stopped = true;
            return;
        }
        const AfterFailure next = askAfterFailure(c.say);
        if (next != AfterFailure::Repeat) {
            c.stopped = next == AfterFailure::Stop;
            c.interrupted = interrupted(); // Ctrl-C at the question
            return;
        }
    }
}

// The plan's rows one after another, until done or stopped.
void runRows(Campaign& c, CliLink& link)
{
    for (int i = 0; i < c.rows.size() && !c.stopped; ++i) {
        const PlanRow& row = c.rows[i];
        const QString where =
            QStringLiteral("[%1/%2] %3").arg(i + 1).arg(c.rows.size()).arg(row.tag);
        if (c.done.contains(row.tag)) {
            c.say << where << QStringLiteral(": já configurado (no registro), pulado") << Qt::endl;
            continue;
        }
        if (c.changed.contains(row.tag))
            c.say << where << QStringLiteral(": linha mudou desde o registro: refeito") << Qt::endl;
        if (std::exchange(c.leftOver, false) && answers(link)) {
            c.say << where
                  << QStringLiteral(": um transmissor já responde: desconecte o último da "
                                    "campanha anterior")
                  << Qt::endl;
            if (!awaitRemoval(link)) {
                c.interrupted = c.stopped = true;
                break;
            }
        }
        runRow(c, link, row, where);
        // The same transmitter is never taken for the next row's.
        // The virtual transmitter stays on the line: it plays the next row's.
        if (!c.stopped && i + 1 < c.rows.size() && !link.isVirtual()) {
            c.say << where << removalInstruction() << Qt::endl;
            if (!awaitRemoval(link))
                c.interrupted = c.stopped = true;
        }
    }
}

QStringList plannedTags(const Campaign& c)
{
    QStringList tags;
    for (const PlanRow& row : c.rows)
        tags << row.tag;
    return tags;
}

// The report as it stands before the first row, in its place: the folder is
// found able to hold it (a full disk refused) before any transmitter is
// written, and the real report replaces it at the end. False, said, when
// it could not be written.
bool writePlaceholderReport(const Campaign& c)
{
    QString reason;
    if (c.options.reportFile.isEmpty() ||
        writeReport(c.attempts, {{}, c.plan, plannedTags(c)}, c.options.reportFile, &reason))
        return true;
    c.o.fail(QStringLiteral("--report: %1; nada foi enviado").arg(reason));
    return false;
}

// The totals, the status, and the report asked for, interrupted or not:
// the totals counted from the attempts as the report counts them.
int finish(Campaign& c)
{
    const QStringList tags = plannedTags(c);
    const AttemptTotals t = totalsOf(transmitterRows(c.attempts, tags));
    if (c.o.json)
        printJson(c.o.out, QJsonObject{{"rows", t.transmitters},
                                       {"ok", t.confirmed},
                                       {"failed", t.failed},
                                       {"notDone", t.notDone},
                                       {"interrupted", c.interrupted}});
    else
        c.o.out << QStringLiteral("Campanha: %1 de %2 ok, %3 com falha, %4 não feito(s)%5.")
                       .arg(t.confirmed)
                       .arg(t.transmitters)
                       .arg(t.failed)
                       .arg(t.notDone)
                       .arg(c.interrupted ? QStringLiteral(" (interrompida)") : QString())
                << Qt::endl;
    if (c.outputLost)
        c.o.outputFailure();
    int status = c.interrupted ? kExitInterrupted
                 : (t.failed > 0 || t.notDone > 0 || c.recordLost || c.outputLost) ? kExitFailed
                                                                                  : kExitOk;
    if (!c.options.reportFile.isEmpty()) {
        QString reason;
        // The operators of the record's lines, this run's among them.
        if (!writeReport(c.attempts, {{}, c.plan, tags}, c.options.reportFile,
                         &reason)) {
            c.o.fail(QStringLiteral("--report: %1: %2").arg(c.options.reportFile, reason));
            status = status == kExitOk ? kExitFailed : status;
            // The placeholder would tell of rows as not done that were.
            QFile::remove(c.options.reportFile);
        }
    }
    return status;
}

} // namespace

int commission(CliLink& link, const CommissionOptions& options, Output& o)
{
    const Plan plan = readPlan(options.planFile, options.force);
    if (!plan.accepted())
        return refusePlan(plan, options.planFile, o);
    if (const int status = checkOutputs(options, plan.rows.size(), o); status != kExitOk)
        return status;
    // Scripts read JSON on standard output; the instructions go beside it.
    // The plan was just read: it exists, and it is the same file from any folder.
    Campaign c{options,
               o,
               o.json ? o.err : o.out,
               QFileInfo(options.planFile).canonicalFilePath(),
               plan.rows,
               {},
               {},
               {}};
    if (options.resume && !resume(c, link))
        return kExitUsage;
    if (!writePlaceholderReport(c))
        return kExitFailed;
    c.say << QStringLiteral("Plano %1 (%2): %3 %4")
                 .arg(options.planFile, plan.encoding)
                 .arg(plan.rows.size())
                 .arg(plan.rows.size() == 1 ? QStringLiteral("transmissor")
                                            : QStringLiteral("transmissores"))
          << Qt::endl;
    runRows(c, link);
    return finish(c);
}

} // namespace quorva::cli
