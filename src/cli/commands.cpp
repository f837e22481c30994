#include "commands.h"

#include "cli/interrupt.h"
#include "cli/ownedlink.h"
#include "cli/systemfiles.h"
#include "link/modbusframe.h"
#include "link/usbserialdriver.h"
#include "sim/ptyserver.h"
#include "transmitter/numberformat.h"
#include "transmitter/reading.h"
#include "transmitter/sensortable.h"
#include "transmitter/writeprocedure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>

namespace quorva::cli {

using namespace transmitter;

int Output::fail(const QString& message, int status)
{
    err << "quorva-cli: " << message << Qt::endl;
    return status;
}

bool Output::flushed()
{
    out.flush();
    return out.status() != QTextStream::WriteFailed;
}

namespace {

void printJson(QTextStream& out, const QJsonValue& value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    out << QString::fromUtf8(doc.toJson(QJsonDocument::Compact)) << Qt::endl;
}

QString hexId(quint16 id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QChar(u'0'));
}

// Numbers as JSON numbers (23.5, -200, 1.01), texts as texts; the register
// values beside them are exact.
QJsonObject reportJson(const ReadingReport& r)
{
    const bool tenths = r.measured.unit == QStringLiteral("°C");
    return {
        {"model", r.model},
        {"modelCode", r.modelCode},
        {"firmware", r.firmwareHundredths / 100.0},
        {"firmwareHundredths", r.firmwareHundredths},
        {"sensorType", r.sensorType},
        {"sensorTypeIndex", r.sensorTypeIndex},
        {"zeroAdjust", r.zeroTenths / 10.0},
        {"zeroAdjustTenths", r.zeroTenths},
        {"rangeLower", r.lowerTenths / 10.0},
        {"rangeLowerTenths", r.lowerTenths},
        {"rangeUpper", r.upperTenths / 10.0},
        {"rangeUpperTenths", r.upperTenths},
        {"sensorError", r.sensorError},
        {"sensorErrorIndex", r.sensorErrorIndex},
        {"outputDirection", r.outputDirection},
        {"outputDirectionIndex", r.outputDirectionIndex},
        {"measuredValue", tenths ? r.measuredRaw / 10.0 : double(r.measuredRaw)},
        {"measuredRaw", r.measuredRaw},
        {"unit", r.measured.unit},
    };
}

QJsonObject errorJson(const LinkError& e)
{
    QJsonObject o{{"error", e.message}, {"outcome", e.code}};
    if (!e.fault.isEmpty())
        o["fault"] = e.fault;
    return o;
}

// The configuration fields by their JSON keys, as `read --json` prints them
// and `write --from` takes them: the register value, exact, and the value as
// people read it (a number in the field's unit, or the item's text).
struct ConfigurationKey
{
    const char* key;
    const char* readable;
    const char* caption;
    int slot;
};
constexpr ConfigurationKey kConfigurationKeys[] = {
    {"zeroAdjustTenths", "zeroAdjust", "Zero", Slot::ZeroAdjust},
    {"sensorTypeIndex", "sensorType", "Tipo de Sensor", Slot::SensorType},
    {"rangeLowerTenths", "rangeLower", "V. Mín.", Slot::RangeLower},
    {"rangeUpperTenths", "rangeUpper", "V. Máx.", Slot::RangeUpper},
    {"sensorErrorIndex", "sensorError", "Erro do Sensor", Slot::SensorError},
    {"outputDirectionIndex", "outputDirection", "Sinal de Saída", Slot::OutputDirection},
};

QString sensorTypeText(int index)
{
    if (index == kPressureSensorType)
        return QString::fromUtf8(kPressureSensorName);
    const SensorRange* sensor = sensorRangeFor(index);
    return sensor ? QString::fromUtf8(sensor->name) : QString();
}

// A configuration value in its field's own units and format, as the window
// shows it: "-0,5", "1370", "Termopar K", "20 a 4 mA".
QString fieldText(int slot, qint32 value, const ModelOptions& model)
{
    QString text;
    switch (slot) {
    case Slot::ZeroAdjust:
        return zeroAdjustText(value);
    case Slot::RangeLower:
    case Slot::RangeUpper:
        return rangeValueText(value);
    case Slot::SensorType:
        text = sensorTypeText(value);
        break;
    case Slot::SensorError:
        if (const int i = shownChoice(value, int(model.sensorErrorItems.size())); i >= 0)
            text = QString::fromUtf8(model.sensorErrorItems[size_t(i)]);
        break;
    case Slot::OutputDirection:
        if (const int i = shownChoice(value, int(model.directionItems.size())); i >= 0)
            text = QString::fromUtf8(model.directionItems[size_t(i)]);
        break;
    }
    return text.isEmpty() ? QString::number(value) : text;
}

QString withUnit(const QString& value, const QString& unit)
{
    return unit.isEmpty() ? value : value + QStringLiteral(" ") + unit;
}

QString measuredCaption(const MeasuredText& m)
{
    if (m.unit == QStringLiteral("°C"))
        return QStringLiteral("Temperatura");
    return m.unit.isEmpty() ? QStringLiteral("Valor medido") : m.unit;
}

void printReport(QTextStream& out, const ReadingReport& r)
{
    const auto line = [&out](const QString& caption, const QString& value) {
        out << QStringLiteral("%1 %2").arg(caption + u':', -16).arg(value) << Qt::endl;
    };
    line(QStringLiteral("Modelo"),
         r.model.isEmpty() ? QStringLiteral("(código %1)").arg(r.modelCode) : r.model);
    line(QStringLiteral("Firmware"), r.firmware);
    line(QStringLiteral("Tipo de Sensor"), r.sensorType);
    line(QStringLiteral("Zero"), withUnit(r.zeroAdjust, r.settingUnit));
    line(QStringLiteral("V. Mín."), withUnit(r.rangeLower, r.settingUnit));
    line(QStringLiteral("V. Máx."), withUnit(r.rangeUpper, r.settingUnit));
    line(QStringLiteral("Erro do Sensor"), r.sensorError);
    line(QStringLiteral("Sinal de Saída"), r.outputDirection);
    const bool temperature = r.measured.unit == QStringLiteral("°C");
    line(measuredCaption(r.measured),
         temperature ? withUnit(r.measured.value, r.measured.unit) : r.measured.value);
}

// Lets the event loop run for `ms`, or until interrupted.
void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    const auto watch = watchInterrupt([&loop] { loop.quit(); });
    loop.exec();
}

