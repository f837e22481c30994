#include "report.h"

#include "cli/attemptrows.h"
#include "cli/outcome.h"
#include "cli/systemfiles.h"
#include "transmitter/configfields.h"
#include "transmitter/reading.h"
#include "transmitter/savedfile.h"
#include "transmitter/sensortable.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryFile>
#include <QTextDocument>
#include <QTextTable>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quorva::cli {

namespace {

const QString kTitle = QStringLiteral("Relatório de comissionamento");
const QString kNone = QStringLiteral("—");

enum class Format { Unknown, Pdf, Html };

Format formatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return Format::Pdf;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return Format::Html;
    return Format::Unknown;
}

// A record's outcome code as a reviewer reads it.
QString outcomeText(const QString& code)
{
    if (const std::optional<Outcome> outcome = outcomeOfCode(code))
        return outcomeWords(*outcome);
    return code.isEmpty() ? QStringLiteral("sem resultado") : code;
}

// A record's time in the offset it was written with, as people in Brazil write it.
QDateTime recordTime(const QJsonObject& attempt)
{
    return QDateTime::fromString(attempt.value(QLatin1String("time")).toString(),
                                 Qt::ISODateWithMs);
}

QString dateTimeText(const QDateTime& t, bool withOffset)
{
    if (!t.isValid())
        return kNone;
    QString text = t.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    if (withOffset) {
        const int minutes = t.offsetFromUtc() / 60;
        text += QStringLiteral(" (UTC%1%2:%3)")
                    .arg(minutes < 0 ? QStringLiteral("−") : QStringLiteral("+"))
                    .arg(std::abs(minutes) / 60, 2, 10, QChar(u'0'))
                    .arg(std::abs(minutes) % 60, 2, 10, QChar(u'0'));
    }
    return text;
}

// A configuration as a reading's JSON holds it, or a write's (register
// values alone, worded in `model`'s texts), one field a line (the range's
// two values on one); none without one.
QStringList configurationLines(const QJsonValue& value, const transmitter::ModelOptions& model)
{
    using namespace transmitter;
    if (!value.isObject())
        return {};
    const QJsonObject r = value.toObject();
    const auto exact = [&](int slot) {
        return qint32(r.value(QLatin1String(fieldOfSlot(slot)->registerKey)).toInt());
    };
    const auto text = [&](int slot) {
        const ConfigurationField& field = *fieldOfSlot(slot);
        const QJsonValue readable = r.value(QLatin1String(field.readableKey));
        if (field.text && readable.isString())
            return readable.toString().isEmpty() ? kNone : readable.toString();
        if (!r.contains(QLatin1String(field.registerKey)))
            return kNone;
        return fieldText(field, exact(slot), model);
    };
    const QString unit = unitsForSensorType(exact(Slot::SensorType)).setting;
    const QString unitSuffix = unit.isEmpty() ? QString() : u' ' + unit;
    return {
        text(Slot::SensorType),
        QStringLiteral("%1 a %2%3").arg(text(Slot::RangeLower), text(Slot::RangeUpper), unitSuffix),
        QStringLiteral("Zero: %1%2").arg(text(Slot::ZeroAdjust), unitSuffix),
        QStringLiteral("Erro do sensor: %1").arg(text(Slot::SensorError)),
        QStringLiteral("Saída: %1").arg(text(Slot::OutputDirection))};
}

// What an attempt asked the transmitter to hold: what it sent, or, when
// nothing went out, the device as read with the values the row asked.
QJsonValue askedConfiguration(const QJsonObject& attempt)
{
    if (const QJsonValue sent = attempt.value(QLatin1String("sent")); sent.isObject())
        return sent;
    const QJsonValue requested = attempt.value(QLatin1String("requested"));
    if (!requested.isObject())
        return {};
    QJsonObject asked = attempt.value(QLatin1String("before")).toObject();
    const QJsonObject given = requested.toObject();
    for (const transmitter::ConfigurationField& f : transmitter::kConfigurationFields) {
        const QLatin1String key(f.registerKey);
        if (given.contains(key)) { // the device's words for it no longer hold
            asked[key] = given.value(key);
            asked.remove(QLatin1String(f.readableKey));
        }
        // A choice asked by a model's own text: as the plan wrote it.
        if (const QJsonValue text = given.value(QLatin1String(f.readableKey)); text.isString())
            asked[QLatin1String(f.readableKey)] = text;
    }
    return asked;
}

