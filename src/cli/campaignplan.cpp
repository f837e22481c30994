#include "campaignplan.h"

#include "cli/systemfiles.h"
#include "transmitter/configfields.h"

#include <QSet>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <vector>

namespace quorva::cli {

namespace {

using namespace transmitter;

// Where each column stands in the header and how the header names it: the
// tag, the fields by their option's name, and whether the row's range may
// cross the sensor's limits.
struct Columns
{
    int tag = -1;
    int force = -1;
    int blank = -1; // a header ending in the separator: an empty last column
    std::array<int, kWriteRegisterCount> field; // by slot
    QStringList names;                          // as the header writes them
    Columns() { field.fill(-1); }
};

const QString kTagColumn = QStringLiteral("tag");
const QString kForceColumn = QStringLiteral("force");
// The force column in Portuguese, beside each field's window caption.
const QString kForceCaption = QStringLiteral("forçar");

// The columns a plan may have, in the order they are listed: each by its
// key and, where it differs, the window's caption.
QStringList knownColumns()
{
    QStringList names{kTagColumn};
    for (const int slot : kFormOrder) {
        const ConfigurationField& f = *fieldOfSlot(slot);
        names << QStringLiteral("%1 (%2)").arg(QLatin1String(f.option), QString::fromUtf8(f.caption));
    }
    return names << QStringLiteral("%1 (%2)").arg(kForceColumn, kForceCaption);
}

// A header's name as it is compared: without accents, any case, blanks
// folded and abbreviation points dropped ("V. Mín." is "v min").
QString columnKey(const QString& name)
{
    return foldedWord(QString(name).replace(u'.', u' '));
}

// Where a header's name puts its column: the tag, the force, or a field by
// its key or its window caption; none for a name not known.
int* columnOf(const QString& name, Columns& columns)
{
    const QString key = columnKey(name);
    if (key == kTagColumn)
        return &columns.tag;
    if (key == kForceColumn || key == columnKey(kForceCaption))
        return &columns.force;
    for (const ConfigurationField& f : kConfigurationFields) {
        if (key == QLatin1String(f.option) || key == columnKey(QString::fromUtf8(f.caption)))
            return &columns.field[size_t(f.slot)];
    }
    return nullptr;
}

// The header's columns; false, with why, for one unknown or given twice.
bool readHeader(const QStringList& header, Columns& columns, QString* refusal)
{
    for (int i = 0; i < header.size(); ++i) {
        const QString name = header[i].trimmed();
        // A spreadsheet may end its header with the separator.
        int* position = name.isEmpty() && i == header.size() - 1 && i > 0 ? &columns.blank
                                                                         : columnOf(name, columns);
        if (!position) {
            *refusal = QStringLiteral("coluna desconhecida '%1' (colunas: %2)")
                           .arg(name, knownColumns().join(QStringLiteral(", ")));
            return false;
        }
        if (*position >= 0) {
            *refusal = QStringLiteral("coluna repetida '%1'").arg(name);
            return false;
        }
        *position = i;
        columns.names << name;
    }
    if (columns.tag < 0) {
        *refusal = QStringLiteral("falta a coluna tag");
        return false;
    }
    return true;
}

// A refused field in the plan's terms: the words, and for a text not
// understood the text and, for a choice, the words it takes.
QString cellWords(const FieldRefusal& r, const QString& cell)
{
    const ConfigurationField* field = fieldOfSlot(r.slot);
    if (r.forceable())
        return r.words + QStringLiteral(" Use a coluna force (sim) ou --force para enviar assim "
                                        "mesmo.");
    if (!field || (r.reason != WriteCheck::NotUnderstood && r.reason != WriteCheck::RangeOutOfSpan))
        return r.words;
    switch (field->format) {
    case FieldFormat::WholeDegrees: // a conversion names its text itself
        return r.reason == WriteCheck::NotUnderstood
                   ? r.words
                   : QStringLiteral("%1 ('%2')").arg(r.words, cell);
    case FieldFormat::ZeroTenths:
        return QStringLiteral("%1 ('%2'; um decimal, como -0,5, ou um inteiro)").arg(r.words, cell);
    case FieldFormat::SensorType:
    case FieldFormat::ModelOption:
        break;
    }
    return QStringLiteral("'%1' não é uma opção (%2)").arg(cell, acceptedWords(*field));
}

std::optional<bool> forceOf(const QString& cell, bool planForce)
{
    static const QStringList yes = {"sim", "s", "x", "1", "true", "yes"};
    static const QStringList no = {"não", "nao", "n", "0", "false", "no"};
    if (cell.isEmpty())
        return planForce;
    if (yes.contains(cell.toLower()))
        return true;
    if (no.contains(cell.toLower()))
        return false;
    return std::nullopt;
}

// One row checked: every cell refused, by its column, or the row to write.
QList<CellRefusal> checkRow(const CsvRecord& record, const Columns& columns, bool planForce,
                            QSet<QString>& tags, PlanRow& row)
{
    const auto cell = [&](int column) {
        return column < 0 ? QString() : record.fields.value(column).trimmed();
    };
    if (record.fields.size() > columns.names.size())
        return {{record.line,
                 {},
                 QStringLiteral("%1 campos, o cabeçalho tem %2")
                     .arg(record.fields.size())
                     .arg(columns.names.size())}};
    std::vector<std::pair<int, QString>> refused; // by column
    row.tag = cell(columns.tag);
    if (row.tag.isEmpty())
        refused.emplace_back(columns.tag, QStringLiteral("vazia"));
    else if (tags.contains(row.tag.toCaseFolded()))
        refused.emplace_back(columns.tag, QStringLiteral("%1 repetida").arg(row.tag));
    tags.insert(row.tag.toCaseFolded());
    if (!cell(columns.blank).isEmpty())
        refused.emplace_back(columns.blank,
                             QStringLiteral("'%1' numa coluna sem nome").arg(cell(columns.blank)));
    const std::optional<bool> rowForce = forceOf(cell(columns.force), planForce);
    if (!rowForce)
        refused.emplace_back(columns.force,
                             QStringLiteral("'%1' não é sim nem não").arg(cell(columns.force)));
    // Without a force the row means, the sensor's limits are not judged.
    row.write.force = rowForce.value_or(true);
    FieldTexts texts{};
    for (const ConfigurationField& f : kConfigurationFields)
        texts[size_t(f.slot)] = cell(columns.field[size_t(f.slot)]);
    const PreparedWrite verdict = prepareTextEdit(texts, row.write.edit);
    for (const FieldRefusal& r : verdict.refusals) {
        if (!(r.forceable() && row.write.force))
            refused.emplace_back(columns.field[size_t(r.slot)],
                                 cellWords(r, texts[size_t(r.slot)]));
    }
    if (refused.empty() && row.write.edit.isEmpty())
        refused.emplace_back(-1, QStringLiteral("nada a escrever para %1: as outras células "
                                                "estão vazias")
                                     .arg(row.tag));
    // Left to right, as the row reads.
    std::stable_sort(refused.begin(), refused.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<CellRefusal> cells;
    for (const auto& [column, words] : refused)
        cells.append({record.line, column < 0 ? QString() : columns.names.value(column), words});
    return cells;
}

// Windows-1252's characters for the bytes 0x80 to 0x9F (the rest are
// Latin-1's); the five it leaves undefined taken as the C1 controls.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text += QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

// The plan's text and its separator, or why the file is refused. UTF-8,
// or, where the bytes are not, Windows-1252: what Excel saves as "CSV
// (separado por vírgulas)" on a Windows in Portuguese.
bool readPlanText(const QString& path, QString& text, QChar& separator, QString& encoding,
                  QString* refusal)
{
    QByteArray content;
    QString reason;
    if (!readBoundedFile(path, kMaxConfigurationFileBytes,
                         QStringLiteral("um plano de transmissores"), content, &reason)) {
        *refusal = reason;
        return false;
    }
    // The decoder drops the byte-order mark a spreadsheet may put first.
    QStringDecoder utf8(QStringDecoder::Utf8);
    text = utf8.decode(content);
    encoding = QStringLiteral("UTF-8");
    if (utf8.hasError()) {
        text = fromWindows1252(content);
        encoding = QStringLiteral("Windows-1252");
    }
    // The header tells the spreadsheet's convention: `;` where the decimal
    // mark is a comma, `,` where it is a point.
    const QString firstLine = text.section(u'\n', 0, 0);
    separator = firstLine.contains(u';') ? u';' : u',';
    return true;
}

} // namespace

QList<CsvRecord> parseCsv(const QString& text, QChar separator)
{
    QList<CsvRecord> records;
    CsvRecord record;
    QString field;
    bool quoted = false, fieldStarted = false;
    int line = 1;
    const auto endField = [&] {
        record.fields << field;
        field.clear();
        fieldStarted = false;
    };
    const auto endRecord = [&] {
        endField();
        // A blank line, or a spreadsheet's empty row (separators alone), is no row.
        if (std::any_of(record.fields.begin(), record.fields.end(),
                        [](const QString& f) { return !f.trimmed().isEmpty(); }))
            records << record;
        record = {};
    };
    record.line = line;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                line += c == u'\n' ? 1 : 0;
                field += c;
            }
        } else if (c == u'"' && !fieldStarted) {
            quoted = fieldStarted = true;
        } else if (c == separator) {
            endField();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            endRecord();
            record.line = ++line;
        } else {
            field += c;
            fieldStarted = fieldStarted || !c.isSpace();
        }
    }
    if (!field.isEmpty() || !record.fields.isEmpty())
        endRecord();
    return records;
}

Plan readPlan(const QString& path, bool force)
{
    Plan plan;
    QString text;
    QChar separator;
    if (!readPlanText(path, text, separator, plan.encoding, &plan.refusal))
        return plan;
    const QList<CsvRecord> records = parseCsv(text, separator);
    Columns columns;
    if (records.isEmpty())
        plan.refusal = QStringLiteral("vazio");
    else if (!readHeader(records.first().fields, columns, &plan.refusal))
        return plan;
    else if (records.size() == 1)
        plan.refusal = QStringLiteral("nenhuma linha de transmissor");
    if (!plan.refusal.isEmpty())
        return plan;
    QSet<QString> tags;
    for (int r = 1; r < records.size(); ++r) {
        PlanRow row;
        row.row = r;
        row.line = records[r].line;
        const QList<CellRefusal> refused = checkRow(records[r], columns, force, tags, row);
        plan.cells += refused;
        plan.refusedRows += refused.isEmpty() ? 0 : 1;
        plan.rows << row;
    }
    if (!plan.accepted())
        plan.rows.clear();
    return plan;
}

} // namespace quorva::cli