// A choice given by index or by one of an item's names (any case).
std::optional<int> resolveChoice(const QString& given, const QList<QStringList>& namesByItem)
{
    bool isNumber = false;
    const int n = given.toInt(&isNumber);
    if (isNumber)
        return n >= 0 && n < namesByItem.size() ? std::optional<int>(n) : std::nullopt;
    const QString wanted = given.simplified().toCaseFolded();
    for (int i = 0; i < namesByItem.size(); ++i) {
        for (const QString& name : namesByItem.at(i)) {
            if (name.simplified().toCaseFolded() == wanted)
                return i;
        }
    }
    return std::nullopt;
}

// Each item's keywords and its texts in every model, the port not yet open to
// tell which: the current-output texts (any code but the voltage model's) and
// the voltage model's (code 10).
template <size_t N>
QList<QStringList> itemNames(std::array<const char*, N> ModelOptions::*items,
                             const QList<QStringList>& keywords)
{
    QList<QStringList> names = keywords;
    for (const qint32 model : {0, 10}) {
        for (size_t i = 0; i < N; ++i)
            names[qsizetype(i)] << QString::fromUtf8((optionsForModel(model).*items)[i]);
    }
    return names;
}

// The names each choice is given by, on the command line and in a file:
// the sensor's (and the pressure input's), the texts of every model's items
// and keywords.
QList<QStringList> choiceNames(int slot)
{
    if (slot == Slot::SensorType) {
        QList<QStringList> names;
        for (const SensorRange& sensor : kSensorTypes) {
            const QString name = QString::fromUtf8(sensor.name);
            names << QStringList{name, name.section(u' ', -1)};
        }
        names << QStringList{QString::fromUtf8(kPressureSensorName), QStringLiteral("pressao"),
                             QStringLiteral("pressure")};
        return names;
    }
    if (slot == Slot::SensorError)
        return itemNames(&ModelOptions::sensorErrorItems, {{"none", "nenhum"},
                                                           {"low", "below", "minimo", "mínimo"},
                                                           {"high", "above", "maximo", "máximo"}});
    return itemNames(&ModelOptions::directionItems,
                     {{"rising", "crescente", "direct", "direto"},
                      {"falling", "decrescente", "reverse", "reverso"}});
}

