#include "campaignplan.h"

#include "cli/systemfiles.h"

#include <QSet>
#include <QStringDecoder>
#include <array>

namespace quorva::cli {

namespace {

// The plan's columns: the tag, the fields of `write` by their option's name,
// and whether the row's range may cross the sensor's limits.
enum Column { Tag, Sensor, Zero, Lower, Upper, Fault, Direction, Force, ColumnCount };
constexpr std::array<const char*, ColumnCount> kColumnNames = {
    "tag", "sensor", "zero", "lower", "upper", "fault", "direction", "force"};

// The write's arguments the row's cells give, `without` one column.
WriteArguments argumentsOf(const std::array<QString, ColumnCount>& cells, int without = -1)
{
    const auto cell = [&](Column c) { return c == without ? QString() : cells[c]; };
    WriteArguments a;
    a.sensor = cell(Sensor);
    a.zero = cell(Zero);
    a.lower = cell(Lower);
    a.upper = cell(Upper);
    a.fault = cell(Fault);
    a.direction = cell(Direction);
    return a;
}

// prepareWrite's verdict on the arguments: empty when accepted, otherwise
// its line without the program's name.
QString refusalOf(const WriteArguments& a, bool force, WriteOptions* accepted = nullptr)
{
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    Output quiet{out, err, false};
    WriteOptions options;
    options.force = force;
    if (prepareWrite(a, options, quiet) == kExitOk) {
        if (accepted)
            accepted->edit = options.edit;
        return QString();
    }
    err.flush();
    // The option's advice, in the plan's own terms.
    return errText.trimmed()
        .remove(QStringLiteral("quorva-cli: "))
        .replace(QStringLiteral("Use --force"),
                 QStringLiteral("Use a coluna force (sim) ou --force"));
}

// The column a refused row is refused for: the first field refused on its
// own, then the range value the refusal names as beyond the sensor's limits,
// otherwise the one whose absence lets the rest through.
int refusedColumn(const std::array<QString, ColumnCount>& cells, bool force, const QString& refusal)
{
    for (int c = Sensor; c <= Direction; ++c) {
        if (cells[c].isEmpty())
            continue;
        std::array<QString, ColumnCount> alone{};
        alone[c] = cells[c];
        if (!refusalOf(argumentsOf(alone), force).isEmpty())
            return c;
    }
    for (const auto& [caption, c] : {std::pair{"V. Mín. ", Lower}, std::pair{"V. Máx. ", Upper}}) {
        if (refusal.startsWith(QString::fromUtf8(caption)) && !cells[c].isEmpty())
            return c;
    }
    for (const int c : {Upper, Lower, Sensor}) {
        if (!cells[c].isEmpty() && refusalOf(argumentsOf(cells, c), force).isEmpty())
            return c;
    }
    return Sensor;
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

int readPlan(const QString& path, bool force, QList<PlanRow>& rows, Output& o)
{
    QByteArray content;
    QString reason;
    if (!readBoundedFile(path, kMaxConfigurationFileBytes,
                         QStringLiteral("um plano de transmissores"), content, &reason))
        return o.fail(QStringLiteral("plano %1: %2").arg(path, reason), kExitUsage);
    // The decoder drops the byte-order mark a spreadsheet may put first.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(content);
    if (utf8.hasError())
        return o.fail(QStringLiteral("plano %1: não está em UTF-8").arg(path), kExitUsage);
    // The header tells the spreadsheet's convention: `;` where the decimal
    // mark is a comma, `,` where it is a point.
    const QString firstLine = text.section(u'\n', 0, 0);
    const QChar separator = firstLine.contains(u';') ? u';' : u',';
    const QList<CsvRecord> records = parseCsv(text, separator);
    if (records.isEmpty())
        return o.fail(QStringLiteral("plano %1: vazio").arg(path), kExitUsage);

    std::array<int, ColumnCount> position;
    position.fill(-1);
    const QStringList header = records.first().fields;
    for (int i = 0; i < header.size(); ++i) {
        const QString name = header[i].trimmed().toLower();
        const auto known = std::find(kColumnNames.begin(), kColumnNames.end(), name);
        if (known == kColumnNames.end())
            return o.fail(QStringLiteral("plano %1: coluna desconhecida '%2' (colunas: %3)")
                              .arg(path, header[i].trimmed(),
                                   QStringLiteral("tag, sensor, zero, lower, upper, fault, "
                                                  "direction, force")),
                          kExitUsage);
        if (position[size_t(known - kColumnNames.begin())] >= 0)
            return o.fail(QStringLiteral("plano %1: coluna repetida '%2'").arg(path, name),
                          kExitUsage);
        position[size_t(known - kColumnNames.begin())] = i;
    }
    if (position[Tag] < 0)
        return o.fail(QStringLiteral("plano %1: falta a coluna tag").arg(path), kExitUsage);
    if (records.size() == 1)
        return o.fail(QStringLiteral("plano %1: nenhuma linha de transmissor").arg(path),
                      kExitUsage);

    QStringList refusals;
    QSet<QString> tags;
    rows.clear();
    for (int r = 1; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        const auto refuse = [&](int column, const QString& why) {
            refusals << QStringLiteral("linha %1, coluna %2: %3")
                            .arg(record.line)
                            .arg(QLatin1String(kColumnNames[size_t(column)]), why);
        };
        if (record.fields.size() > header.size()) {
            refusals << QStringLiteral("linha %1: %2 campos, o cabeçalho tem %3")
                            .arg(record.line)
                            .arg(record.fields.size())
                            .arg(header.size());
            continue;
        }
        std::array<QString, ColumnCount> cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells[size_t(c)] = record.fields.value(position[size_t(c)]).trimmed();
        PlanRow row;
        row.row = r;
        row.line = record.line;
        row.tag = cells[Tag];
        if (row.tag.isEmpty())
            refuse(Tag, QStringLiteral("vazia"));
        else if (tags.contains(row.tag.toCaseFolded()))
            refuse(Tag, QStringLiteral("%1 repetida").arg(row.tag));
        tags.insert(row.tag.toCaseFolded());
        const std::optional<bool> rowForce = forceOf(cells[Force], force);
        if (!rowForce) {
            refuse(Force, QStringLiteral("'%1' não é sim nem não").arg(cells[Force]));
            continue;
        }
        row.write.force = *rowForce;
        const QString refusal = refusalOf(argumentsOf(cells), *rowForce, &row.write);
        if (!refusal.isEmpty())
            refuse(refusedColumn(cells, *rowForce, refusal), refusal);
        else
            rows << row;
    }
    if (refusals.isEmpty())
        return kExitOk;
    for (const QString& line : refusals)
        o.err << QStringLiteral("quorva-cli: plano %1: %2").arg(path, line) << Qt::endl;
    rows.clear();
    return o.fail(
        QStringLiteral("plano recusado (%1 linha(s)); nada foi enviado").arg(refusals.size()),
        kExitUsage);
}

} // namespace quorva::cli