using Row = TransmitterRow;

QList<Row> rowsOf(const QList<QJsonObject>& attempts, const QStringList& plannedTags)
{
    return transmitterRows(attempts, plannedTags);
}

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// A field the write changed is bold, so the change is seen at a glance; one
// read back otherwise than asked is marked "≠", in red.
QString cellLines(const QStringList& lines, const QStringList& before = {},
                  const QStringList& asked = {})
{
    if (lines.isEmpty())
        return kNone;
    QStringList cells;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool changed = !before.isEmpty() && before.value(i) != lines[i];
        QString cell = (changed ? QStringLiteral("<b>%1</b>") : QStringLiteral("%1"))
                           .arg(escaped(lines[i]));
        if (!asked.isEmpty() && asked.value(i) != lines[i])
            cell = QStringLiteral("<span style=\"color:#b00020\">≠ %1</span>").arg(cell);
        cells << cell;
    }
    return cells.join(QStringLiteral("<br>"));
}

QString outcomeCell(const Row& row)
{
    const QString interruption = row.last.value(QLatin1String("error")).toString();
    if (row.state == Row::State::NotDone)
        return QStringLiteral("<b>Não executado</b>") +
               (interruption.isEmpty()
                    ? QString()
                    : QStringLiteral("<br><span style=\"font-size:7pt; color:#444444\">%1</span>")
                          .arg(escaped(interruption)));
    if (row.state == Row::State::Confirmed)
        return QStringLiteral("<span style=\"color:#1b5e20\">Confirmado</span>");
    const QString code = row.last.value(QLatin1String("outcome")).toString();
    QString error = row.last.value(QLatin1String("error")).toString();
    QString headline = outcomeText(code);
    // A request that went out and was never answered, in a record from
    // before that had an outcome of its own: it was sent all the same.
    const std::optional<Outcome> outcome = outcomeOfCode(code);
    if (row.last.contains(QLatin1String("sent")) && !row.last.contains(QLatin1String("readBack")) &&
        (outcome == Outcome::NoReply || outcome == Outcome::BadReply ||
         outcome == Outcome::ReadFailed || outcome == Outcome::PortGone))
        headline = QStringLiteral("%1 (%2)").arg(outcomeWords(Outcome::SentUnconfirmed),
                                                 error.isEmpty() ? headline : error);
    // A failure's own line that begins with its words is the headline itself.
    if (error.startsWith(headline))
        headline = std::exchange(error, QString());
    else if (headline.endsWith(u'(' + error + u')'))
        error.clear();
    QString cell =
        QStringLiteral("<b style=\"color:#b00020\">Falhou:</b> %1").arg(escaped(headline));
    QStringList fields;
    for (const QJsonValue& d : row.last.value(QLatin1String("differences")).toArray()) {
        const QString key = d.toObject().value(QLatin1String("field")).toString();
        for (const transmitter::ConfigurationField& f : transmitter::kConfigurationFields) {
            if (key == QLatin1String(f.registerKey))
                fields << QString::fromUtf8(f.caption);
        }
    }
    if (!fields.isEmpty())
        cell += QStringLiteral(" (%1)").arg(escaped(fields.join(QStringLiteral(", "))));
    // The device's own words: which port, which exception.
    if (!error.isEmpty() && error != headline)
        cell += QStringLiteral("<br><span style=\"font-size:7pt; color:#444444\">%1</span>")
                    .arg(escaped(error));
    return cell;
}

