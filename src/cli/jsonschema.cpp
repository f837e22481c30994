#include "jsonschema.h"

#include "cli/systemfiles.h"
#include "transmitter/configfields.h"

#include <QJsonDocument>
#include <QSet>
#include <cmath>
#include <optional>

namespace quorva::cli {

using namespace transmitter;

QJsonObject reportJson(const ReadingReport& r)
{
    QJsonObject o{
        {"model", r.model},
        {"modelCode", r.modelCode},
        {"firmware", r.firmwareHundredths / 100.0},
        {"firmwareHundredths", r.firmwareHundredths},
        {"measuredValue", r.measured.inTenths ? r.measuredRaw / 10.0 : double(r.measuredRaw)},
        {"measuredRaw", r.measuredRaw},
        {"unit", r.measured.unit},
    };
    for (const ConfigurationField& f : kConfigurationFields) {
        o[QLatin1String(f.registerKey)] = r.*f.exact;
        o[QLatin1String(f.readableKey)] =
            f.text ? QJsonValue(r.*f.text) : QJsonValue((r.*f.exact) / 10.0);
    }
    return o;
}

namespace {

// A readable value of a file as its register value: a number in the field's
// unit to tenths, a text to its item (the empty text names none, -1).
std::optional<qint64> readableValue(const ConfigurationField& f, const QJsonValue& value)
{
    if (!f.text) {
        const double tenfold = value.toDouble(0.05) * 10.0;
        if (!value.isDouble() || std::abs(tenfold) > 1e9 ||
            std::abs(tenfold - std::round(tenfold)) > 1e-6)
            return std::nullopt;
        return qint64(std::round(tenfold));
    }
    if (!value.isString())
        return std::nullopt;
    if (value.toString().isEmpty())
        return -1;
    const std::optional<int> index = resolveChoice(value.toString(), choiceNames(f));
    return index ? std::optional<qint64>(*index) : std::nullopt;
}

// The first key the document's object gives twice; empty when none. A
// parser keeps one of them silently, and which one a person meant is not
// known.
QString repeatedKey(const QByteArray& json)
{
    QSet<QString> seen;
    int depth = 0;
    bool keyNext = false; // a string at the object's own level, after { or ,
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            qsizetype end = i + 1;
            while (end < json.size() && json[end] != '"')
                end += json[end] == '\\' ? 2 : 1;
            if (depth == 1 && keyNext) {
                const QString key =
                    QJsonDocument::fromJson('[' + json.mid(i, end - i + 1) + ']')[0].toString();
                if (seen.contains(key))
                    return key;
                seen.insert(key);
                keyNext = false;
            }
            i = end;
        } else if (c == '{' || c == '[') {
            keyNext = ++depth == 1;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ',') {
            keyNext = depth == 1;
        }
    }
    return {};
}

// One field of the file, by its register key, its readable key or both,
// which must then agree: false with the refusal's line.
bool fieldFromFile(const ConfigurationField& f, const QJsonObject& file, const QString& path,
                   ConfigurationEdit& edit, QString* refusal)
{
    const QJsonValue exact = file.value(QLatin1String(f.registerKey));
    const QJsonValue readable = file.value(QLatin1String(f.readableKey));
    std::optional<qint64> fromExact, fromReadable;
    if (!exact.isUndefined()) {
        const double number = exact.toDouble(0.5);
        if (!exact.isDouble() || number != std::trunc(number) || std::abs(number) > 1e9) {
            *refusal = QStringLiteral("--from: %1 em %2 não é um número inteiro")
                           .arg(QLatin1String(f.registerKey), path);
            return false;
        }
        fromExact = qint64(number);
    }
    if (!readable.isUndefined()) {
        fromReadable = readableValue(f, readable);
        if (!fromReadable) {
            *refusal = QStringLiteral("--from: %1 em %2 não é um valor de %3")
                           .arg(QLatin1String(f.readableKey), path, QString::fromUtf8(f.caption));
            return false;
        }
    }
    if (fromExact && fromReadable && *fromExact != *fromReadable) {
        *refusal = QStringLiteral("--from: em %1, %2 (%3) e %4 (%5) não concordam; "
                                  "corrija um dos dois ou apague um deles")
                       .arg(path, QLatin1String(f.readableKey),
                            readable.isString() ? u'"' + readable.toString() + u'"'
                                                : QString::number(readable.toDouble(), 'g', 15),
                            QLatin1String(f.registerKey))
                       .arg(*fromExact);
        return false;
    }
    if (fromExact || fromReadable)
        edit.values[size_t(f.slot)] = fromExact ? *fromExact : *fromReadable;
    return true;
}

} // namespace

bool editFromFile(const QString& path, ConfigurationEdit& edit, QString* refusal)
{
    QByteArray content;
    QString reason;
    if (!readConfigurationFile(path, content, &reason)) {
        *refusal = QStringLiteral("--from: %1: %2").arg(path, reason);
        return false;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(content);
    if (!doc.isObject()) {
        *refusal = QStringLiteral("--from: %1 não é o JSON de 'quorva-cli read --json'").arg(path);
        return false;
    }
    if (const QString key = repeatedKey(content); !key.isEmpty()) {
        *refusal = QStringLiteral("--from: em %1, a chave %2 aparece mais de uma vez; deixe uma só")
                       .arg(path, key);
        return false;
    }
    bool any = false;
    for (const ConfigurationField& f : kConfigurationFields) {
        if (!fieldFromFile(f, doc.object(), path, edit, refusal))
            return false;
        any = any || doc.object().contains(QLatin1String(f.registerKey)) ||
              doc.object().contains(QLatin1String(f.readableKey));
    }
    if (!any) {
        *refusal = QStringLiteral("--from: %1 não tem campos de configuração "
                                  "(zeroAdjust, sensorType, rangeLower...)")
                       .arg(path);
        return false;
    }
    return true;
}

QJsonArray wordsJson(const WriteImage& image)
{
    QJsonArray words;
    for (const qint32 value : image)
        words.append(int(valueToWord(value)));
    return words;
}

QJsonObject sentJson(const WriteImage& image)
{
    QJsonObject sent{{"firstRegister", kWriteFirstRegister}, {"words", wordsJson(image)}};
    for (const ConfigurationField& f : kConfigurationFields)
        sent[QLatin1String(f.registerKey)] = image[size_t(f.slot)];
    return sent;
}

QJsonArray differencesJson(const std::vector<WriteDifference>& differences)
{
    QJsonArray list;
    // In the table's order, as the fields are written.
    for (const ConfigurationField& f : kConfigurationFields) {
        for (const WriteDifference& d : differences) {
            if (d.slot == f.slot)
                list.append(QJsonObject{{"field", QLatin1String(f.registerKey)},
                                        {"written", d.written},
                                        {"read", d.read}});
        }
    }
    return list;
}

} // namespace quorva::cli