QString refusalLine(const PreparedWrite& p)
{
    if (p.check == WriteCheck::Ready)
        return p.warnings.join(u' ') + QStringLiteral(" Use --force para enviar assim mesmo.");
    QString line = refusalMessage(p.check);
    if (p.check == WriteCheck::NoSelection || p.check == WriteCheck::RangeOutOfSpan) {
        for (const ConfigurationKey& k : kConfigurationKeys) {
            if (k.slot == p.refusedSlot)
                line += QStringLiteral(" (%1)").arg(QString::fromUtf8(k.caption));
        }
    } else if (p.check == WriteCheck::SensorKindDiffers) {
        line += QStringLiteral(" (Tipo de Sensor: Pressão só num transmissor de pressão)");
    }
    return line;
}

// A readable value of a file as its register value: a number in the field's
// unit to tenths, a text to its item (the empty text names none, -1).
std::optional<qint64> readableValue(const ConfigurationKey& k, const QJsonValue& value)
{
    if (k.slot == Slot::ZeroAdjust || k.slot == Slot::RangeLower || k.slot == Slot::RangeUpper) {
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

// The configuration fields of a file `read --json` printed, or one written
// by hand: each field by its register key, its readable key or both, which
// must then agree.
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

// Every configuration register given: the request does not depend on the device.
bool givesEveryField(const ConfigurationEdit& edit)
{
    return std::all_of(std::begin(kConfigurationKeys), std::end(kConfigurationKeys),
                       [&](const ConfigurationKey& k) { return edit.values[size_t(k.slot)]; });
}

// The words of registers 1 to 11 as they go out, each the low 16 bits of its value.
QJsonArray wordsJson(const WriteImage& image)
{
    QJsonArray words;
    for (const qint32 value : image)
        words.append(int(valueToWord(value)));
    return words;
}

// What a dry run shows: the words, and the request as it would go on the line.
int printDryRun(const WriteImage& image, Output& o)
{
    const QByteArray request = link::buildWriteRequest(kSlaveAddress, kWriteFirstRegister,
                                                       kWriteRegisterCount, image.data())
                                   .bytes;
    const QString hex = QString::fromLatin1(request.toHex(' ').toUpper());
    if (o.json) {
        printJson(o.out, QJsonObject{{"firstRegister", kWriteFirstRegister},
                                     {"words", wordsJson(image)},
                                     {"request", hex},
                                     {"sent", false}});
        return kExitOk;
    }
    QStringList words;
    for (const qint32 value : image)
        words << QStringLiteral("%1").arg(valueToWord(value), 4, 16, QChar(u'0')).toUpper();
    o.out << QStringLiteral("Registros %1 a %2: ")
                 .arg(kWriteFirstRegister)
                 .arg(kWriteFirstRegister + kWriteRegisterCount - 1)
          << words.join(u' ') << Qt::endl
          << QStringLiteral("Pedido (%1 bytes): %2").arg(request.size()).arg(hex) << Qt::endl;
    return kExitOk;
}

} // namespace

int listPorts(Output& o)
{
    const QString chosen = link::UsbSerialDriver().portForIndex(0);
    QJsonArray array;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& p : ports) {
        const bool isChosen = p.systemLocation() == chosen;
        if (o.json) {
            QJsonObject entry{{"port", p.systemLocation()},
                              {"description", p.description()},
                              {"deviceIndex0", isChosen}};
            entry["vendorId"] =
                p.hasVendorIdentifier() ? QJsonValue(hexId(p.vendorIdentifier())) : QJsonValue();
            entry["productId"] =
                p.hasProductIdentifier() ? QJsonValue(hexId(p.productIdentifier())) : QJsonValue();
            array.append(entry);
            continue;
        }
        const QString ids = p.hasVendorIdentifier()
                                ? hexId(p.vendorIdentifier()) + u':' + hexId(p.productIdentifier())
                                : QStringLiteral("    -    ");
        o.out
            << (isChosen ? "* " : "  ")
            << QStringLiteral("%1 %2 %3").arg(p.systemLocation(), -20).arg(ids).arg(p.description())
            << Qt::endl;
    }
    if (o.json) {
        printJson(o.out, array);
    } else if (ports.isEmpty()) {
        o.out << "Nenhuma porta serial encontrada." << Qt::endl;
    } else {
        o.out << (chosen.isEmpty()
                      ? QStringLiteral("Nenhum cabo USB-serial FTDI (0403): use --port.")
                      : QStringLiteral("* é a porta que o dispositivo 0 abre."))
              << Qt::endl;
    }
    return kExitOk;
}