struct Header
{
    QString operatorName, planFile, first, last, generated;
};

QString programName()
{
    return QStringLiteral("quorva-cli %1").arg(QCoreApplication::applicationVersion());
}

struct Report
{
    QList<Row> rows;
    Header header;
};

// One transmitter's row of the table, numbered.
QString rowHtml(const Row& row, qsizetype number)
{
    const char* colour = row.state == Row::State::Failed    ? "#fbe0e0"
                         : row.state == Row::State::NotDone ? "#fff3d6"
                                                            : "#ffffff";
    const char* kind = row.state == Row::State::Failed    ? "failed"
                       : row.state == Row::State::NotDone ? "not-done"
                                                          : "confirmed";
    QString tag = QStringLiteral("<b>%1</b>").arg(escaped(row.tag));
    if (row.attempts > 1)
        tag += QStringLiteral("<br>%1 tentativas").arg(row.attempts);
    QString model = kNone;
    if (const QString name = row.last.value(QLatin1String("model")).toString(); !name.isEmpty())
        model =
            QStringLiteral("%1<br>firmware %2")
                .arg(escaped(name),
                     QString::number(row.last.value(QLatin1String("firmware")).toDouble(), 'f', 2)
                         .replace(u'.', u','));
    const transmitter::ModelOptions& options = transmitter::optionsForModel(
        row.last.value(QLatin1String("before")).toObject().value(QLatin1String("modelCode")).toInt());
    const QStringList before =
        configurationLines(row.last.value(QLatin1String("before")), options);
    const QStringList asked = configurationLines(askedConfiguration(row.last), options);
    const QStringList after =
        configurationLines(row.last.value(QLatin1String("readBack")), options);
    QString time = dateTimeText(recordTime(row.last), false);
    time.replace(u' ', QStringLiteral("<br>"));
    return QStringLiteral("<tr class=\"%1\" bgcolor=\"%2\"><td>%3</td><td>%4</td><td>%5</td>"
                          "<td>%6</td><td>%7</td><td>%8</td><td>%9</td><td>%10</td></tr>")
        .arg(QLatin1String(kind), QLatin1String(colour))
        .arg(number)
        .arg(tag, model, cellLines(before), cellLines(asked, before),
             cellLines(after, before, asked), outcomeCell(row), row.attempts > 0 ? time : kNone);
}

// The body both formats share: attributes the text engine and browsers both
// honour, so the PDF and the page look alike. The table starts again, its
// header repeated, on a new page before each row of `pageStarts`.
QString bodyHtml(const Report& report, const QList<qsizetype>& pageStarts = {})
{
    const QList<Row>& rows = report.rows;
    const Header& h = report.header;
    QString html;
    html += QStringLiteral("<h1 style=\"font-size:15pt\">%1</h1>").arg(kTitle);
    html += QStringLiteral("<table class=\"header\" cellspacing=\"0\" cellpadding=\"2\">");
    const std::pair<QString, QString> facts[] = {
        {QStringLiteral("Operador"), h.operatorName},
        {QStringLiteral("Plano"), h.planFile},
        {QStringLiteral("Programa"), programName()},
        {QStringLiteral("Primeira tentativa"), h.first},
        {QStringLiteral("Última tentativa"), h.last},
        {QStringLiteral("Relatório gerado em"), h.generated},
    };
    for (const auto& [caption, value] : facts)
        html +=
            QStringLiteral("<tr><td><b>%1:</b></td><td>%2</td></tr>").arg(caption, escaped(value));
    html += QStringLiteral("</table><p></p>");

    const QString tableStart = QStringLiteral(
        "<table class=\"rows\" width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
        "style=\"border-collapse:collapse; border-color:#888888%1\"><thead><tr bgcolor=\"#dde3ea\">"
        "<th width=\"4%\">Nº</th><th width=\"11%\">Tag</th><th width=\"9%\">Modelo</th>"
        "<th width=\"16%\">Antes</th><th width=\"16%\">Pedido</th>"
        "<th width=\"16%\">Depois (relido)</th><th width=\"18%\">Resultado</th>"
        "<th width=\"10%\">Hora</th></tr></thead><tbody>");
    html += tableStart.arg(QString());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (pageStarts.contains(i))
            html += QStringLiteral("</tbody></table>") +
                    tableStart.arg(QStringLiteral("; page-break-before:always"));
        html += rowHtml(rows[i], i + 1);
    }
    html += QStringLiteral("</tbody></table>");
    // Counts before their nouns read wrong in the singular ("1 falharam").
    const AttemptTotals totals = totalsOf(rows);
    html += QStringLiteral("<p><b>Totais:</b> transmissores: %1; confirmados: %2; com falha: %3; "
                           "não executados: %4; tentativas: %5.</p>")
                .arg(totals.transmitters)
                .arg(totals.confirmed)
                .arg(totals.failed)
                .arg(totals.notDone)
                .arg(totals.attempts);
    html += QStringLiteral("<p style=\"font-size:7pt\">Em negrito, o que a gravação mudou; "
                           "marcado ≠, o que foi relido diferente do pedido.</p>");
    html += QStringLiteral(
        "<p>&nbsp;</p><table width=\"100%\" cellspacing=\"0\" cellpadding=\"4\"><tr>"
        "<td width=\"50%\">Executado por: ______________________________</td>"
        "<td width=\"50%\">Verificado por: ______________________________</td></tr>"
        "<tr><td>Data: ____/____/________</td><td>Data: ____/____/________</td></tr></table>");
    return html;
}

