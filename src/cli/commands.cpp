#include "commands.h"

#include "cli/interrupt.h"
#include "cli/ownedlink.h"
#include "link/usbserialdriver.h"
#include "sim/ptyserver.h"
#include "transmitter/numberformat.h"
#include "transmitter/reading.h"
#include "transmitter/sensortable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <QTimer>
#include <cmath>
#include <optional>

namespace quorva::cli {

using namespace transmitter;

int Output::fail(const QString& message, int status)
{
    err << "quorva-cli: " << message << Qt::endl;
    return status;
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
// and `write --from` takes them: register values, exact.
struct ConfigurationKey
{
    const char* key;
    const char* caption;
    int slot;
};
constexpr ConfigurationKey kConfigurationKeys[] = {
    {"zeroAdjustTenths", "Zero", Slot::ZeroAdjust},
    {"sensorTypeIndex", "Tipo de Sensor", Slot::SensorType},
    {"rangeLowerTenths", "V. Mín.", Slot::RangeLower},
    {"rangeUpperTenths", "V. Máx.", Slot::RangeUpper},
    {"sensorErrorIndex", "Erro do Sensor", Slot::SensorError},
    {"outputDirectionIndex", "Sinal de Saída", Slot::OutputDirection},
};

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
    line(measuredCaption(r.measured), withUnit(r.measured.value, r.measured.unit));
}

// Lets the event loop run for `ms`, or until interrupted.
void pause(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!interrupted() && t.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(std::min<qint64>(50, ms - t.elapsed()), &loop, &QEventLoop::quit);
        loop.exec();
    }
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
    }
    return line;
}