int readOnce(CliLink& link, Output& o)
{
    LinkError error;
    RegisterImage image{};
    if (!link.open(&error) || !link.readImage(image, &error)) {
        if (o.json)
            printJson(o.out, errorJson(error));
        return o.fail(error.message, error.isInterruption() ? kExitInterrupted : kExitFailed);
    }
    const ReadingReport report = describeReading(image);
    if (o.json)
        printJson(o.out, reportJson(report));
    else
        printReport(o.out, report);
    return kExitOk;
}

int monitor(CliLink& link, const MonitorOptions& options, Output& o)
{
    // While the port is gone, it is looked for again at most this often.
    constexpr int kReopenPauseMs = 250;
    const bool csv = options.csv && !o.json;
    // One reading's line, row or object, failed ones included; false when
    // it could not be written, which ends the run.
    const auto report = [&](const QString& stamp, const ReadingReport* r, const LinkError& error) {
        if (o.json) {
            QJsonObject entry = r ? reportJson(*r) : errorJson(error);
            entry["timestamp"] = stamp;
            printJson(o.out, entry);
        } else if (csv) {
            o.out << csvField(stamp) << ';' << csvField(r ? r->measured.value : QString()) << ';'
                  << csvField(r ? r->measured.unit : QString()) << ';'
                  << csvField(r ? QString() : error.message) << Qt::endl;
        } else {
            o.out << stamp << "  "
                  << (r ? withUnit(r->measured.value, r->measured.unit) : error.message)
                  << Qt::endl;
        }
        return o.flushed();
    };
    if (csv)
        o.out << "timestamp;measured;unit;error" << Qt::endl;
    LinkError error;
    if (!link.open(&error)) {
        // A port that is not there at the start ends the run; a script still gets its reading.
        if ((o.json || csv) && !report(isoTimestamp(), nullptr, error))
            return o.outputFailure();
        return o.fail(error.message);
    }
    int failures = 0;
    for (int n = 0; (options.count == 0 || n < options.count) && !interrupted(); ++n) {
        QElapsedTimer started;
        started.start();
        const QString stamp = isoTimestamp();
        RegisterImage image{};
        // A port that went away (adapter pulled, simulator restarted) is
        // opened again for the next reading, and readings resume once it is back.
        const bool ok = (link.isOpen() || link.open(&error)) && link.readImage(image, &error);
        if (!ok && error.isInterruption())
            break; // the end asked for: no reading to report
        failures += ok ? 0 : 1;
        const ReadingReport r = ok ? describeReading(image) : ReadingReport{};
        if (!report(stamp, ok ? &r : nullptr, error))
            return o.outputFailure();
        if (options.count != 0 && n + 1 >= options.count)
            break;
        const int interval =
            link.isOpen() ? options.intervalMs : std::max(options.intervalMs, kReopenPauseMs);
        pause(int(std::max<qint64>(0, interval - started.elapsed())));
    }
    if (failures > 0)
        return o.fail(QStringLiteral("%1 leitura(s) falharam").arg(failures));
    return kExitOk;
}

