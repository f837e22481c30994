// What the command line writes down and takes back: a reading's JSON, its
// configuration keys from the table of fields, read back by `write --from`
// field by field under either key; and the outcome codes scripts, the
// record and the report share, each with its words. The keys and codes are
// the README's.
#include "cli/jsonschema.h"
#include "cli/outcome.h"
#include "transmitter/configfields.h"

#include <QJsonDocument>
#include <QtTest>

using namespace quorva;
using namespace quorva::cli;
using transmitter::RegisterImage;

class TestRecords : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // The edit a file of `object` makes, or the refusal's line.
    QString edited(const QJsonObject& object, transmitter::ConfigurationEdit& edit)
    {
        QFile f(m_dir.filePath("reading.json"));
        if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(object).toJson()) < 0)
            return "not written";
        f.close();
        QString refusal;
        return editFromFile(f.fileName(), edit, &refusal) ? QString() : refusal;
    }

private slots:
    // A reading's configuration keys and values, as `read --json` prints
    // them: the register value and the readable one of each field.
    void readingKeys_data()
    {
        // Registers 1 to 11 as the device holds them: 4 to 9 the
        // configuration, 10 the firmware, 11 the model.
        QTest::addColumn<RegisterImage>("registers");
        QTest::addColumn<QString>("expected"); // register and readable values
        QTest::newRow("TRV-A, Termopar K")
            << RegisterImage{0, 0, 0, -5, 2, 0, 6000, 2, 0, 101, 420}
            << R"("zeroAdjustTenths":-5,"zeroAdjust":-0.5,"sensorTypeIndex":2,)"
               R"("sensorType":"Termopar K","rangeLowerTenths":0,"rangeLower":0,)"
               R"("rangeUpperTenths":6000,"rangeUpper":600,"sensorErrorIndex":2,)"
               R"("sensorError":"Sinal de Saída > 20 mA","outputDirectionIndex":0,)"
               R"("outputDirection":"4 a 20 mA")";
        QTest::newRow("TRV-C, a range in tenths, no sensor error")
            << RegisterImage{0, 0, 0, 99, 0, -2005, 6505, -1, 1, 101, 10}
            << R"("zeroAdjustTenths":99,"zeroAdjust":9.9,"sensorTypeIndex":0,)"
               R"("sensorType":"Pt100","rangeLowerTenths":-2005,"rangeLower":-200.5,)"
               R"("rangeUpperTenths":6505,"rangeUpper":650.5,"sensorErrorIndex":-1,)"
               R"("sensorError":"","outputDirectionIndex":1,"outputDirection":"10 a 0 V")";
        QTest::newRow("pressure")
            << RegisterImage{0, 0, 0, 0, 9, -1000, 1000, 0, 1, 101, 421}
            << R"("zeroAdjustTenths":0,"zeroAdjust":0,"sensorTypeIndex":9,"sensorType":"Pressão",)"
               R"("rangeLowerTenths":-1000,"rangeLower":-100,"rangeUpperTenths":1000,)"
               R"("rangeUpper":100,"sensorErrorIndex":0,"sensorError":"Nenhum",)"
               R"("outputDirectionIndex":1,"outputDirection":"20 a 4 mA")";
    }
    void readingKeys()
    {
        QFETCH(RegisterImage, registers);
        QFETCH(QString, expected);
        const QJsonObject json = reportJson(transmitter::describeReading(registers));
        const QJsonObject keys = QJsonDocument::fromJson(('{' + expected + '}').toUtf8()).object();
        QCOMPARE(keys.size(), 12);
        for (auto key = keys.begin(); key != keys.end(); ++key)
            QVERIFY2(json.value(key.key()) == key.value(), qPrintable(key.key()));
    }

    // What `read --json` printed goes back whole, by either key alone: every
    // field of the table gets the register value the device holds (a value
    // no item names, -1, included).
    void takenBack_data() { readingKeys_data(); }
    void takenBack()
    {
        QFETCH(RegisterImage, registers);
        const QJsonObject whole = reportJson(transmitter::describeReading(registers));
        QJsonObject byRegister, byReadable;
        for (const auto& f : transmitter::kConfigurationFields) {
            byRegister[f.registerKey] = whole[f.registerKey];
            byReadable[f.readableKey] = whole[f.readableKey];
        }
        for (const QJsonObject& file : {whole, byRegister, byReadable}) {
            transmitter::ConfigurationEdit edit;
            QCOMPARE(edited(file, edit), QString());
            for (const int slot : {3, 4, 5, 6, 7, 8})
                QCOMPARE(edit.values[size_t(slot)], std::optional<qint64>(registers[slot]));
        }
    }

    // A file's value for a field that is none is refused naming the key and the field.
    void refusedValues()
    {
        transmitter::ConfigurationEdit edit;
        QVERIFY(edited({{"sensorError", "acima"}}, edit)
                    .endsWith("sensorError em " + m_dir.filePath("reading.json") +
                              " não é um valor de Erro do Sensor"));
        QVERIFY(edited({{"rangeUpper", 650.55}}, edit).contains("não é um valor de V. Máx."));
        QVERIFY(edited({{"model", "TRV-A"}}, edit).contains("não tem campos de configuração"));
    }

    // The codes, as the README lists them, each with words of its own (those
    // of a write read back otherwise: tst_cli's "write not kept"); the link's
    // outcomes and a port's failures by their codes.
    void outcomeCodes()
    {
        const QStringList codes{
            "ok",           "no-reply",    "bad-reply",         "exception",
            "read-failed",  "send-failed", "line-busy",         "port-not-found",
            "port-busy",    "port-gone",   "permission-denied", "open-failed",
            "interrupted",  "refused",     "read-back-failed",  "read-back-differs",
            "record-failed", "sent-unconfirmed", "unknown-model"};
        QStringList words;
        for (const QString& code : codes) {
            const std::optional<Outcome> outcome = outcomeOfCode(code);
            QVERIFY2(outcome, qPrintable(code));
            QCOMPARE(outcomeCode(*outcome), code);
            words << outcomeWords(*outcome);
        }
        QCOMPARE(QSet<QString>(words.begin(), words.end()).size(), codes.size());
        QVERIFY(!outcomeOfCode("timeout"));
        QCOMPARE(outcomeWords(Outcome::NoReply), "o transmissor não respondeu");

        const auto codesOf = [](auto... outcomes) {
            return QStringList{outcomeCode(outcomeOf(outcomes))...};
        };
        using link::ReplyOutcome, link::FailureKind;
        QCOMPARE(codesOf(ReplyOutcome::Reply, ReplyOutcome::NoReply, ReplyOutcome::BadReply,
                         ReplyOutcome::Exception, ReplyOutcome::ReadFailed,
                         ReplyOutcome::SendFailed, ReplyOutcome::LineBusy),
                 codes.mid(0, 7));
        QCOMPARE(codesOf(FailureKind::None, FailureKind::NoCable, FailureKind::PortNotFound,
                         FailureKind::PermissionDenied, FailureKind::PortBusy,
                         FailureKind::PortGone, FailureKind::OpenFailed),
                 (QStringList{"open-failed", "port-not-found", "port-not-found",
                              "permission-denied", "port-busy", "port-gone", "open-failed"}));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
