// The texts the window reads and the checks of the configuration write: the
// zero field's text to its tenfold, the refusals, the range limits to confirm,
// and the errors of text that is not a number. What a reading shows, and what
// a write puts on the wire, are the window's tests.
#include "transmitter/configwrite.h"
#include "transmitter/numberformat.h"

#include <QtTest>
#include <clocale>

using namespace quorva::transmitter;

namespace {
ConfigurationFields fields(const QString& zero, const QString& lower, const QString& upper,
                           int sensor = 0, int error = 1, int direction = 0)
{
    return {zero, lower, upper, sensor, error, direction};
}
} // namespace

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

    // The pattern "#00": the whole number nearest, halves away from zero.
    void patternHashZeroZero()
    {
        QStringList texts;
        for (double v : {5.0, -5.0, 0.0, -99.0, 100.0, 6.5, -6.5, 6.49999})
            texts << formatFloat00(v);
        QCOMPARE(texts, (QStringList{"05", "-05", "00", "-99", "100", "07", "-07", "06"}));
    }

    void textToInteger()
    {
        QCOMPARE(parseInt("-200"), -200);
        QCOMPARE(parseInt(" +650 "), 650);
        QCOMPARE(parseInt("-2147483648"), std::numeric_limits<int>::min());
        for (const char* bad : {"12,5", "", " ", "1e3", "abc", "12a", "2147483648", "--1"})
            QVERIFY_THROWS_EXCEPTION(ConversionError, parseInt(QString::fromLatin1(bad)));
    }

    void textToFloat()
    {
        QCOMPARE(parseFloat("-0,5"), -0.5);
        QCOMPARE(parseFloat(" 9,9"), 9.9);
        QCOMPARE(parseFloat("1,5e1"), 15.0);
        QCOMPARE(parseFloat(",5"), 0.5);
        for (const char* bad : {"0.5", "", " , ", "1,2,3", "-", "5 ,0", "- 1,0"})
            QVERIFY_THROWS_EXCEPTION(ConversionError, parseFloat(QString::fromLatin1(bad)));
    }

    void everyMaskTextLandsOnItsTenfold()
    {
        for (int tenths = -99; tenths <= 99; ++tenths) {
            const QString text = QStringLiteral("%1%2,%3")
                                     .arg(tenths < 0 ? "-" : "")
                                     .arg(qAbs(tenths) / 10)
                                     .arg(qAbs(tenths) % 10);
            WriteImage image{};
            QString scratch;
            QCOMPARE(prepareConfigurationWrite(fields(text, "0", "1"), image, scratch),
                     WriteCheck::Ready);
            QCOMPARE(image[Slot::ZeroAdjust], tenths);
        }
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("zero");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QList<int>>("choices");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const char* zero, const char* lower,
                            const char* upper, QList<int> choices, const char* message) {
            QTest::newRow(name) << QString::fromUtf8(zero) << QString::fromUtf8(lower)
                                << QString::fromUtf8(upper) << choices
                                << QString::fromUtf8(message);
        };
        const QList<int> k{2, 0, 0};
        const char* invalid = "Erro: Dado Inválido,Verificar.";
        const char* zeroRange = "Erro:Valor deve ser >= -9,9 ou <= 9,9";
        const char* reversed = "Erro: V. Mín. deve ser menor que V. Máx.";
        row("empty upper", "0,0", "1", "", k, invalid);
        row("no sensor type", "0,0", "1", "2", {-1, 0, 0}, invalid);
        row("no sensor error", "0,0", "1", "2", {2, -1, 0}, invalid);
        row("no direction", "0,0", "1", "2", {2, 0, -1}, invalid);
        row("zero 10,0", "10,0", "1", "2", k, zeroRange);
        row("lower tenfold below", "0,0", "-3277", "2", k, invalid);
        row("upper tenfold above", "0,0", "1", "3277", k, invalid);
        row("tenfold would overflow", "0,0", "1", "2147483647", k, invalid);
        row("K lower equals upper", "0,0", "600", "600", k, reversed);
        row("pressure lower above upper", "0,0", "6", "5", {9, 0, 0}, reversed);
    }
    void refusals()
    {
        QFETCH(QString, zero);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(QList<int>, choices);
        QFETCH(QString, message);
        WriteImage image{};
        QString scratch;
        const WriteCheck check = prepareConfigurationWrite(
            fields(zero, lower, upper, choices[0], choices[1], choices[2]), image, scratch);
        QVERIFY(check != WriteCheck::Ready);
        QCOMPARE(refusalMessage(check), message);
    }

    // Exactly at a limit passes; one degree past it asks for confirmation.
    void rangeLimits_data()
    {
        QTest::addColumn<int>("sensor");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QStringList>("warnings");
        const auto row = [](const char* name, int sensor, const char* lower, const char* upper,
                            QStringList warnings = {}) {
            QTest::newRow(name) << sensor << QString::fromUtf8(lower) << QString::fromUtf8(upper)
                                << warnings;
        };
        row("Pt100 whole range", 0, "-200", "650");
        row("Pt100 lower one below", 0, "-201", "650",
            {"V. Mín. -201°C fora da Faixa do Sensor (-200 a 650°C)."});
        row("Pt100 upper one above", 0, "-200", "651",
            {"V. Máx. 651°C fora da Faixa do Sensor (-200 a 650°C)."});
        row("Pt100 minimum span", 0, "10", "50");
        row("Pt100 span one short", 0, "10", "49",
            {"Faixa de 39°C menor que a Faixa Mínima (40°C)."});
        row("K whole range", 2, "-100", "1370");
        row("K lower one below", 2, "-101", "1370",
            {"V. Mín. -101°C fora da Faixa do Sensor (-100 a 1370°C)."});
        row("K upper one above", 2, "-100", "1371",
            {"V. Máx. 1371°C fora da Faixa do Sensor (-100 a 1370°C)."});
        row("K minimum span", 2, "500", "600");
        row("K span one short", 2, "500", "599",
            {"Faixa de 99°C menor que a Faixa Mínima (100°C)."});
        row("K every limit", 2, "1380", "1400",
            {"V. Mín. 1380°C fora da Faixa do Sensor (-100 a 1370°C).",
             "V. Máx. 1400°C fora da Faixa do Sensor (-100 a 1370°C).",
             "Faixa de 20°C menor que a Faixa Mínima (100°C)."});
        row("B lower one below", 8, "499", "1820",
            {"V. Mín. 499°C fora da Faixa do Sensor (500 a 1820°C)."});
        row("pressure has no limits", 9, "-3000", "-2999");
    }
    void rangeLimits()
    {
        QFETCH(int, sensor);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(QStringList, warnings);
        WriteImage image{};
        QString scratch;
        QCOMPARE(prepareConfigurationWrite(fields("0,0", lower, upper, sensor), image, scratch),
                 WriteCheck::Ready);
        QCOMPARE(rangeWarnings(image), warnings);
    }
};

QTEST_APPLESS_MAIN(TestTransmitter)
#include "tst_transmitter.moc"