const char kPageStyle[] = R"(
@page { size: A4; margin: 12mm 12mm 16mm 12mm;
  @bottom-right { content: "página " counter(page) " de " counter(pages); font-size: 8pt; } }
body { font-family: "Liberation Sans", Arial, sans-serif; font-size: 9pt; color: #000;
  print-color-adjust: exact; -webkit-print-color-adjust: exact; }
table.rows { table-layout: fixed; font-size: 8pt; }
table.rows th, table.rows td { border: 1px solid #888; vertical-align: top; text-align: left;
  overflow-wrap: anywhere; }
thead { display: table-header-group; }
tr { break-inside: avoid; page-break-inside: avoid; }
)";

QString standaloneHtml(const QString& body)
{
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"generator\" content=\"quorva-cli\">\n<title>%1</title>\n<style>%2</style>\n</head>\n<body>\n%3\n</body>\n"
               "</html>\n")
        .arg(kTitle, QString::fromUtf8(kPageStyle), body);
}

// The failure of a file, errno's text at hand when there is one.
QString fileFailure(const QString& path, int error, const QString& fallback)
{
    return QStringLiteral("não foi possível gravar o relatório em %1: %2")
        .arg(path, error != 0 ? systemErrorText(error) : fallback);
}

// The report reaches its name whole or not at all: an old report stays as it was.
bool saveReport(const QString& path, const QByteArray& bytes, QString* error)
{
    int number = 0;
    if (transmitter::saveWhole(path, bytes, &number))
        return true;
    *error = fileFailure(path, number, QStringLiteral("a gravação falhou"));
    return false;
}

