#include "jsonschema.h"

#include "cli/choices.h"
#include "cli/systemfiles.h"

#include <QJsonDocument>
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
    for (const ConfigurationKey& k : kConfigurationKeys) {
        o[QLatin1String(k.key)] = r.*k.exact;
        o[QLatin1String(k.readable)] =
            k.text ? QJsonValue(r.*k.text) : QJsonValue((r.*k.exact) / 10.0);
    }
    return o;
}

namespace {

// A readable value of a file as its register value: a number in the field's
// unit to tenths, a text to its item (the empty text names none, -1).
std::optional<qint64> readableValue(const ConfigurationKey& k, const QJsonValue& value)
{
    if (!k.text) {
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
    const std::optional<int> index = resolveChoice(value.toString(), choiceNames(k.slot));
    return index ? std::optional<qint64>(*index) : std::nullopt;
}

} // namespace

// Each field by its register key, its readable key or both, which must then agree.
int editFromFile(const QString& path, ConfigurationEdit& edit, Output& o)
{
    QByteArray content;
    QString reason;
    if (!readConfigurationFile(path, content, &reason))
        return o.fail(QStringLiteral("--from: %1: %2").arg(path, reason), kExitUsage);
    const QJsonDocument doc = QJsonDocument::fromJson(content);
    if (!doc.isObject())
        return o.fail(
            QStringLiteral("--from: %1 não é o JSON de 'quorva-cli read --json'").arg(path),
            kExitUsage);
    bool any = false;
    for (const ConfigurationKey& k : kConfigurationKeys) {
        const QJsonValue exact = doc.object().value(QLatin1String(k.key));
        const QJsonValue readable = doc.object().value(QLatin1String(k.readable));
        std::optional<qint64> fromExact, fromReadable;
        if (!exact.isUndefined()) {
            const double number = exact.toDouble(0.5);
            if (!exact.isDouble() || number != std::trunc(number) || std::abs(number) > 1e9)
                return o.fail(QStringLiteral("--from: %1 em %2 não é um número inteiro")
                                  .arg(QLatin1String(k.key), path),
                              kExitUsage);
            fromExact = qint64(number);
        }
        if (!readable.isUndefined()) {
            fromReadable = readableValue(k, readable);
            if (!fromReadable)
                return o.fail(
                    QStringLiteral("--from: %1 em %2 não é um valor de %3")
                        .arg(QLatin1String(k.readable), path, QString::fromUtf8(k.caption)),
                    kExitUsage);
        }
        if (fromExact && fromReadable && *fromExact != *fromReadable)
            return o.fail(QStringLiteral("--from: em %1, %2 (%3) e %4 (%5) não concordam; "
                                         "corrija um dos dois ou apague um deles")
                              .arg(path, QLatin1String(k.readable),
                                   readable.isString()
                                       ? u'"' + readable.toString() + u'"'
                                       : QString::number(readable.toDouble(), 'g', 15),
                                   QLatin1String(k.key))
                              .arg(*fromExact),
                          kExitUsage);
        if (fromExact || fromReadable) {
            edit.values[size_t(k.slot)] = fromExact ? *fromExact : *fromReadable;
            any = true;
        }
    }
    if (!any)
        return o.fail(QStringLiteral("--from: %1 não tem campos de configuração "
                                     "(zeroAdjust, sensorType, rangeLower...)")
                          .arg(path),
                      kExitUsage);
    return kExitOk;
}

} // namespace quorva::cli
