#include "commands.h"

#include "cli/choices.h"
#include "cli/interrupt.h"
#include "cli/jsonschema.h"
#include "cli/writerecord.h"
#include "link/modbusframe.h"
#include "transmitter/numberformat.h"
#include "transmitter/sensortable.h"
#include "transmitter/writeprocedure.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <algorithm>

namespace quorva::cli {

using namespace transmitter;

namespace {

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

int prepareWrite(const WriteArguments& a, WriteOptions& options, Output& o)
{
    // Refused before the port is opened: said, with --json, as a refusal
    // after reading the device is.
    const auto refuse = [&o](const QString& line) {
        if (o.json)
            printJson(o.out, errorJson({line, QStringLiteral("refused"), {}}));
        return o.fail(line, kExitUsage);
    };
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
            return refuse(invalid +
                          QStringLiteral(" (%1 %2)").arg(QLatin1String(c.option), c.given));
    }
    try {
        if (!a.zero.isEmpty()) {
            QString zero = QString(a.zero).replace(u'.', u',');
            // A whole number of degrees is typed without its tenth: 5 is 5,0.
            static const QRegularExpression whole(QStringLiteral("^\\s*[-+]?[0-9]+\\s*$"));
            if (whole.match(zero).hasMatch())
                zero = zero.trimmed() + QStringLiteral(",0");
            if (!isZeroFieldText(zero) && !isZeroFieldText(zero.trimmed()))
                return refuse(invalid + QStringLiteral(" (--zero %1)").arg(a.zero));
            QString scratch;
            edit.values[Slot::ZeroAdjust] = zeroAdjustTenths(zero, scratch);
        }
        if (!a.lower.isEmpty())
            edit.values[Slot::RangeLower] = rangeValueTenths(a.lower);
        if (!a.upper.isEmpty())
            edit.values[Slot::RangeUpper] = rangeValueTenths(a.upper);
    } catch (const ConversionError& e) {
        return refuse(e.message());
    }
    if (edit.isEmpty())
        return refuse(QStringLiteral("nada a escrever: dê --sensor, --zero, --lower, --upper, "
                                     "--fault, --direction ou --from"));
    const PreparedWrite alone = prepareEditedWrite(edit, nullptr);
    if (alone.check != WriteCheck::Ready || (!alone.warnings.isEmpty() && !options.force))
        return refuse(refusalLine(alone));
    return kExitOk;
}

int writeConfiguration(CliLink& link, const WriteOptions& options, Output& o)
{
    if (options.dryRun && givesEveryField(options.edit))
        return printDryRun(prepareEditedWrite(options.edit, nullptr).image, o);
    WriteRecord record;
    if (!options.recordFile.isEmpty() && !options.dryRun && !record.open(options.recordFile))
        return o.fail(
            QStringLiteral("--record: %1: %2").arg(options.recordFile, record.errorText()),
            kExitUsage);
    return writeAttempt(link, options, record, o);
}

int writeAttempt(CliLink& link, const WriteOptions& options, WriteRecord& record, Output& o)
{
    record.begin(link.portName());
    // Every attempt ends here: its record line on the disk first, then its
    // report (`result` for --json, `lines` for people) and status, so nothing
    // is reported that the record does not hold.
    const auto finish = [&](int status, const LinkError& e, const QJsonObject& result = {},
                            const QStringList& lines = {}) {
        if (!record.finish(e)) {
            const LinkError lost{
                QStringLiteral("--record: não foi possível gravar em %1: %2; %3")
                    .arg(options.recordFile, record.errorText(),
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
    // A campaign finds the transmitter on a port it already holds open.
    if (!(link.isOpen() || link.open(&error)) || !link.readImage(current, &error))
        return error.isInterruption() ? finish(kExitInterrupted, nothingSent)
                                      : finish(kExitFailed, error);
    const ReadingReport before = describeReading(current);
    record.set(QStringLiteral("model"), before.model);
    record.set(QStringLiteral("firmware"), before.firmwareHundredths / 100.0);
    record.set(QStringLiteral("before"), reportJson(before));

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
    record.set(QStringLiteral("sent"), sent);
    WriteReport report;
    if (!link.writeAndReadBack(image, report, &error) && !report.echoed()) {
        // A request the line never took (a refused send, a busy line, an
        // interruption before it went out) is not recorded as sent.
        const bool neverSent = error.isInterruption() || report.result.neverSent();
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
    record.set(QStringLiteral("readBack"), reportJson(after));
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
    record.set(QStringLiteral("differences"), differences);
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

} // namespace quorva::cli
