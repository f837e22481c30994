#include "output.h"

#include "cli/jsonschema.h"
#include "transmitter/configfields.h"

#include <QJsonArray>
#include <QJsonDocument>

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

void printJson(QTextStream& out, const QJsonValue& value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    out << QString::fromUtf8(doc.toJson(QJsonDocument::Compact)) << Qt::endl;
}

QJsonObject errorJson(const LinkError& e)
{
    QJsonObject o{{"error", e.message}, {"outcome", outcomeCode(e.outcome)}};
    if (!e.fault.isEmpty())
        o["fault"] = e.fault;
    return o;
}

namespace {

QString withUnit(const QString& value, const QString& unit)
{
    return unit.isEmpty() ? value : value + QStringLiteral(" ") + unit;
}

QString measuredCaption(const MeasuredText& m)
{
    if (m.inTenths)
        return QStringLiteral("Temperatura");
    return m.unit.isEmpty() ? QStringLiteral("Valor medido") : m.unit;
}

} // namespace

void printReport(QTextStream& out, const ReadingReport& r)
{
    const auto line = [&out](const QString& caption, const QString& value) {
        out << QStringLiteral("%1 %2").arg(caption + u':', -16).arg(value) << Qt::endl;
    };
    line(QStringLiteral("Modelo"),
         r.model.isEmpty() ? QStringLiteral("(código %1)").arg(r.modelCode) : r.model);
    line(QStringLiteral("Firmware"), r.firmware);
    for (const int slot : kFormOrder) {
        const ConfigurationField& f = *fieldOfSlot(slot);
        line(QString::fromUtf8(f.caption),
             f.text ? r.*f.text
                    : withUnit(fieldText(f, r.*f.exact, *r.modelOptions), r.settingUnit));
    }
    // The pressure input's unit is already the caption.
    line(measuredCaption(r.measured),
         r.measured.inTenths ? withUnit(r.measured.value, r.measured.unit) : r.measured.value);
}

void printMonitorLine(Output& o, bool csv, const QString& stamp, const ReadingReport* r,
                      const LinkError& error)
{
    if (o.json) {
        QJsonObject entry = r ? reportJson(*r) : errorJson(error);
        entry["timestamp"] = stamp;
        printJson(o.out, entry);
    } else if (csv) {
        o.out << monitorCsvRow(stamp, r ? r->measured.value : QString(),
                               r ? r->measured.unit : QString(), r ? QString() : error.message)
              << Qt::endl;
    } else {
        o.out << stamp << "  "
              << (r ? withUnit(r->measured.value, r->measured.unit) : error.message) << Qt::endl;
    }
}

} // namespace quorva::cli