// The rows that start a page, so that no row is cut in two by a page's foot:
// measured in one long page of the page's width.
QList<qsizetype> pageStarts(QTextDocument& doc, qreal pageHeight)
{
    QTextTable* table = nullptr;
    for (QTextFrame* frame : doc.rootFrame()->childFrames()) {
        if (auto* t = qobject_cast<QTextTable*>(frame); t && t->format().headerRowCount() > 0)
            table = t;
    }
    if (!table)
        return {};
    QAbstractTextDocumentLayout* layout = doc.documentLayout();
    const auto rowTop = [&](int r) {
        if (r == table->rows())
            return layout->frameBoundingRect(table).bottom();
        qreal top =
            layout->blockBoundingRect(table->cellAt(r, 0).firstCursorPosition().block()).top();
        for (int c = 1; c < table->columns(); ++c)
            top = std::min(
                top,
                layout->blockBoundingRect(table->cellAt(r, c).firstCursorPosition().block()).top());
        return top;
    };
    const int headers = table->format().headerRowCount();
    // A page after the first holds the repeated header and the rows; a
    // little is kept spare for the borders.
    const qreal usable = pageHeight * 0.97;
    const qreal header = rowTop(headers) - layout->frameBoundingRect(table).top();
    QList<qsizetype> starts;
    qreal pageTop = 0;
    for (int r = headers; r < table->rows(); ++r) {
        if (rowTop(r + 1) - pageTop > usable && rowTop(r) > pageTop + header) {
            starts << r - headers;
            pageTop = rowTop(r) - header;
        }
    }
    return starts;
}

// A4 pages of the document, each with its number at the foot.
bool printPdf(const Report& report, const QString& path, QByteArray& pdf, QString* error)
{
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(12, 12, 12, 10), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(kTitle);
    writer.setCreator(programName());

    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setDocumentMargin(0);
    doc.setDefaultFont(QFont(QStringLiteral("Liberation Sans"), 8));

    QPainter painter;
    if (!painter.begin(&writer)) {
        *error = fileFailure(path, 0, QStringLiteral("o PDF não pôde ser iniciado"));
        return false;
    }
    const QRectF area = writer.pageLayout().paintRectPixels(writer.resolution());
    QFont footFont(QStringLiteral("Liberation Sans"), 7);
    painter.setFont(footFont);
    const qreal footHeight = painter.fontMetrics().height() * 2.5;
    const QSizeF pageBody(area.width(), area.height() - footHeight);
    doc.setHtml(bodyHtml(report));
    doc.setTextWidth(pageBody.width());
    doc.setHtml(bodyHtml(report, pageStarts(doc, pageBody.height())));
    doc.setPageSize(pageBody);
    const int pages = doc.pageCount();
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.save();
        painter.translate(0, -page * pageBody.height());
        doc.drawContents(&painter, QRectF(QPointF(0, page * pageBody.height()), pageBody));
        painter.restore();
        const QRectF foot(0, area.height() - painter.fontMetrics().height(), area.width(),
                          painter.fontMetrics().height());
        painter.drawText(foot, Qt::AlignLeft, QStringLiteral("%1 · %2").arg(kTitle, programName()));
        painter.drawText(foot, Qt::AlignRight,
                         QStringLiteral("página %1 de %2").arg(page + 1).arg(pages));
    }
    if (!painter.end()) {
        *error = fileFailure(path, 0, QStringLiteral("o PDF não pôde ser concluído"));
        return false;
    }
    return true;
}

// What a file name alone tells against a report: its extension, or a name
// that is nothing but one (".pdf", which would be a hidden file).
QString nameRefusal(const QString& path)
{
    if (const QString device = deviceNameRefusal(path); !device.isEmpty())
        return device;
    if (formatOf(path) == Format::Unknown)
        return QStringLiteral("o relatório deve terminar em .pdf, .html ou .htm");
    if (QFileInfo(path).completeBaseName().isEmpty())
        return QStringLiteral("o relatório precisa de um nome antes da extensão");
    return {};
}

// Whether a file can be created in `folder`, found by creating one: the
// permission bits do not tell it for root nor for a folder like /proc.
int creationFailure(const QString& folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.quorva-relatorio-XXXXXX"));
    errno = 0;
    if (probe.open())
        return 0;
    const int named = errorNumberOfText(probe.errorString());
    return named != 0 ? named : (errno != 0 ? errno : EACCES);
}

QString rowsRefusal(const QString& path, qsizetype rows)
{
    return QStringLiteral("%1: o relatório teria %2 linhas (uma por tag, e uma por "
                          "linha sem tag); o máximo é %3")
        .arg(path)
        .arg(rows)
        .arg(kMaxReportRows);
}

