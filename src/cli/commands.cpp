#include "commands.h"

#include "cli/interrupt.h"
#include "link/usbserialdriver.h"
#include "sim/ptyserver.h"
#include "transmitter/configwrite.h"
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

QJsonObject reportJson(const ReadingReport& r)
{
    return {
        {"model", r.model},
        {"modelCode", r.modelCode},
        {"firmware", r.firmware},
        {"firmwareHundredths", r.firmwareHundredths},
        {"sensorType", r.sensorType},
        {"sensorTypeIndex", r.sensorTypeIndex},
        {"zeroAdjust", r.zeroAdjust},
        {"zeroAdjustTenths", r.zeroTenths},
        {"rangeLower", r.rangeLower},
        {"rangeLowerTenths", r.lowerTenths},
        {"rangeUpper", r.rangeUpper},
        {"rangeUpperTenths", r.upperTenths},
        {"sensorError", r.sensorError},
        {"sensorErrorIndex", r.sensorErrorIndex},
        {"outputDirection", r.outputDirection},
        {"outputDirectionIndex", r.outputDirectionIndex},
        {"measuredValue", r.measured.value},
        {"measuredRaw", r.measuredRaw},
        {"unit", r.measured.unit},
    };
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

// A choice given by index, by its text (any case) or by one of its keywords.
bool resolveChoice(const QString& given, const QStringList& texts,
                   const QList<QStringList>& keywords, int& index)
{
    bool isNumber = false;
    const int n = given.toInt(&isNumber);
    if (isNumber) {
        index = n;
        return n >= 0 && n < texts.size();
    }
    const QString wanted = given.trimmed().toCaseFolded();
    for (int i = 0; i < texts.size(); ++i) {
        if (texts.at(i).simplified().toCaseFolded() == wanted.simplified() ||
            (i < keywords.size() && keywords.at(i).contains(wanted))) {
            index = i;
            return true;
        }
    }
    return false;
}

template <size_t N> QStringList textsOf(const std::array<const char*, N>& items)
{
    QStringList texts;
    for (const char* item : items)
        texts << QString::fromUtf8(item);
    return texts;
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
    QString error;
    RegisterImage image{};
    if (!link.open(&error) || !link.readImage(image, &error))
        return o.fail(error);
    const ReadingReport report = describeReading(image);
    if (o.json)
        printJson(o.out, reportJson(report));
    else
        printReport(o.out, report);
    return kExitOk;
}

int monitor(CliLink& link, const MonitorOptions& options, Output& o)
{
    QString error;
    if (!link.open(&error))
        return o.fail(error);
    if (options.csv)
        o.out << "timestamp;measured;unit;error" << Qt::endl;
    int failures = 0;
    for (int n = 0; (options.count == 0 || n < options.count) && !interrupted(); ++n) {
        QElapsedTimer started;
        started.start();
        const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
        RegisterImage image{};
        const bool ok = link.readImage(image, &error);
        failures += ok ? 0 : 1;
        const ReadingReport r = ok ? describeReading(image) : ReadingReport{};
        if (o.json) {
            QJsonObject entry = ok ? reportJson(r) : QJsonObject{{"error", error}};
            entry["timestamp"] = stamp;
            printJson(o.out, entry);
        } else if (options.csv) {
            o.out << stamp << ';' << (ok ? r.measured.value : QString()) << ';'
                  << (ok ? r.measured.unit : QString()) << ';' << (ok ? QString() : error)
                  << Qt::endl;
        } else {
            o.out << stamp << "  " << (ok ? withUnit(r.measured.value, r.measured.unit) : error)
                  << Qt::endl;
        }
        if (options.count == 0 || n + 1 < options.count)
            pause(int(std::max<qint64>(0, options.intervalMs - started.elapsed())));
    }
    return failures == 0 ? kExitOk : o.fail(QStringLiteral("%1 leitura(s) falharam").arg(failures));
}

int writeConfiguration(CliLink& link, const WriteOptions& options, Output& o)
{
    QString error;
    RegisterImage current{};
    if (!link.open(&error) || !link.readImage(current, &error))
        return o.fail(error);

    // Start from what the window would show, then apply what was given.
    const ReadingReport shown = describeReading(current);
    const ModelOptions& model = optionsForModel(current[Slot::ModelCode]);
    ConfigurationFields fields{shown.zeroAdjust,       shown.rangeLower,
                               shown.rangeUpper,       shown.sensorTypeIndex,
                               shown.sensorErrorIndex, shown.outputDirectionIndex};
    const QString invalid = refusalMessage(WriteCheck::EmptyField);
    if (!options.sensor.isEmpty()) {
        QList<QStringList> shortNames;
        for (const SensorRange& s : kSensorTypes)
            shortNames << QStringList{QString::fromUtf8(s.name).section(u' ', -1).toCaseFolded()};
        if (!resolveChoice(options.sensor, sensorTypeNames(), shortNames, fields.sensorType))
            return o.fail(invalid + QStringLiteral(" (--sensor ") + options.sensor + u')');
    }
    if (!options.fault.isEmpty() && !resolveChoice(options.fault, textsOf(model.sensorErrorItems),
                                                   {{"none", "nenhum"},
                                                    {"low", "below", "minimo", "mínimo"},
                                                    {"high", "above", "maximo", "máximo"}},
                                                   fields.sensorError))
        return o.fail(invalid + QStringLiteral(" (--fault ") + options.fault + u')');
    if (!options.direction.isEmpty() &&
        !resolveChoice(options.direction, textsOf(model.directionItems),
                       {{"rising", "crescente", "direct", "direto"},
                        {"falling", "decrescente", "reverse", "reverso"}},
                       fields.outputDirection))
        return o.fail(invalid + QStringLiteral(" (--direction ") + options.direction + u')');
    if (!options.zero.isEmpty()) {
        fields.zeroText = QString(options.zero).replace(u'.', u',');
        if (!isZeroFieldText(fields.zeroText) && !isZeroFieldText(fields.zeroText.trimmed()))
            return o.fail(invalid + QStringLiteral(" (--zero ") + options.zero + u')');
    }
    if (!options.lower.isEmpty())
        fields.lowerText = options.lower;
    if (!options.upper.isEmpty())
        fields.upperText = options.upper;

    WriteImage image{};
    QString scratch;
    WriteCheck check = WriteCheck::Ready;
    try {
        check = prepareConfigurationWrite(fields, image, scratch);
    } catch (const ConversionError& e) {
        return o.fail(e.message());
    }
    if (check != WriteCheck::Ready)
        return o.fail(refusalMessage(check));

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
    if (!link.writeImage(image, &error))
        return o.fail(error);

    RegisterImage readBack{};
    if (!link.readImage(readBack, &error))
        return o.fail(QStringLiteral("configuração confirmada, mas a releitura falhou: ") + error);
    struct Field
    {
        const char* key;
        const char* caption;
        int slot;
    };
    constexpr Field written[] = {
        {"zeroAdjustTenths", "Zero", Slot::ZeroAdjust},
        {"sensorTypeIndex", "Tipo de Sensor", Slot::SensorType},
        {"rangeLowerTenths", "V. Mín.", Slot::RangeLower},
        {"rangeUpperTenths", "V. Máx.", Slot::RangeUpper},
        {"sensorErrorIndex", "Erro do Sensor", Slot::SensorError},
        {"outputDirectionIndex", "Sinal de Saída", Slot::OutputDirection},
    };
    QJsonArray differences;
    for (const Field& f : written) {
        // Compared as the register reads back: the word, read as the window reads it.
        const qint32 sent = wordToValue(valueToWord(image[size_t(f.slot)]));
        const qint32 read = readBack[size_t(f.slot)];
        if (sent == read)
            continue;
        differences.append(QJsonObject{{"field", f.key}, {"written", sent}, {"read", read}});
        if (!o.json)
            o.out << QStringLiteral("Diferença em %1: enviado %2, lido %3")
                         .arg(QString::fromUtf8(f.caption))
                         .arg(sent)
                         .arg(read)
                  << Qt::endl;
    }
    if (o.json)
        printJson(o.out, QJsonObject{{"firstRegister", kWriteFirstRegister},
                                     {"words", words},
                                     {"sent", true},
                                     {"confirmed", true},
                                     {"readBackMatches", differences.isEmpty()},
                                     {"differences", differences}});
    if (!differences.isEmpty())
        return o.fail(QStringLiteral("a releitura difere do que foi enviado"));
    if (!o.json)
        o.out << "Enviado... configuração confirmada e relida." << Qt::endl;
    return kExitOk;
}

int simulate(const SimulateOptions& options, Output& o)
{
    sim::TransmitterModel device;
    device.setDrift(options.drift);
    sim::PtyServer server(device);
    if (options.turnaroundMs >= 0)
        server.setTurnaroundMs(options.turnaroundMs);
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
    if (!options.linkPath.isEmpty()) {
        QFile::remove(options.linkPath);
        if (!QFile::link(server.devicePath(), options.linkPath))
            return o.fail(QStringLiteral("não foi possível criar o link ") + options.linkPath);
    }
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
    if (!options.linkPath.isEmpty())
        QFile::remove(options.linkPath);
    return kExitOk;
}

} // namespace quorva::cli
