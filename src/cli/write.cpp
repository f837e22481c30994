#include "commands.h"

#include "cli/interrupt.h"
#include "cli/jsonschema.h"
#include "cli/writerecord.h"
#include "link/modbusframe.h"
#include "transmitter/configfields.h"
#include "transmitter/sensortable.h"
#include "transmitter/writeprocedure.h"

#include <QJsonArray>
#include <algorithm>

namespace quorva::cli {

using namespace transmitter;

namespace {

// A field refused, as the command line says it: beside the words, the
// option as given or the field, where the words do not name them.
QString fieldRefusalLine(const FieldRefusal& r, const FieldTexts& given)
{
    const ConfigurationField* field = fieldOfSlot(r.slot);
    switch (r.reason) {
    case WriteCheck::NotUnderstood:
        // A range value's conversion names its text itself; the option, not.
        if (field && field->format == FieldFormat::WholeDegrees)
            return r.words + QStringLiteral(" (--%1)").arg(QLatin1String(field->option));
        if (field)
            return r.words + QStringLiteral(" (--%1 %2)")
                                 .arg(QLatin1String(field->option), given.at(size_t(r.slot)));
        return r.words;
    case WriteCheck::NoSelection:
    case WriteCheck::RangeOutOfSpan:
        return field ? r.words + QStringLiteral(" (%1)").arg(QString::fromUtf8(field->caption))
                     : r.words;
    case WriteCheck::SensorKindDiffers:
        return r.words +
               QStringLiteral(" (%1: %2 só num transmissor de pressão)")
                   .arg(fieldCaption(Slot::SensorType), QString::fromUtf8(kPressureSensorName));
    default:
        return r.words;
    }
}

// The one line a refused configuration gets: the first refusal, or the
// sensor's limits crossed and the way to send them anyway.
QString refusalLine(const PreparedWrite& p, const FieldTexts& given = {})
{
    if (const FieldRefusal* refused = p.firstRefusal())
        return fieldRefusalLine(*refused, given);
    return p.limitsCrossed().join(u' ') + QStringLiteral(" Use --force para enviar assim mesmo.");
}

QString argumentsRefusalLine(const ArgumentsVerdict& v, const WriteArguments& a)
{
    switch (v.refusal) {
    case ArgumentsVerdict::Refusal::FromFile:
        return v.fileRefusal;
    case ArgumentsVerdict::Refusal::NothingToWrite:
        return QStringLiteral("nada a escrever: dê --sensor, --zero, --lower, --upper, --fault, "
                              "--direction ou --from");
    case ArgumentsVerdict::Refusal::Fields:
    case ArgumentsVerdict::Refusal::None:
        break;
    }
    return refusalLine(v.fields, a.fields);
}

// Every configuration register given: the request does not depend on the device.
bool givesEveryField(const ConfigurationEdit& edit)
{
    return std::all_of(std::begin(kConfigurationFields), std::end(kConfigurationFields),
                       [&](const ConfigurationField& f) { return edit.values[size_t(f.slot)]; });
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

// Another sensor chosen without its range takes that sensor's own range,
// as the window loads it when its choice moves to another item.
std::optional<TakenRange> takeSensorRange(ConfigurationEdit& edit, const RegisterImage& device)
{
    const std::optional<qint64> sensorGiven = edit.values[Slot::SensorType];
    const SensorRange* sensor = sensorGiven ? sensorRangeFor(int(*sensorGiven)) : nullptr;
    if (!sensor || *sensorGiven == device[Slot::SensorType])
        return std::nullopt;
    TakenRange taken{int(*sensorGiven), {}, {}};
    if (!edit.values[Slot::RangeLower]) {
        taken.lowerTenths = sensor->lowest * 10;
        edit.values[Slot::RangeLower] = *taken.lowerTenths;
    }
    if (!edit.values[Slot::RangeUpper]) {
        taken.upperTenths = sensor->highest * 10;
        edit.values[Slot::RangeUpper] = *taken.upperTenths;
    }
    if (!taken.lowerTenths && !taken.upperTenths)
        return std::nullopt;
    return taken;
}

// A choice given by a model's own text names its item only on a model that
// offers that text; the first one given otherwise, said.
QString modelTextRefusal(const ConfigurationEdit& edit, const ReadingReport& device)
{
    for (const ConfigurationField& f : kConfigurationFields) {
        const QString& given = edit.choiceTexts[size_t(f.slot)];
        const std::optional<qint64>& value = edit.values[size_t(f.slot)];
        if (given.isEmpty() || !value || !device.modelOptions ||
            modelTakes(f, given, int(*value), *device.modelOptions))
            continue;
        return QStringLiteral("'%1' não é uma opção do %2 (%3: %4)")
            .arg(given, device.model.isEmpty() ? QStringLiteral("transmissor") : device.model,
                 QString::fromUtf8(f.caption), modelItemsText(f, *device.modelOptions));
    }
    return {};
}

// Every attempt ends here: its record line on the disk before it is reported.
WriteAttempt finishAttempt(WriteAttempt attempt, WriteRecord& record, const LinkError& e)
{
    attempt.outcome = e.outcome;
    attempt.message = e.message;
    attempt.fault = e.fault;
    if (!record.finish(e)) {
        attempt.recordFile = record.path();
        attempt.recordError = record.errorText();
    }
    return attempt;
}

// A signal ends the write at its next step, never in the middle of one.
LinkError nothingSent()
{
    return {QStringLiteral("interrompido: nada foi enviado"), Outcome::Interrupted, {}};
}

// The request on the line, its echo awaited, the registers read back and compared.
WriteAttempt sendAndReadBack(CliLink& link, WriteAttempt attempt, WriteRecord& record)
{
    record.set(QStringLiteral("sent"), sentJson(attempt.image));
    WriteReport report;
    LinkError error;
    if (!link.writeAndReadBack(attempt.image, report, &error) && !report.echoed()) {
        // A request the line never took (a refused send, a busy line, an
        // interruption before it went out) is not recorded as sent.
        attempt.sent = report.sent();
        if (!attempt.sent)
            record.remove(QStringLiteral("sent"));
        // Interrupted once on the line, the error says it was sent.
        return finishAttempt(attempt, record,
                             error.isInterruption() && !attempt.sent ? nothingSent() : error);
    }
    attempt.sent = true;
    if (report.outcome == WriteOutcome::ReadBackFailed) {
        if (error.isInterruption())
            return finishAttempt(attempt, record,
                                 {QStringLiteral("interrompido: a configuração foi enviada e "
                                                 "confirmada pelo transmissor, mas não foi relida"),
                                  Outcome::Interrupted,
                                  {}});
        error.message.prepend(outcomeWords(Outcome::ReadBackFailed) + QStringLiteral(": "));
        error.outcome = Outcome::ReadBackFailed;
        return finishAttempt(attempt, record, error);
    }
    const ReadingReport after = describeReading(report.readBack);
    record.set(QStringLiteral("readBack"), reportJson(after));
    attempt.differences = report.differences;
    attempt.model = after.modelOptions;
    record.set(QStringLiteral("differences"), differencesJson(attempt.differences));
    if (!attempt.differences.empty())
        return finishAttempt(
            attempt, record,
            {outcomeWords(Outcome::ReadBackDiffers), Outcome::ReadBackDiffers, {}});
    return finishAttempt(attempt, record, {{}, Outcome::Ok, {}});
}

// What `write --json` prints of an attempt that was confirmed.
// The sensor's own range, taken for the limits not given.
QJsonObject takenRangeJson(const TakenRange& taken)
{
    const SensorRange* sensor = sensorRangeFor(taken.sensorType);
    QJsonObject o{{"sensorType", sensor ? QString::fromUtf8(sensor->name) : QString()}};
    if (taken.lowerTenths)
        o["rangeLower"] = *taken.lowerTenths / 10.0;
    if (taken.upperTenths)
        o["rangeUpper"] = *taken.upperTenths / 10.0;
    return o;
}

QJsonObject confirmedJson(const WriteAttempt& a)
{
    const QJsonArray differences = differencesJson(a.differences);
    QJsonObject o{{"firstRegister", kWriteFirstRegister},
                  {"words", wordsJson(a.image)},
                  {"sent", true},
                  {"confirmed", true},
                  {"readBackMatches", differences.isEmpty()},
                  {"differences", differences},
                  {"outcome", outcomeCode(a.outcome)}};
    // Read back otherwise than sent: a failure, said as every other is.
    if (a.outcome != Outcome::Ok)
        o["error"] = a.message;
    if (a.takenRange)
        o["takenRange"] = takenRangeJson(*a.takenRange);
    return o;
}

// An attempt as `write` says it: the range taken and the differences or
// the confirmation on standard output, a failure on standard error, or
// one JSON object.
int printAttempt(const WriteAttempt& a, Output& o)
{
    if (a.takenRange && !o.json)
        o.out << takenRangeLine(*a.takenRange) << Qt::endl;
    if (a.dryRun)
        return printDryRun(a.image, o);
    if (a.recordLost()) {
        const QString lost = recordLostLine(a);
        if (o.json)
            printJson(o.out, errorJson({lost, Outcome::RecordFailed, {}}));
        return o.fail(lost);
    }
    const bool confirmed = a.outcome == Outcome::Ok || a.outcome == Outcome::ReadBackDiffers;
    if (o.json)
        printJson(o.out, confirmed ? confirmedJson(a) : errorJson({a.message, a.outcome, a.fault}));
    else if (confirmed)
        for (const QString& line : differenceLines(a))
            o.out << line << Qt::endl;
    if (a.outcome != Outcome::Ok)
        return o.fail(a.message, a.status());
    if (!o.json)
        o.out << QStringLiteral("Enviado... %1.").arg(outcomeWords(Outcome::Ok)) << Qt::endl;
    // The transmitter holds the configuration whether or not this is read.
    if (!o.flushed())
        return o.fail(writeFailureText(o.out) +
                      QStringLiteral("; a configuração foi enviada, confirmada e relida"));
    return kExitOk;
}

} // namespace

int WriteAttempt::status() const
{
    if (recordLost())
        return kExitFailed;
    switch (outcome) {
    case Outcome::Ok:
        return kExitOk;
    case Outcome::Interrupted:
        return kExitInterrupted;
    case Outcome::Refused:
        return kExitUsage;
    default:
        return kExitFailed;
    }
}

ArgumentsVerdict checkWriteArguments(const WriteArguments& a, WriteOptions& options)
{
    ArgumentsVerdict v;
    ConfigurationEdit& edit = options.edit;
    if (!a.fromFile.isEmpty() && !editFromFile(a.fromFile, edit, &v.fileRefusal)) {
        v.refusal = ArgumentsVerdict::Refusal::FromFile;
        return v;
    }
    v.fields = prepareTextEdit(a.fields, edit);
    if (v.fields.firstRefusal())
        v.refusal = ArgumentsVerdict::Refusal::Fields;
    else if (edit.isEmpty())
        v.refusal = ArgumentsVerdict::Refusal::NothingToWrite;
    else if (!v.fields.accepted(options.force))
        v.refusal = ArgumentsVerdict::Refusal::Fields;
    return v;
}

int write(CliLink& link, const WriteArguments& arguments, WriteOptions& options, Output& o)
{
    const ArgumentsVerdict verdict = checkWriteArguments(arguments, options);
    if (verdict.refusal != ArgumentsVerdict::Refusal::None) {
        // Refused before the port is opened: said, with --json, as a
        // refusal after reading the device is.
        const QString line = argumentsRefusalLine(verdict, arguments);
        if (o.json)
            printJson(o.out, errorJson({line, Outcome::Refused, {}}));
        return o.fail(line, kExitUsage);
    }
    if (options.dryRun && givesEveryField(options.edit))
        return printDryRun(prepareEditedWrite(options.edit, nullptr).image, o);
    WriteRecord record;
    if (!options.recordFile.isEmpty() && !options.dryRun && !record.open(options.recordFile))
        return o.fail(
            QStringLiteral("--record: %1: %2").arg(options.recordFile, record.errorText()),
            kExitUsage);
    return printAttempt(writeAttempt(link, options, record), o);
}

WriteAttempt writeAttempt(CliLink& link, const WriteOptions& options, WriteRecord& record)
{
    record.begin(link.portName());
    WriteAttempt attempt;
    LinkError error;
    RegisterImage current{};
    // A campaign finds the transmitter on a port it already holds open.
    if (!(link.isOpen() || link.open(&error)) || !link.readImage(current, &error))
        return finishAttempt(attempt, record, error.isInterruption() ? nothingSent() : error);
    const ReadingReport before = describeReading(current);
    record.set(QStringLiteral("model"), before.model);
    record.set(QStringLiteral("firmware"), before.firmwareHundredths / 100.0);
    record.set(QStringLiteral("before"), reportJson(before));

    if (options.knownModelOnly && before.model.isEmpty())
        return finishAttempt(
            attempt, record,
            {QStringLiteral("%1 (código %2)").arg(outcomeWords(Outcome::UnknownModel)).arg(before.modelCode),
             Outcome::UnknownModel,
             {}});
    if (const QString refusal = modelTextRefusal(options.edit, before); !refusal.isEmpty())
        return finishAttempt(attempt, record, {refusal, Outcome::Refused, {}});
    ConfigurationEdit edit = options.edit;
    attempt.takenRange = takeSensorRange(edit, current);
    const PreparedWrite prepared = prepareEditedWrite(edit, &current);
    attempt.image = prepared.image;
    if (!prepared.accepted(options.force))
        return finishAttempt(attempt, record, {refusalLine(prepared), Outcome::Refused, {}});
    if (options.dryRun) {
        attempt.dryRun = true;
        return attempt;
    }
    if (interrupted())
        return finishAttempt(attempt, record, nothingSent());
    return sendAndReadBack(link, attempt, record);
}

QString takenRangeLine(const TakenRange& taken)
{
    QStringList values;
    for (const auto& [slot, tenths] : {std::pair{Slot::RangeLower, taken.lowerTenths},
                                       std::pair{Slot::RangeUpper, taken.upperTenths}}) {
        if (tenths)
            values << QStringLiteral("%1 %2").arg(fieldCaption(slot), rangeValueText(*tenths));
    }
    const SensorRange* sensor = sensorRangeFor(taken.sensorType);
    return QStringLiteral("Faixa do %1: %2 °C.")
        .arg(sensor ? QString::fromUtf8(sensor->name) : QString(),
             values.join(QStringLiteral(", ")));
}

QStringList differenceLines(const WriteAttempt& attempt)
{
    QStringList lines;
    for (const ConfigurationField& f : kConfigurationFields) {
        for (const WriteDifference& d : attempt.differences) {
            if (d.slot == f.slot && attempt.model)
                lines << QStringLiteral("Diferença em %1: enviado %2, lido %3")
                             .arg(QString::fromUtf8(f.caption),
                                  fieldText(f, d.written, *attempt.model),
                                  fieldText(f, d.read, *attempt.model));
        }
    }
    return lines;
}

QString recordLostLine(const WriteAttempt& a)
{
    return QStringLiteral("--record: não foi possível gravar em %1: %2; %3")
        .arg(a.recordFile, a.recordError,
             a.outcome == Outcome::Ok
                 ? QStringLiteral("a configuração foi enviada e confirmada, mas esta tentativa "
                                  "não ficou registrada")
                 : QStringLiteral("esta tentativa, que falhou (%1), não ficou registrada")
                       .arg(a.message));
}

} // namespace quorva::cli
