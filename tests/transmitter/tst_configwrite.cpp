// The configuration write's checks, the registers it fills and the range
// limits it asks to confirm.
#include "transmitter/configwrite.h"
#include "transmitter/numberformat.h"

#include <QtTest>

using namespace quorva::transmitter;

namespace {
ConfigurationFields fields(const QString& zero, const QString& lower, const QString& upper,
                           int sensor = 0, int error = 1, int direction = 0)
{
    return {zero, lower, upper, sensor, error, direction};
}
} // namespace

class TestConfigWrite : public QObject
{
    Q_OBJECT
private slots:
    void acceptedRows_data()
    {
        QTest::addColumn<QString>("zero");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QList<int>>("slots3to8");
        QTest::newRow("-0,5 -200 650") << "-0,5"
                                       << "-200"
                                       << "650" << QList<int>{-5, 0, -2000, 6500, 1, 0};
        QTest::newRow("masked blank sign") << " 0,7"
                                           << "-50"
                                           << "1760" << QList<int>{7, 0, -500, 17600, 1, 0};
    }
    void acceptedRows()
    {
        QFETCH(QString, zero);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(QList<int>, slots3to8);
        WriteImage image{};
        QString scratch;
        QCOMPARE(prepareConfigurationWrite(fields(zero, lower, upper), image, scratch),
                 WriteCheck::Ready);
        QCOMPARE(QList<int>(image.begin() + 3, image.begin() + 9), slots3to8);
        for (int k : {0, 1, 2, 9, 10})
            QCOMPARE(image[size_t(k)], 0);
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
        const QList<int> chosen{2, 0, 0};
        const QString invalid = "Erro: Dado Inválido,Verificar.";
        const QString zeroRange = "Erro:Valor deve ser >= -9,9 ou <= 9,9";
        const QString reversed = "Erro: V. Mín. deve ser menor que V. Máx.";
        QTest::newRow("empty upper") << "0,0"
                                     << "1"
                                     << "" << chosen << invalid;
        QTest::newRow("empty zero") << ""
                                    << "1"
                                    << "2" << chosen << invalid;
        QTest::newRow("no sensor type") << "0,0"
                                        << "1"
                                        << "2" << QList<int>{-1, 0, 0} << invalid;
        QTest::newRow("no sensor error") << "0,0"
                                         << "1"
                                         << "2" << QList<int>{2, -1, 0} << invalid;
        QTest::newRow("no direction") << "0,0"
                                      << "1"
                                      << "2" << QList<int>{2, 0, -1} << invalid;
        QTest::newRow("zero 10,0") << "10,0"
                                   << "1"
                                   << "2" << chosen << zeroRange;
        QTest::newRow("zero -10,0") << "-10,0"
                                    << "1"
                                    << "2" << chosen << zeroRange;
        QTest::newRow("lower tenfold below") << "0,0"
                                             << "-3277"
                                             << "2" << chosen << invalid;
        QTest::newRow("upper tenfold above") << "0,0"
                                             << "1"
                                             << "3277" << chosen << invalid;
        QTest::newRow("tenfold would overflow") << "0,0"
                                                << "1"
                                                << "2147483647" << chosen << invalid;
        QTest::newRow("K 1000 to 10") << "0,0"
                                      << "1000"
                                      << "10" << chosen << reversed;
        QTest::newRow("K lower equals upper") << "0,0"
                                              << "600"
                                              << "600" << chosen << reversed;
        QTest::newRow("Pt100 lower equals upper") << "0,0"
                                                  << "0"
                                                  << "0" << QList<int>{0, 0, 0} << reversed;
        QTest::newRow("pressure lower above upper") << "0,0"
                                                    << "6"
                                                    << "5" << QList<int>{9, 0, 0} << reversed;
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
        QTest::newRow("Pt100 whole range") << 0 << "-200"
                                           << "650" << QStringList{};
        QTest::newRow("Pt100 lower one below")
            << 0 << "-201"
            << "650" << QStringList{"V. Mín. -201°C fora da Faixa do Sensor (-200 a 650°C)."};
        QTest::newRow("Pt100 upper one above")
            << 0 << "-200"
            << "651" << QStringList{"V. Máx. 651°C fora da Faixa do Sensor (-200 a 650°C)."};
        QTest::newRow("Pt100 minimum span") << 0 << "10"
                                            << "50" << QStringList{};
        QTest::newRow("Pt100 span one short")
            << 0 << "10"
            << "49" << QStringList{"Faixa de 39°C menor que a Faixa Mínima (40°C)."};
        QTest::newRow("K whole range") << 2 << "-100"
                                       << "1370" << QStringList{};
        QTest::newRow("K lower one below")
            << 2 << "-101"
            << "1370" << QStringList{"V. Mín. -101°C fora da Faixa do Sensor (-100 a 1370°C)."};
        QTest::newRow("K upper one above")
            << 2 << "-100"
            << "1371" << QStringList{"V. Máx. 1371°C fora da Faixa do Sensor (-100 a 1370°C)."};
        QTest::newRow("K minimum span") << 2 << "500"
                                        << "600" << QStringList{};
        QTest::newRow("K span one short")
            << 2 << "500"
            << "599" << QStringList{"Faixa de 99°C menor que a Faixa Mínima (100°C)."};
        QTest::newRow("K lower one below upper")
            << 2 << "599"
            << "600" << QStringList{"Faixa de 1°C menor que a Faixa Mínima (100°C)."};
        QTest::newRow("K every limit")
            << 2 << "1380"
            << "1400"
            << QStringList{"V. Mín. 1380°C fora da Faixa do Sensor (-100 a 1370°C).",
                           "V. Máx. 1400°C fora da Faixa do Sensor (-100 a 1370°C).",
                           "Faixa de 20°C menor que a Faixa Mínima (100°C)."};
        QTest::newRow("B lower one below")
            << 8 << "499"
            << "1820" << QStringList{"V. Mín. 499°C fora da Faixa do Sensor (500 a 1820°C)."};
        QTest::newRow("pressure has no limits") << 9 << "-3000"
                                                << "-2999" << QStringList{};
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

    void conversionErrorKeepsEarlierSlots()
    {
        WriteImage image{};
        image[Slot::ZeroAdjust] = 42;
        QString scratch;
        QVERIFY_THROWS_EXCEPTION(
            ConversionError,
            prepareConfigurationWrite(fields("0,0", "12,5", "100"), image, scratch));
        QCOMPARE(image[Slot::ZeroAdjust], 0);
        QCOMPARE(scratch, "00");
        QVERIFY_THROWS_EXCEPTION(
            ConversionError, prepareConfigurationWrite(fields("0.5", "1", "2"), image, scratch));
    }
};

QTEST_APPLESS_MAIN(TestConfigWrite)
#include "tst_configwrite.moc"