int prepareWrite(const WriteArguments& a, WriteOptions& options, Output& o)
{
    ConfigurationEdit& edit = options.edit;
    if (!a.fromFile.isEmpty()) {
        if (const int status = editFromFile(a.fromFile, edit, o); status != kExitOk)
            return status;
    }
    const QString invalid = refusalMessage(WriteCheck::NoSelection);
    const auto choose = [&](const QString& given, const QList<QStringList>& names, int slot) {
        if (given.isEmpty())
            return true;
        const std::optional<int> index = resolveChoice(given, names);
        if (index)
            edit.values[size_t(slot)] = *index;
        return index.has_value();
    };
    const struct
    {
        const char* option;
        const QString& given;
        int slot;
    } choices[] = {
        {"--sensor", a.sensor, Slot::SensorType},
        {"--fault", a.fault, Slot::SensorError},
        {"--direction", a.direction, Slot::OutputDirection},
    };
    for (const auto& c : choices) {
        if (!choose(c.given, choiceNames(c.slot), c.slot))
            return o.fail(invalid +
                              QStringLiteral(" (%1 %2)").arg(QLatin1String(c.option), c.given),
                          kExitUsage);
    }
    try {
        if (!a.zero.isEmpty()) {
            QString zero = QString(a.zero).replace(u'.', u',');
            // A whole number of degrees is typed without its tenth: 5 is 5,0.
            static const QRegularExpression whole(QStringLiteral("^\\s*[-+]?[0-9]+\\s*$"));
            if (whole.match(zero).hasMatch())
                zero = zero.trimmed() + QStringLiteral(",0");
            if (!isZeroFieldText(zero) && !isZeroFieldText(zero.trimmed()))
                return o.fail(invalid + QStringLiteral(" (--zero %1)").arg(a.zero), kExitUsage);
            QString scratch;
            edit.values[Slot::ZeroAdjust] = zeroAdjustTenths(zero, scratch);
        }
        if (!a.lower.isEmpty())
            edit.values[Slot::RangeLower] = rangeValueTenths(a.lower);
        if (!a.upper.isEmpty())
            edit.values[Slot::RangeUpper] = rangeValueTenths(a.upper);
    } catch (const ConversionError& e) {
        return o.fail(e.message(), kExitUsage);
    }
    if (edit.isEmpty())
        return o.fail(QStringLiteral("nada a escrever: dê --sensor, --zero, --lower, --upper, "
                                     "--fault, --direction ou --from"),
                      kExitUsage);
    const PreparedWrite alone = prepareEditedWrite(edit, nullptr);
    if (alone.check != WriteCheck::Ready || (!alone.warnings.isEmpty() && !options.force))
        return o.fail(refusalLine(alone), kExitUsage);
    return kExitOk;
}