// The configuration fields of a file `read --json` printed.
int editFromFile(const QString& path, ConfigurationEdit& edit, Output& o)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return o.fail(QStringLiteral("--from: não foi possível ler %1").arg(path), kExitUsage);
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject())
        return o.fail(
            QStringLiteral("--from: %1 não é o JSON de 'quorva-cli read --json'").arg(path),
            kExitUsage);
    bool any = false;
    for (const ConfigurationKey& k : kConfigurationKeys) {
        const QJsonValue value = doc.object().value(QLatin1String(k.key));
        if (value.isUndefined())
            continue;
        const double number = value.toDouble(0.5);
        if (!value.isDouble() || number != std::trunc(number) || std::abs(number) > 1e9)
            return o.fail(QStringLiteral("--from: %1 em %2 não é um número inteiro")
                              .arg(QLatin1String(k.key), path),
                          kExitUsage);
        edit.values[size_t(k.slot)] = qint64(number);
        any = true;
    }
    if (!any)
        return o.fail(QStringLiteral("--from: %1 não tem campos de configuração "
                                     "(zeroAdjustTenths, sensorTypeIndex...)")
                          .arg(path),
                      kExitUsage);
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
    if (!link.open(&error) || !link.readImage(image, &error))
        return o.fail(error.message);
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
    LinkError error;
    if (!link.open(&error))
        return o.fail(error.message);
    if (options.csv)
        o.out << "timestamp;measured;unit;error" << Qt::endl;
    int failures = 0;
    for (int n = 0; (options.count == 0 || n < options.count) && !interrupted(); ++n) {
        QElapsedTimer started;
        started.start();
        const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
        RegisterImage image{};
        // A port that went away (adapter pulled, simulator restarted) is
        // opened again for the next reading, and readings resume once it is back.
        const bool ok = (link.isOpen() || link.open(&error)) && link.readImage(image, &error);
        failures += ok ? 0 : 1;
        const ReadingReport r = ok ? describeReading(image) : ReadingReport{};
        if (o.json) {
            QJsonObject entry = ok ? reportJson(r) : errorJson(error);
            entry["timestamp"] = stamp;
            printJson(o.out, entry);
        } else if (options.csv) {
            o.out << stamp << ';' << (ok ? r.measured.value : QString()) << ';'
                  << (ok ? r.measured.unit : QString()) << ';' << (ok ? QString() : error.message)
                  << Qt::endl;
        } else {
            o.out << stamp << "  "
                  << (ok ? withUnit(r.measured.value, r.measured.unit) : error.message) << Qt::endl;
        }
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
    QList<QStringList> sensorNames;
    for (const SensorRange& sensor : kSensorTypes) {
        const QString name = QString::fromUtf8(sensor.name);
        sensorNames << QStringList{name, name.section(u' ', -1)};
    }
    const struct
    {
        const char* option;
        const QString& given;
        QList<QStringList> names;
        int slot;
    } choices[] = {
        {"--sensor", a.sensor, sensorNames, Slot::SensorType},
        {"--fault", a.fault,
         itemNames(&ModelOptions::sensorErrorItems, {{"none", "nenhum"},
                                                     {"low", "below", "minimo", "mínimo"},
                                                     {"high", "above", "maximo", "máximo"}}),
         Slot::SensorError},
        {"--direction", a.direction,
         itemNames(&ModelOptions::directionItems,
                   {{"rising", "crescente", "direct", "direto"},
                    {"falling", "decrescente", "reverse", "reverso"}}),
         Slot::OutputDirection},
    };
    for (const auto& c : choices) {
        if (!choose(c.given, c.names, c.slot))
            return o.fail(invalid +
                              QStringLiteral(" (%1 %2)").arg(QLatin1String(c.option), c.given),
                          kExitUsage);
    }
    try {
        if (!a.zero.isEmpty()) {
            const QString zero = QString(a.zero).replace(u'.', u',');
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
    QFile recordFile(options.recordFile);
    if (!options.recordFile.isEmpty() && !options.dryRun &&
        !recordFile.open(QIODevice::WriteOnly | QIODevice::Append))
        return o.fail(QStringLiteral("--record: não foi possível abrir %1").arg(options.recordFile),
                      kExitUsage);
    QJsonObject record{{"time", QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
                       {"port", link.portName()}};
    // Every attempt ends here: its record line, then the status.
    const auto finish = [&](int status, const LinkError& e) {
        record["outcome"] = e.code;
        if (!e.message.isEmpty())
            record["error"] = e.message;
        if (!e.fault.isEmpty())
            record["fault"] = e.fault;
        if (recordFile.isOpen()) {
            recordFile.write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
            recordFile.flush();
        }
        return status == kExitOk ? status : o.fail(e.message, status);
    };

    LinkError error;
    RegisterImage current{};
    if (!link.open(&error) || !link.readImage(current, &error))
        return finish(kExitFailed, error);
    const ReadingReport before = describeReading(current);
    record["model"] = before.model;
    record["firmware"] = before.firmwareHundredths / 100.0;
    record["before"] = reportJson(before);

    const PreparedWrite prepared = prepareEditedWrite(options.edit, &current);
    if (prepared.check != WriteCheck::Ready || (!prepared.warnings.isEmpty() && !options.force))
        return finish(kExitUsage, {refusalLine(prepared), QStringLiteral("refused"), {}});
    const WriteImage& image = prepared.image;

    // The words of registers 1 to 11 as they go out, each the low 16 bits of its value.
    QJsonArray words;
    QStringList wordTexts;
    for (const qint32 value : image) {
        words.append(int(valueToWord(value)));
        wordTexts << QStringLiteral("%1").arg(valueToWord(value), 4, 16, QChar(u'0')).toUpper();
    }
    if (options.dryRun) {
        if (o.json)
            printJson(o.out, QJsonObject{{"firstRegister", kWriteFirstRegister},
                                         {"words", words},
                                         {"sent", false}});
        else
            o.out << QStringLiteral("Registros %1 a %2: ")
                         .arg(kWriteFirstRegister)
                         .arg(kWriteFirstRegister + kWriteRegisterCount - 1)
                  << wordTexts.join(u' ') << Qt::endl;
        return kExitOk;
    }
    QJsonObject sent{{"firstRegister", kWriteFirstRegister}, {"words", words}};
    for (const ConfigurationKey& k : kConfigurationKeys)
        sent[QLatin1String(k.key)] = image[size_t(k.slot)];
    record["sent"] = sent;
    if (!link.writeImage(image, &error))
        return finish(kExitFailed, error);

    RegisterImage readBack{};
    if (!link.readImage(readBack, &error)) {
        error.message.prepend(QStringLiteral("configuração confirmada, mas a releitura falhou: "));
        error.code = QStringLiteral("read-back-failed");
        return finish(kExitFailed, error);
    }
    record["readBack"] = reportJson(describeReading(readBack));
    QJsonArray differences;
    for (const ConfigurationKey& k : kConfigurationKeys) {
        if (slotReadsBack(image, readBack, k.slot))
            continue;
        const qint32 written = wordToValue(valueToWord(image[size_t(k.slot)]));
        const qint32 read = readBack[size_t(k.slot)];
        differences.append(QJsonObject{{"field", k.key}, {"written", written}, {"read", read}});
        if (!o.json)
            o.out << QStringLiteral("Diferença em %1: enviado %2, lido %3")
                         .arg(QString::fromUtf8(k.caption))
                         .arg(written)
                         .arg(read)
                  << Qt::endl;
    }
    record["differences"] = differences;
    if (o.json)
        printJson(o.out, QJsonObject{{"firstRegister", kWriteFirstRegister},
                                     {"words", words},
                                     {"sent", true},
                                     {"confirmed", true},
                                     {"readBackMatches", differences.isEmpty()},
                                     {"differences", differences}});
    if (!differences.isEmpty())
        return finish(kExitFailed, {QStringLiteral("a releitura difere do que foi enviado"),
                                    QStringLiteral("read-back-differs"),
                                    {}});
    if (!o.json)
        o.out << "Enviado... configuração confirmada e relida." << Qt::endl;
    return finish(kExitOk, {{}, QStringLiteral("ok"), {}});
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
                              .arg(name, sim::faultNames().join(u' ')),
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
        return o.fail(QStringLiteral("não foi possível criar o pseudo-terminal: ") + error);
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
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (interrupted())
            QCoreApplication::quit();
    });
    watch.start(50);
    QCoreApplication::exec();
    return kExitOk;
}

} // namespace quorva::cli
