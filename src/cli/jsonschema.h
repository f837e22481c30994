#pragma once

#include "transmitter/configwrite.h"
#include "transmitter/reading.h"
#include "transmitter/writeprocedure.h"

#include <QJsonArray>
#include <QJsonObject>

// The JSON of a reading, as `read --json` prints it and `write --from` takes
// it back, and of a write, as `write --json` and the record hold it: the
// configuration fields' keys come from the transmitter's table of fields.
namespace quorva::cli {

// A reading with numbers as JSON numbers (23.5, -200, 1.01), texts as texts,
// and the exact register values beside them.
QJsonObject reportJson(const transmitter::ReadingReport& r);

// Adds the configuration fields of a file `read --json` printed, or one
// written by hand, to `edit`: false, with the line that says why in
// `refusal`, for a file that cannot be read or a field it gives wrong.
bool editFromFile(const QString& path, transmitter::ConfigurationEdit& edit, QString* refusal);

// The words of registers 1 to 11 as they go out, each the low 16 bits of its value.
QJsonArray wordsJson(const transmitter::WriteImage& image);
// What a write sends: its first register, the words, and each field's
// register value by its key.
QJsonObject sentJson(const transmitter::WriteImage& image);
// The fields read back otherwise than sent, by their keys.
QJsonArray differencesJson(const std::vector<transmitter::WriteDifference>& differences);

} // namespace quorva::cli