// The record's keys and the JSON type each must have: a line with another
// is refused rather than shown as a made-up value ("firmware 0,00").
enum class JsonKind { Text, Integer, Number, Object, List };
constexpr std::pair<const char*, JsonKind> kRecordKeyKinds[] = {
    {"tag", JsonKind::Text},        {"port", JsonKind::Text},       {"operator", JsonKind::Text},
    {"plan", JsonKind::Text},       {"model", JsonKind::Text},      {"error", JsonKind::Text},
    {"row", JsonKind::Integer},     {"firmware", JsonKind::Number}, {"before", JsonKind::Object},
    {"readBack", JsonKind::Object}, {"sent", JsonKind::Object},     {"requested", JsonKind::Object},     {"differences", JsonKind::List},
};

// The first key of `attempt` of a wrong type, as "KEY deve ser TYPE"; empty when none.
QString wrongType(const QJsonObject& attempt)
{
    for (const auto& [key, kind] : kRecordKeyKinds) {
        const QJsonValue v = attempt.value(QLatin1String(key));
        if (v.isUndefined())
            continue;
        const auto [fits, expected] = [&]() -> std::pair<bool, const char*> {
            switch (kind) {
            case JsonKind::Text:
                return {v.isString(), "um texto"};
            case JsonKind::Integer:
                return {v.isDouble() && double(v.toInteger()) == v.toDouble(), "um número inteiro"};
            case JsonKind::Number:
                return {v.isDouble(), "um número"};
            case JsonKind::Object:
                return {v.isObject(), "um objeto"};
            case JsonKind::List:
                return {v.isArray(), "uma lista"};
            }
            return {false, ""};
        }();
        if (!fits)
            return QStringLiteral("%1 deve ser %2")
                .arg(QLatin1String(key), QString::fromUtf8(expected));
    }
    return {};
}

} // namespace

// A file this program wrote as a report, by the first bytes that name it:
// the page's generator (or its title, before the generator was named), the
// PDF's creator.
bool isOwnReport(const QByteArray& bytes)
{
    QByteArray creator("/Creator (\xfe\xff");
    for (const char c : QByteArrayLiteral("quorva-cli "))
        creator.append('\0').append(c);
    return bytes.contains(creator) ||
           bytes.contains(QByteArrayLiteral("<meta name=\"generator\" content=\"quorva-cli")) ||
           (bytes.startsWith("<!DOCTYPE html>") && bytes.contains(("<title>" + kTitle).toUtf8()));
}

namespace {

bool holdsRecordLine(const QByteArray& bytes)
{
    for (const QByteArray& line : bytes.split('\n')) {
        const QJsonObject attempt = QJsonDocument::fromJson(line.trimmed()).object();
        if (attempt.value(QLatin1String("time")).isString() &&
            attempt.value(QLatin1String("outcome")).isString())
            return true;
    }
    return false;
}

// The path by its folder's canonical path: two names of one file not yet
// made compare equal.
QString resolvedPath(const QString& path)
{
    const QFileInfo file(path);
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? file.absoluteFilePath() : folder + u'/' + file.fileName();
}

// The most of an existing file read to tell what it is: a report, or a record.
constexpr qint64 kMaxInspectedBytes = 64 * 1024 * 1024;

} // namespace

QString replacementRefusal(const QString& path, const QString& recordPath, bool overwrite)
{
    if (!recordPath.isEmpty() &&
        (resolvedPath(path) == resolvedPath(recordPath) || sameFile(path, recordPath)))
        return QStringLiteral("%1 é o próprio registro (%2): o relatório não o substitui")
            .arg(path, recordPath);
    QFile existing(path);
    if (!existing.exists() || !existing.open(QIODevice::ReadOnly))
        return {}; // nothing to keep, or the saving says why it cannot
    const QByteArray bytes = existing.read(kMaxInspectedBytes);
    if (holdsRecordLine(bytes))
        return QStringLiteral("%1 guarda linhas de um registro de tentativas: o relatório não o "
                              "substitui")
            .arg(path);
    if (!overwrite && !isOwnReport(bytes))
        return QStringLiteral("%1 já existe e não é um relatório do quorva-cli: use --overwrite "
                              "para substituí-lo")
            .arg(path);
    return {};
}

