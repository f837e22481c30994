#pragma once

#include "transmitter/reading.h"
#include "transmitter/registermap.h"
#include "transmitter/sensortable.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The six configuration fields a write sets, in one table: each one's slot,
// its names (JSON keys, the command line's option and a plan's column, the
// window's caption), how its value reads as text and is given as text, and
// how it is compared once read back. The window, the JSON of a reading, the
// write's checks, a campaign's plan and the report all take them from here.
namespace quorva::transmitter {

// How a field's register value is shown and given.
enum class FieldFormat {
    ZeroTenths,   // tenths of °C, shown with one decimal ("-0,5")
    WholeDegrees, // a whole number of °C, held in tenths ("1370")
    SensorType,   // an index of the sensor types, or the pressure input
    ModelOption,  // an index of the option texts of the transmitter's model
};

struct ConfigurationField
{
    int slot;
    const char* registerKey; // JSON: the register's value, exact
    const char* readableKey; // JSON: the value as people read it
    // The command line's option (--zero) and a plan's column of the field.
    const char* option;
    // The window's, naming the field in messages; a plan's column in Portuguese.
    const char* caption;
    FieldFormat format;
    // The choice's own words beside its texts, item by item ("|" between
    // items, " " between words); the sensor types' come from their names.
    const char* keywords;
    // The option's value and help, for the command line's --help.
    const char* valueName;
    const char* help;
    // Where a reading holds the field: its register value, and its text
    // for a choice (none for a number in tenths of °C).
    qint32 ReadingReport::*exact;
    QString ReadingReport::*text;
    // Whether a slot read back holds what was sent.
    bool (*readBackHolds)(qint32 sent, qint32 read);
};

// A slot holds what was sent when it holds the word sent, read as a value
// (a word above 0x8000 reads back negative).
constexpr bool holdsWordSent(qint32 sent, qint32 read)
{
    return wordToValue(valueToWord(sent)) == read;
}

// In slot order, as the registers are written and their differences listed.
inline constexpr ConfigurationField kConfigurationFields[] = {
    {Slot::ZeroAdjust, "zeroAdjustTenths", "zeroAdjust", "zero", "Zero", FieldFormat::ZeroTenths,
     "", "VALOR", "Ajuste de zero em °C, de -9,9 a 9,9 (um inteiro: 5 é 5,0).",
     &ReadingReport::zeroTenths, nullptr, holdsWordSent},
    {Slot::SensorType, "sensorTypeIndex", "sensorType", "sensor", "Tipo de Sensor",
     FieldFormat::SensorType, "", "TIPO",
     "Tipo de sensor: índice 0-8 ou nome (Pt100, J, K...); sem --lower e --upper, a faixa do "
     "sensor.",
     &ReadingReport::sensorTypeIndex, &ReadingReport::sensorType, holdsWordSent},
    {Slot::RangeLower, "rangeLowerTenths", "rangeLower", "lower", "V. Mín.",
     FieldFormat::WholeDegrees, "", "VALOR", "Valor mínimo da faixa, °C inteiros.",
     &ReadingReport::lowerTenths, nullptr, holdsWordSent},
    {Slot::RangeUpper, "rangeUpperTenths", "rangeUpper", "upper", "V. Máx.",
     FieldFormat::WholeDegrees, "", "VALOR", "Valor máximo da faixa, °C inteiros.",
     &ReadingReport::upperTenths, nullptr, holdsWordSent},
    {Slot::SensorError, "sensorErrorIndex", "sensorError", "fault", "Erro do Sensor",
     FieldFormat::ModelOption,
     "nenhum none|baixo low below minimo mínimo|alto high above maximo máximo",
     "SAÍDA", "Erro do sensor: índice 0-2, texto, nenhum/baixo/alto (none/low/high).", &ReadingReport::sensorErrorIndex,
     &ReadingReport::sensorError, holdsWordSent},
    {Slot::OutputDirection, "outputDirectionIndex", "outputDirection", "direction",
     "Sinal de Saída", FieldFormat::ModelOption,
     "crescente rising direto direct|decrescente falling reverso reverse", "SENTIDO",
     "Sinal de saída: índice 0-1, texto, crescente/decrescente (rising/falling).", &ReadingReport::outputDirectionIndex,
     &ReadingReport::outputDirection, holdsWordSent},
};

// The field of a slot; null for a slot that is none of the six.
const ConfigurationField* fieldOfSlot(int slot);
// The window's caption of a slot's field ("V. Mín.").
QString fieldCaption(int slot);

// The six in the order the window shows them: the sensor, zero, range,
// then the two choices.
inline constexpr int kFormOrder[] = {Slot::SensorType, Slot::ZeroAdjust,  Slot::RangeLower,
                                     Slot::RangeUpper, Slot::SensorError, Slot::OutputDirection};

// A word as it is compared: without accents, any case, blanks folded
// ("Sinal de Saída" and "sinal de  saida" alike).
QString foldedWord(const QString& word);

// A choice given by index or by one of an item's names (any case, with or
// without accents, blanks folded).
std::optional<int> resolveChoice(const QString& given, const QList<QStringList>& namesByItem);

// The names a choice is given by, item by item: its keywords and the texts
// of every model's item (the sensor's name and its last word, and the
// pressure input's). Empty for a number.
QList<QStringList> choiceNames(const ConfigurationField& field);

// The words a choice takes, for a message: each item's words and the
// window's texts of it, then the index ("nenhum/none → 'Nenhum', ...; ou o
// índice 0 a 2"). Empty for a number.
QString acceptedWords(const ConfigurationField& field);

// Whether a model takes `given` for the item `index` of a choice: by one of
// the item's words, its index, or that model's own text of it. Another
// model's text ("4 a 20 mA" to a 0 to 10 V model) is not taken.
bool modelTakes(const ConfigurationField& field, const QString& given, int index,
                const ModelOptions& model);
// A model's texts of a choice's items ("0 a 10 V, 10 a 0 V").
QString modelItemsText(const ConfigurationField& field, const ModelOptions& model);

// A register value in its field's own format, as the window shows it:
// "-0,5", "1370", "Termopar K", "20 a 4 mA"; a value no item names as its
// number.
QString fieldText(const ConfigurationField& field, qint32 value, const ModelOptions& model);

} // namespace quorva::transmitter
