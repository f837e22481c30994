// The configuration write's checks and the registers it fills, including the
// rows the window's own write table gives.
#include "transmitter/configwrite.h"
#include "transmitter/numberformat.h"

#include <QtTest>

using namespace quorva::transmitter;

namespace {
ConfigurationFields fields(const char* zero, const char* lower, const char* upper, int sensor = 0,
                           int error = 1, int direction = 0)
{
    return {QString::fromUtf8(zero),
            QString::fromUtf8(lower),
            QString::fromUtf8(upper),
            sensor,
            error,
            direction};
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
        QTest::newRow("9,9") << "9,9"
                             << "0"
                             << "1" << QList<int>{99, 0, 0, 10, 1, 0};
        QTest::newRow("-9,9") << "-9,9"
                              << "0"
                              << "1" << QList<int>{-99, 0, 0, 10, 1, 0};
        QTest::newRow("masked blank sign") << " 0,7"
                                           << "-50"
                                           << "1760" << QList<int>{7, 0, -500, 17600, 1, 0};
        QTest::newRow("range not whole") << "0,0"
                                         << "-3276"
                                         << "3276,8" << QList<int>{};
    }
    void acceptedRows()
    {
        QFETCH(QString, zero);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(QList<int>, slots3to8);
        WriteImage image{};
        QString scratch;
        const ConfigurationFields f{zero, lower, upper, 0, 1, 0};
        if (slots3to8.isEmpty()) { // not a whole number: the conversion error
            QVERIFY_THROWS_EXCEPTION(ConversionError, prepareConfigurationWrite(f, image, scratch));
            return;
        }
        QCOMPARE(prepareConfigurationWrite(f, image, scratch), WriteCheck::Ready);
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
            QCOMPARE(prepareConfigurationWrite(fields(qPrintable(text), "0", "1"), image, scratch),
                     WriteCheck::Ready);
            QCOMPARE(image[Slot::ZeroAdjust], tenths);
        }
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("zero");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<int>("sensor");
        QTest::addColumn<int>("check");
        QTest::newRow("empty upper") << "0,0"
                                     << "1"
                                     << "" << 0 << int(WriteCheck::EmptyField);
        QTest::newRow("empty zero") << ""
                                    << "1"
                                    << "2" << 0 << int(WriteCheck::EmptyField);
        QTest::newRow("zero 10,0") << "10,0"
                                   << "1"
                                   << "2" << 0 << int(WriteCheck::ZeroOutOfRange);
        QTest::newRow("zero -10,0") << "-10,0"
                                    << "1"
                                    << "2" << 0 << int(WriteCheck::ZeroOutOfRange);
        QTest::newRow("no sensor type") << "0,0"
                                        << "1"
                                        << "2" << -1 << int(WriteCheck::NoSelection);
        QTest::newRow("lower tenfold below") << "0,0"
                                             << "-3277"
                                             << "2" << 0 << int(WriteCheck::RangeOutOfSpan);
        QTest::newRow("upper tenfold above") << "0,0"
                                             << "1"
                                             << "3277" << 0 << int(WriteCheck::RangeOutOfSpan);
        QTest::newRow("tenfold would overflow")
            << "0,0"
            << "1"
            << "2147483647" << 0 << int(WriteCheck::RangeOutOfSpan);
    }
    void refusals()
    {
        QFETCH(QString, zero);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(int, sensor);
        QFETCH(int, check);
        WriteImage image{};
        QString scratch;
        const ConfigurationFields f{zero, lower, upper, sensor, 0, 0};
        QCOMPARE(int(prepareConfigurationWrite(f, image, scratch)), check);
        QVERIFY(!refusalMessage(WriteCheck(check)).isEmpty());
    }

    void eachChoiceMustBeSelected()
    {
        WriteImage image{};
        QString scratch;
        QCOMPARE(prepareConfigurationWrite(fields("0,0", "1", "2", 0, -1, 0), image, scratch),
                 WriteCheck::NoSelection);
        QCOMPARE(prepareConfigurationWrite(fields("0,0", "1", "2", 0, 0, -1), image, scratch),
                 WriteCheck::NoSelection);
        QCOMPARE(image[Slot::OutputDirection], -1);
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

    void messages()
    {
        QCOMPARE(refusalMessage(WriteCheck::EmptyField), "Erro: Dado Inválido,Verificar.");
        QCOMPARE(refusalMessage(WriteCheck::ZeroOutOfRange),
                 "Erro:Valor deve ser >= -9,9 ou <= 9,9");
    }
};

QTEST_APPLESS_MAIN(TestConfigWrite)
#include "tst_configwrite.moc"