bool reportPathAccepted(const QString& path, QString* error)
{
    if (const QString refusal = nameRefusal(path); !refusal.isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(path, refusal);
        return false;
    }
    const QFileInfo target(path);
    // The report replaces a file by renaming over it: never a device or a folder.
    if (target.exists() && !target.isFile()) {
        struct stat st
        {
        };
        QString kind = QStringLiteral("não é um arquivo comum");
        if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode))
            kind = QStringLiteral("é uma pasta");
        *error = QStringLiteral("%1: %2").arg(path, kind);
        return false;
    }
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    struct stat st
    {
    };
    int failure = 0;
    if (::stat(folder.constData(), &st) != 0)
        failure = errno;
    else if (!S_ISDIR(st.st_mode))
        failure = ENOTDIR;
    else
        failure = creationFailure(target.absolutePath());
    if (failure != 0) {
        *error = QStringLiteral("%1: a pasta %2 não aceita o relatório: %3")
                     .arg(path, target.absolutePath(), systemErrorText(failure));
        return false;
    }
    return true;
}

bool writeReport(const QList<QJsonObject>& attempts, const ReportSource& source,
                 const QString& path, QString* error)
{
    if (!reportPathAccepted(path, error))
        return false;
    // The campaign's own names first; a record written by several runs
    // speaks through its last line.
    Header h;
    h.operatorName = source.operatorName;
    h.planFile = source.planFile;
    QStringList operators; // each technician the record names, in order
    for (const QJsonObject& attempt : attempts) {
        const QString name = attempt.value(QLatin1String("operator")).toString().trimmed();
        if (source.operatorName.isEmpty() && !name.isEmpty() && !operators.contains(name))
            operators << name;
        if (source.planFile.isEmpty() && attempt.contains(QLatin1String("plan")))
            h.planFile = attempt.value(QLatin1String("plan")).toString();
    }
    if (source.operatorName.isEmpty())
        h.operatorName = operators.join(QStringLiteral(", "));
    for (QString* value : {&h.operatorName, &h.planFile}) {
        if (value->trimmed().isEmpty())
            *value = kNone;
    }
    h.first = attempts.isEmpty() ? kNone : dateTimeText(recordTime(attempts.first()), true);
    h.last = attempts.isEmpty() ? kNone : dateTimeText(recordTime(attempts.last()), true);
    h.generated = dateTimeText(QDateTime::currentDateTime(), true);
    const Report report{rowsOf(attempts, source.plannedTags), h};
    if (report.rows.size() > kMaxReportRows) {
        *error = rowsRefusal(path, report.rows.size());
        return false;
    }

    QByteArray bytes;
    if (formatOf(path) == Format::Html)
        bytes = standaloneHtml(bodyHtml(report)).toUtf8();
    else if (!printPdf(report, path, bytes, error))
        return false;
    return saveReport(path, bytes, error);
}

bool readRecord(const QString& path, QList<QJsonObject>& attempts, QString* error)
{
    QString reason;
    QByteArray content;
    if (!readBoundedFile(path, kMaxRecordBytes, QStringLiteral("um registro de tentativas"),
                         content, &reason)) {
        *error = QStringLiteral("%1: %2").arg(path, reason);
        return false;
    }
    attempts.clear();
    const QList<QByteArray> lines = content.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        const QJsonObject attempt = doc.object();
        if (!doc.isObject() || !attempt.value(QLatin1String("time")).isString() ||
            !attempt.value(QLatin1String("outcome")).isString()) {
            *error = QStringLiteral("%1: a linha %2 não é uma tentativa do registro (um objeto "
                                    "JSON com time e outcome)")
                         .arg(path)
                         .arg(i + 1);
            return false;
        }
        if (const QString wrong = wrongType(attempt); !wrong.isEmpty()) {
            *error = QStringLiteral("%1: a linha %2 não é uma tentativa do registro (%3)")
                         .arg(path)
                         .arg(i + 1)
                         .arg(wrong);
            return false;
        }
        attempts.append(attempt);
    }
    if (attempts.isEmpty()) {
        *error = QStringLiteral("%1: o registro não tem tentativas").arg(path);
        return false;
    }
    return true;
}