int writeConfiguration(CliLink& link, const WriteOptions& options, Output& o)
{
    if (options.dryRun && givesEveryField(options.edit))
        return printDryRun(prepareEditedWrite(options.edit, nullptr).image, o);
    LineFile recordFile;
    if (!options.recordFile.isEmpty() && !options.dryRun && !recordFile.open(options.recordFile))
        return o.fail(
            QStringLiteral("--record: %1: %2").arg(options.recordFile, recordFile.errorText()),
            kExitUsage);
    QJsonObject record{{"time", isoTimestamp()}, {"port", link.portName()}};
    // Every attempt ends here: its record line on the disk first, then its
    // report (`result` for --json, `lines` for people) and status, so nothing
    // is reported that the record does not hold.
    const auto finish = [&](int status, const LinkError& e, const QJsonObject& result = {},
                            const QStringList& lines = {}) {
        record["outcome"] = e.code;
        if (!e.message.isEmpty())
            record["error"] = e.message;
        if (!e.fault.isEmpty())
            record["fault"] = e.fault;
        if (recordFile.isOpen() &&
            !(recordFile.appendLine(QJsonDocument(record).toJson(QJsonDocument::Compact)) &&
              recordFile.close())) {
            const LinkError lost{
                QStringLiteral("--record: não foi possível gravar em %1: %2; %3")
                    .arg(options.recordFile, recordFile.errorText(),
                         status == kExitOk
                             ? QStringLiteral("a configuração foi enviada e confirmada, mas "
                                              "esta tentativa não ficou registrada")
                             : QStringLiteral("esta tentativa, que falhou (%1), não ficou "
                                              "registrada")
                                   .arg(e.message)),
                QStringLiteral("record-failed"),
                {}};
            if (o.json)
                printJson(o.out, errorJson(lost));
            return o.fail(lost.message);
        }
        if (o.json)
            printJson(o.out, result.isEmpty() ? errorJson(e) : result);
        for (const QString& line : lines)
            o.out << line << Qt::endl;
        return status == kExitOk ? status : o.fail(e.message, status);
    };

    // A signal ends the write at its next step, never in the middle of one.
    const LinkError nothingSent{
        QStringLiteral("interrompido: nada foi enviado"), interruptedError().code, {}};
    LinkError error;
    RegisterImage current{};
    if (!link.open(&error) || !link.readImage(current, &error))
        return error.isInterruption() ? finish(kExitInterrupted, nothingSent)
                                      : finish(kExitFailed, error);
    const ReadingReport before = describeReading(current);
    record["model"] = before.model;
    record["firmware"] = before.firmwareHundredths / 100.0;
    record["before"] = reportJson(before);

    // Another sensor chosen without its range takes that sensor's own range,
    // as the window loads it when its choice moves to another item.
    ConfigurationEdit edit = options.edit;
    const std::optional<qint64> sensorGiven = edit.values[Slot::SensorType];
    if (const SensorRange* sensor = sensorGiven ? sensorRangeFor(int(*sensorGiven)) : nullptr;
        sensor && *sensorGiven != current[Slot::SensorType]) {
        QStringList taken;
        if (!edit.values[Slot::RangeLower]) {
            edit.values[Slot::RangeLower] = sensor->lowest * 10;
            taken << QStringLiteral("V. Mín. %1").arg(sensor->lowest);
        }
        if (!edit.values[Slot::RangeUpper]) {
            edit.values[Slot::RangeUpper] = sensor->highest * 10;
            taken << QStringLiteral("V. Máx. %1").arg(sensor->highest);
        }
        if (!taken.isEmpty() && !o.json)
            o.out << QStringLiteral("Faixa do %1: %2 °C.")
                         .arg(QString::fromUtf8(sensor->name), taken.join(QStringLiteral(", ")))
                  << Qt::endl;
    }
    const PreparedWrite prepared = prepareEditedWrite(edit, &current);
    if (prepared.check != WriteCheck::Ready || (!prepared.warnings.isEmpty() && !options.force))
        return finish(kExitUsage, {refusalLine(prepared), QStringLiteral("refused"), {}});
    const WriteImage& image = prepared.image;
    if (options.dryRun)
        return printDryRun(image, o);
    const QJsonArray words = wordsJson(image);
    QJsonObject sent{{"firstRegister", kWriteFirstRegister}, {"words", words}};
    for (const ConfigurationKey& k : kConfigurationKeys)
        sent[QLatin1String(k.key)] = image[size_t(k.slot)];
    if (interrupted())
        return finish(kExitInterrupted, nothingSent);
    record["sent"] = sent;
    WriteReport report;
    if (!link.writeAndReadBack(image, report, &error) && !report.echoed()) {
        // A request the line never took (a refused send, a busy line, an
        // interruption before it went out) is not recorded as sent.
        const bool neverSent = error.isInterruption() ||
                               error.code == QLatin1String("send-failed") ||
                               error.code == QLatin1String("line-busy");
        if (neverSent)
            record.remove(QStringLiteral("sent"));
        if (!error.isInterruption())
            return finish(kExitFailed, error);
        return finish(kExitInterrupted, nothingSent);
    }
    if (report.outcome == WriteOutcome::ReadBackFailed) {
        if (error.isInterruption())
            return finish(kExitInterrupted,
                          {QStringLiteral("interrompido: a configuração foi enviada e confirmada "
                                          "pelo transmissor, mas não foi relida"),
                           error.code,
                           {}});
        error.message.prepend(QStringLiteral("configuração confirmada, mas a releitura falhou: "));
        error.code = QStringLiteral("read-back-failed");
        return finish(kExitFailed, error);
    }
    const ReadingReport after = describeReading(report.readBack);
    record["readBack"] = reportJson(after);
    QJsonArray differences;
    QStringList lines;
    for (const ConfigurationKey& k : kConfigurationKeys) {
        const auto differs =
            std::find_if(report.differences.begin(), report.differences.end(),
                         [&](const WriteDifference& d) { return d.slot == k.slot; });
        if (differs == report.differences.end())
            continue;
        differences.append(
            QJsonObject{{"field", k.key}, {"written", differs->written}, {"read", differs->read}});
        lines << QStringLiteral("Diferença em %1: enviado %2, lido %3")
                     .arg(QString::fromUtf8(k.caption),
                          fieldText(k.slot, differs->written, *after.modelOptions),
                          fieldText(k.slot, differs->read, *after.modelOptions));
    }
    record["differences"] = differences;
    const QJsonObject result{{"firstRegister", kWriteFirstRegister},
                             {"words", words},
                             {"sent", true},
                             {"confirmed", true},
                             {"readBackMatches", differences.isEmpty()},
                             {"differences", differences}};
    if (o.json)
        lines.clear();
    if (!differences.isEmpty())
        return finish(kExitFailed,
                      {QStringLiteral("a releitura difere do que foi enviado"),
                       QStringLiteral("read-back-differs"),
                       {}},
                      result, lines);
    if (!o.json)
        lines << QStringLiteral("Enviado... configuração confirmada e relida.");
    return finish(kExitOk, {{}, QStringLiteral("ok"), {}}, result, lines);
}

