// The texts the window reads and the checks of the configuration write: the
// zero field's text to its tenfold, the refusals, the range limits to confirm,
// and the errors of text that is not a number; the verdict on fields given
// as text (the command line's options, a plan's cells), every refused field
// by its own slot. What a reading shows, and what
// a write puts on the wire, are the window's tests.
#include "transmitter/configfields.h"
#include "transmitter/configwrite.h"
#include "transmitter/numberformat.h"
#include "transmitter/reading.h"

#include <QtTest>
#include <clocale>

using namespace quorva::transmitter;

class TestTransmitter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A machine set up for a decimal point must not change our texts.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        std::setlocale(LC_ALL, "C");
    }

    // The pattern "#00" (the whole number nearest, halves away from zero),
    // and text to numbers: whole, then with a decimal comma.
    void numberTexts()
    {
        QStringList texts;
        for (double v : {5.0, -5.0, 0.0, -99.0, 100.0, 6.5, -6.5, 6.49999})
            texts << formatFloat00(v);
        QCOMPARE(texts, (QStringList{"05", "-05", "00", "-99", "100", "07", "-07", "06"}));
        QCOMPARE((QList<int>{parseInt("-200"), parseInt(" +650 "), parseInt("-2147483648")}),
                 (QList<int>{-200, 650, std::numeric_limits<int>::min()}));
        for (const char* bad : {"12,5", "", " ", "1e3", "abc", "12a", "2147483648", "--1"})
            QVERIFY_THROWS_EXCEPTION(ConversionError, parseInt(QString::fromLatin1(bad)));
        QCOMPARE((QList<double>{parseFloat("-0,5"), parseFloat(" 9,9"), parseFloat("1,5e1"),
                                parseFloat(",5")}),
                 (QList<double>{-0.5, 9.9, 15.0, 0.5}));
        for (const char* bad : {"0.5", "", " , ", "1,2,3", "-", "5 ,0", "- 1,0"})
            QVERIFY_THROWS_EXCEPTION(ConversionError, parseFloat(QString::fromLatin1(bad)));
        // Every text the zero field can give lands on its tenfold.
        for (int tenths = -99; tenths <= 99; ++tenths) {
            const QString text = QString::asprintf("%s%d,%d", tenths < 0 ? "-" : "",
                                                   qAbs(tenths) / 10, qAbs(tenths) % 10);
            QString scratch;
            const PreparedWrite w = prepareConfigurationWrite({text, "0", "1", 0, 0, 0}, scratch);
            QVERIFY(!w.firstRefusal());
            QCOMPARE(w.image[Slot::ZeroAdjust], tenths);
        }
    }

    // Tenths of °C cut to four significant digits below 1000 °C, exact from
    // there on: the device's tenth is never rounded away.
    void measuredTexts()
    {
        QStringList texts;
        for (const qint32 tenths : {235, -1999, 9999, -9996, 10007, 12345, 12346, -10005, 32768})
            texts << measuredValueText(0, tenths).value;
        QCOMPARE(texts, (QStringList{"23,5", "-199,9", "999,9", "-999,6", "1000,7", "1234,5",
                                     "1234,6", "-1000,5", "3276,8"}));
        QCOMPARE(measuredValueText(kPressureSensorType, 12345).value, "12345");
    }

    // What the checks make of the fields: a refusal's message, or the range
    // limits to confirm (exactly at a limit passes, one degree past asks).
    void checks_data()
    {
        QTest::addColumn<QString>("zero");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QList<int>>("choices"); // sensor, sensor error, direction
        QTest::addColumn<QStringList>("said");
        const auto row = [](const char* name, const char* zero, const char* lower,
                            const char* upper, QList<int> choices, const QStringList& said = {}) {
            QTest::newRow(name) << zero << lower << upper << choices << said;
        };
        const QList<int> pt100{0, 0, 0}, k{2, 0, 0};
        const QStringList invalid{"Erro: Dado Inválido,Verificar."};
        const QStringList reversed{"Erro: V. Mín. deve ser menor que V. Máx."};
        row("empty upper", "0,0", "1", "", k, invalid);
        row("no sensor type", "0,0", "1", "2", {-1, 0, 0}, invalid);
        row("no sensor error", "0,0", "1", "2", {2, -1, 0}, invalid);
        row("no direction", "0,0", "1", "2", {2, 0, -1}, invalid);
        row("zero 10,0", "10,0", "1", "2", k, {"Erro:Valor deve ser >= -9,9 ou <= 9,9"});
        row("zero 9,9", " 9,9", "-200", "650", pt100);
        row("zero -9,9", "-9,9", "-200", "650", pt100);
        row("lower tenfold below", "0,0", "-3277", "2", k, invalid);
        row("upper tenfold above", "0,0", "1", "3277", k, invalid);
        row("tenfold would overflow", "0,0", "1", "2147483647", k, invalid);
        row("K lower equals upper", "0,0", "600", "600", k, reversed);
        row("pressure lower above upper", "0,0", "6", "5", {9, 0, 0}, reversed);
        row("Pt100 whole range", "0,0", "-200", "650", pt100);
        row("Pt100 lower one below", "0,0", "-201", "650", pt100,
            {"V. Mín. -201°C fora da Faixa do Sensor (-200 a 650°C)."});
        row("Pt100 upper one above", "0,0", "-200", "651", pt100,
            {"V. Máx. 651°C fora da Faixa do Sensor (-200 a 650°C)."});
        row("Pt100 minimum span", "0,0", "10", "50", pt100);
        row("Pt100 span one short", "0,0", "10", "49", pt100,
            {"Faixa de 39°C menor que a Faixa Mínima (40°C)."});
        row("K minimum span", "0,0", "500", "600", k);
        row("K every limit", "0,0", "1380", "1400", k,
            {"V. Mín. 1380°C fora da Faixa do Sensor (-100 a 1370°C).",
             "V. Máx. 1400°C fora da Faixa do Sensor (-100 a 1370°C).",
             "Faixa de 20°C menor que a Faixa Mínima (100°C)."});
        row("B lower one below", "0,0", "499", "1820", {8, 0, 0},
            {"V. Mín. 499°C fora da Faixa do Sensor (500 a 1820°C)."});
        row("pressure has no limits", "0,0", "-3000", "-2999", {9, 0, 0});
    }
    void checks()
    {
        QFETCH(QString, zero);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(QList<int>, choices);
        QFETCH(QStringList, said);
        QString scratch;
        const PreparedWrite w = prepareConfigurationWrite(
            {zero, lower, upper, choices[0], choices[1], choices[2]}, scratch);
        const FieldRefusal* refused = w.firstRefusal();
        QCOMPARE(refused ? QStringList{refused->words} : w.limitsCrossed(), said);
    }
    // Fields given as text, by slot (zero, sensor, lower, upper, fault,
    // direction): each refusal as "field: words", a limit crossed marked
    // "(force)", in the order told; or the register values of the edit.
    void textVerdicts_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("said");
        const QString invalid = "Erro: Dado Inválido,Verificar.";
        QTest::newRow("every text wrong, the words told first")
            << QStringList{"-0,55", "Q", "abc", "4000", "acima", "2"}
            << QStringList{"Tipo de Sensor: " + invalid,
                           "Erro do Sensor: " + invalid,
                           "Sinal de Saída: " + invalid,
                           "Zero: " + invalid,
                           "V. Mín.: 'abc' não é um valor inteiro válido",
                           "V. Máx.: " + invalid};
        QTest::newRow("each value refused on its own")
            << QStringList{"10", "", "-4000", "", "1", ""}
            << QStringList{"Zero: Erro:Valor deve ser >= -9,9 ou <= 9,9", "V. Mín.: " + invalid};
        QTest::newRow("a word not understood: the range is not judged")
            << QStringList{"", "Q", "700", "600", "", ""}
            << QStringList{"Tipo de Sensor: " + invalid};
        QTest::newRow("reversed range, named by its upper value")
            << QStringList{"", "", "700", "600", "", ""}
            << QStringList{"V. Máx.: Erro: V. Mín. deve ser menor que V. Máx."};
        QTest::newRow("each limit by the value that crosses it")
            << QStringList{"", "K", "1380", "1400", "", ""}
            << QStringList{
                   "V. Mín.: V. Mín. 1380°C fora da Faixa do Sensor (-100 a 1370°C). (force)",
                   "V. Máx.: V. Máx. 1400°C fora da Faixa do Sensor (-100 a 1370°C). (force)",
                   "V. Máx.: Faixa de 20°C menor que a Faixa Mínima (100°C). (force)"};
        // Keywords, the window's texts of any model, a point or a whole
        // number for the zero.
        QTest::newRow("keywords and the window's texts")
            << QStringList{"-5", "termopar k", " 0", "600", "Sinal de Saída Máximo", "10 a 0 V"}
            << QStringList{"-50 2 0 6000 2 1"};
        QTest::newRow("index and a decimal point")
            << QStringList{"0.3", "9", "", "", "0", "falling"} << QStringList{"3 9 - - 0 1"};
    }
    void textVerdicts()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, said);
        const int order[] = {Slot::ZeroAdjust, Slot::SensorType,  Slot::RangeLower,
                             Slot::RangeUpper, Slot::SensorError, Slot::OutputDirection};
        FieldTexts given{};
        for (int i = 0; i < 6; ++i)
            given[size_t(order[i])] = texts[i];
        ConfigurationEdit edit;
        const PreparedWrite verdict = prepareTextEdit(given, edit);
        QStringList got;
        for (const FieldRefusal& r : verdict.refusals)
            got << fieldCaption(r.slot) + ": " + r.words + (r.forceable() ? " (force)" : "");
        if (got.isEmpty()) {
            QStringList values;
            for (const int slot : order)
                values << (edit.values[size_t(slot)] ? QString::number(*edit.values[size_t(slot)])
                                                     : QStringLiteral("-"));
            got << values.join(u' ');
        }
        QCOMPARE(got, said);
        // Only the sensor's limits are lifted by sending anyway.
        const bool limitsOnly = !verdict.refusals.empty() && !verdict.firstRefusal();
        QCOMPARE(verdict.accepted(true), verdict.refusals.empty() || limitsOnly);
        QCOMPARE(verdict.accepted(false), verdict.refusals.empty());
    }

    // The field table's texts of a value, as the window shows them on each model.
    void fieldTexts()
    {
        const auto text = [](int slot, qint32 value, qint32 model) {
            return fieldText(*fieldOfSlot(slot), value, optionsForModel(model));
        };
        QCOMPARE(
            (QStringList{text(Slot::ZeroAdjust, -5, 420), text(Slot::RangeUpper, 13700, 420),
                         text(Slot::RangeLower, -5, 420), text(Slot::SensorType, 2, 420),
                         text(Slot::SensorType, 9, 420), text(Slot::SensorType, 10, 420),
                         text(Slot::SensorError, 1, 420), text(Slot::SensorError, 1, 10),
                         text(Slot::OutputDirection, 1, 10), text(Slot::OutputDirection, 2, 10)}),
            (QStringList{"-0,5", "1370", "-0,5", "Termopar K", "Pressão", "10",
                         "Sinal de Saída <  4 mA", "Sinal de Saída Mínimo", "10 a 0 V", "2"}));
        QCOMPARE(acceptedWords(*fieldOfSlot(Slot::SensorType)),
                 "Pt100, J → 'Termopar J', K → 'Termopar K', R → 'Termopar R', S → 'Termopar S', "
                 "T → 'Termopar T', N → 'Termopar N', E → 'Termopar E', B → 'Termopar B', "
                 "pressao/pressure → 'Pressão'; ou o índice 0 a 9");
        QCOMPARE(acceptedWords(*fieldOfSlot(Slot::ZeroAdjust)), QString());
    }
};

QTEST_APPLESS_MAIN(TestTransmitter)
#include "tst_transmitter.moc"
