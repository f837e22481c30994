#pragma once

#include "cli/commands.h"

#include <QList>
#include <QString>
#include <QStringList>

// A commissioning campaign's plan: the instrument list as a spreadsheet saves
// it, one row per transmitter with its tag and the fields of `write`.
namespace quorva::cli {

struct PlanRow
{
    int row = 0;  // the data row, from 1
    int line = 0; // where it starts in the file, the header being line 1
    QString tag;
    WriteOptions write; // the row's edit, checked as `write` checks its options
};

// A cell the plan is refused for, in the plan's own terms: its line, its
// column as the header names it (empty for the row as a whole) and why.
struct CellRefusal
{
    int line = 0;
    QString column;
    QString words;
};

// A plan read and checked: its rows, or why it is refused, whole or cell by cell.
struct Plan
{
    QList<PlanRow> rows;      // empty unless the plan is accepted
    QString refusal;          // the file refused as a whole: unreadable, no tag column...
    QList<CellRefusal> cells; // every refused cell of every row, in order
    int refusedRows = 0;
    QString encoding; // how its bytes were read: UTF-8 or Windows-1252
    bool accepted() const { return refusal.isEmpty() && cells.isEmpty(); }
};

// The plan's rows, every one checked before any port is opened. A header
// row names the columns (tag, sensor, zero, lower, upper, fault, direction,
// force, or the window's captions: "Tipo de Sensor", "V. Mín."...; any case,
// with or without accents, any order); `;` with a decimal comma or `,` with
// a decimal point, told by the header. UTF-8, or else Windows-1252. An empty
// cell keeps the device's value. A plan is taken whole or not at all.
Plan readPlan(const QString& path, bool force);

// The records of a CSV text (RFC 4180 quoting, CRLF or LF, a leading BOM
// dropped), each with the line it starts on; blank lines are left out.
struct CsvRecord
{
    int line = 0;
    QStringList fields;
};
QList<CsvRecord> parseCsv(const QString& text, QChar separator);

} // namespace quorva::cli