int simulate(const SimulateOptions& options, Output& o)
{
    sim::TransmitterModel device;
    device.setDrift(options.drift);
    sim::PtyServer server(device);
    if (options.turnaroundMs >= 0)
        server.setTurnaroundMs(options.turnaroundMs);
    server.setNoise(options.noiseMs);
    if (!options.fault.isEmpty()) {
        const QString name = options.fault.section(u':', 0, 0);
        sim::Fault fault{};
        if (!sim::faultFromName(name, fault))
            return o.fail(QStringLiteral("falha desconhecida '%1'; conhecidas: %2")
                              .arg(name, sim::lineFaultNames().join(u' ')),
                          kExitUsage);
        // Started anyway, it would answer normally under a fault's name.
        if (sim::isDriverFault(fault))
            return o.fail(QStringLiteral("a falha %1 não se aplica ao pseudo-terminal; "
                                         "as que se aplicam: %2")
                              .arg(name, sim::lineFaultNames().join(u' ')),
                          kExitUsage);
        bool ok = true;
        const int code =
            options.fault.contains(u':') ? options.fault.section(u':', 1).toInt(&ok) : 4;
        if (!ok || code < 1 || code > 255)
            return o.fail(QStringLiteral("código de exceção inválido em '%1'").arg(options.fault),
                          kExitUsage);
        server.setFault(fault, code);
    }
    QString error;
    if (!server.start(&error))
        return o.fail(QStringLiteral("não foi possível criar o pseudo-terminal: ") +
                      systemErrorText(errorNumberOfText(error)));
    // Declared after the server: the link goes before its pseudo-terminal does.
    OwnedLink link;
    if (!options.linkPath.isEmpty() && !link.create(options.linkPath, server.devicePath(), &error))
        return o.fail(error, kExitUsage);
    if (o.json) {
        printJson(o.out, QJsonObject{{"device", server.devicePath()},
                                     {"link", options.linkPath},
                                     {"slave", 1},
                                     {"fault", options.fault}});
    } else {
        o.out << "Transmissor virtual (escravo 1, 9600 8N1) em " << server.devicePath() << Qt::endl;
        if (!options.linkPath.isEmpty())
            o.out << "Link: " << options.linkPath << Qt::endl;
        o.out << "Ctrl-C encerra." << Qt::endl;
    }
    if (!o.flushed())
        return o.outputFailure();
    const auto watch = watchInterrupt([] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    return kExitOk;
}

} // namespace quorva::cli