bool isRecordedPlan(const QString& recorded, const QString& plan)
{
    return recorded == plan ||
           (!recorded.isEmpty() && QFileInfo(recorded).canonicalFilePath() == plan);
}

namespace {

// A record of several plans is reported one plan at a time: the one asked
// for, or, with none asked, a refusal naming them.
bool choosePlan(const ReportCommand& command, QList<QJsonObject>& attempts, QString* error)
{
    if (!command.planFile.isEmpty()) {
        QString wanted = QFileInfo(command.planFile).canonicalFilePath();
        wanted = wanted.isEmpty() ? QFileInfo(command.planFile).absoluteFilePath() : wanted;
        QList<QJsonObject> ofPlan;
        for (const QJsonObject& attempt : attempts) {
            if (isRecordedPlan(attempt.value(QLatin1String("plan")).toString(), wanted))
                ofPlan << attempt;
        }
        attempts = ofPlan;
        if (attempts.isEmpty())
            *error = QStringLiteral("%1: o registro não tem tentativas do plano %2")
                         .arg(command.recordPath, command.planFile);
        return !attempts.isEmpty();
    }
    QStringList plans;
    for (const QJsonObject& attempt : attempts) {
        const QString plan = attempt.value(QLatin1String("plan")).toString();
        const QString file = QFileInfo(plan).canonicalFilePath();
        if (!plan.isEmpty() && !plans.contains(file.isEmpty() ? plan : file))
            plans << (file.isEmpty() ? plan : file);
    }
    if (plans.size() > 1)
        *error = QStringLiteral("%1: o registro tem tentativas de %2 planos (%3): escolha um com "
                                "--plan ARQUIVO")
                     .arg(command.recordPath)
                     .arg(plans.size())
                     .arg(plans.join(QStringLiteral(", ")));
    return plans.size() <= 1;
}

} // namespace

int reportFromRecord(const ReportCommand& command, Output& o)
{
    const QString& outputPath = command.outputPath;
    if (const QString refusal = nameRefusal(outputPath); !refusal.isEmpty())
        return o.fail(QStringLiteral("--output: %1: %2").arg(outputPath, refusal), kExitUsage);
    if (const QString refusal =
            replacementRefusal(outputPath, command.recordPath, command.overwrite);
        !refusal.isEmpty())
        return o.fail(refusal, kExitUsage);
    QList<QJsonObject> attempts;
    QString error;
    if (!readRecord(command.recordPath, attempts, &error) ||
        !choosePlan(command, attempts, &error))
        return o.fail(error, kExitUsage);
    // Refused before any drawing: a record of the largest size takes minutes
    // and gigabytes to draw, one row a line.
    if (const qsizetype rows = rowsOf(attempts, {}).size(); rows > kMaxReportRows)
        return o.fail(rowsRefusal(outputPath, rows), kExitUsage);
    if (!writeReport(attempts, {command.operatorName, {}, {}}, outputPath, &error))
        return o.fail(error);
    if (o.json)
        printJson(o.out, QJsonObject{{"report", outputPath}, {"attempts", attempts.size()}});
    else
        o.out << QStringLiteral("Relatório gravado em %1 (%2 %3).")
                     .arg(outputPath)
                     .arg(attempts.size())
                     .arg(attempts.size() == 1 ? QStringLiteral("tentativa")
                                               : QStringLiteral("tentativas"))
              << Qt::endl;
    return kExitOk;
}

} // namespace quorva::cli
