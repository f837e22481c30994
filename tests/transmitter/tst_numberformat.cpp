// Number texts with a decimal comma; examples as the window shows them.
#include "transmitter/numberformat.h"

#include <QtTest>
#include <clocale>

using namespace quorva::transmitter;

class TestNumberFormat : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A machine set up for a decimal point must not change our texts.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        std::setlocale(LC_ALL, "C");
    }

    void fixedText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("precision");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("text");
        QTest::newRow("2.5") << 2.5 << 4 << 1 << "2,5";
        QTest::newRow("0") << 0.0 << 4 << 1 << "0,0";
        QTest::newRow("234.5") << 234.5 << 4 << 1 << "234,5";
        QTest::newRow("1234.6 cut to four digits") << 1234.6 << 4 << 1 << "1235,0";
        QTest::newRow("12346 tenths") << 12346 * 0.1 << 4 << 1 << "1235,0";
        QTest::newRow("-1999 tenths") << -1999 * 0.1 << 4 << 1 << "-199,9";
        QTest::newRow("-25 tenths") << -25 * 0.1 << 4 << 1 << "-2,5";
        QTest::newRow("99 tenths") << 99 * 0.1 << 4 << 1 << "9,9";
        QTest::newRow("32768 tenths") << 32768 * 0.1 << 4 << 1 << "3277,0";
        QTest::newRow("-32767 tenths") << -32767 * 0.1 << 4 << 1 << "-3277,0";
        QTest::newRow("firmware 101") << 101 * 0.01 << 3 << 2 << "1,01";
        QTest::newRow("firmware 150") << 150 * 0.01 << 3 << 2 << "1,50";
        QTest::newRow("firmware -5") << -5 * 0.01 << 3 << 2 << "-0,05";
        QTest::newRow("firmware 0") << 0.0 << 3 << 2 << "0,00";
    }
    void fixedText()
    {
        QFETCH(double, value);
        QFETCH(int, precision);
        QFETCH(int, digits);
        QFETCH(QString, text);
        QCOMPARE(formatFixed(value, precision, digits), text);
    }

    void quotientText_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("-2000") << qint64(-2000) << "-200";
        QTest::newRow("6500") << qint64(6500) << "650";
        QTest::newRow("15") << qint64(15) << "1,5";
        QTest::newRow("-5") << qint64(-5) << "-0,5";
        QTest::newRow("0") << qint64(0) << "0";
        QTest::newRow("32768") << qint64(32768) << "3276,8";
        QTest::newRow("-32767") << qint64(-32767) << "-3276,7";
    }
    void quotientText()
    {
        QFETCH(qint64, value);
        QFETCH(QString, text);
        QCOMPARE(quorva::transmitter::quotientText(value, 10), text);
    }

    void patternHashZeroZero_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("5") << 5.0 << "05";
        QTest::newRow("-5") << -5.0 << "-05";
        QTest::newRow("0") << 0.0 << "00";
        QTest::newRow("99") << 99.0 << "99";
        QTest::newRow("-99") << -99.0 << "-99";
        QTest::newRow("100") << 100.0 << "100";
        QTest::newRow("6.5 rounds away") << 6.5 << "07";
        QTest::newRow("-6.5 rounds away") << -6.5 << "-07";
        QTest::newRow("6.99999") << 6.99999 << "07";
    }
    void patternHashZeroZero()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(formatFloat00(value), text);
    }

    void textToInteger()
    {
        QCOMPARE(parseInt("-200"), -200);
        QCOMPARE(parseInt("+650"), 650);
        QCOMPARE(parseInt(" 12 "), 12);
        QCOMPARE(parseInt("-2147483648"), std::numeric_limits<int>::min());
        for (const char* bad : {"12,5", "", " ", "1e3", "abc", "12a", "2147483648", "--1"}) {
            try {
                parseInt(QString::fromLatin1(bad));
                QFAIL(bad);
            } catch (const ConversionError& e) {
                QVERIFY(e.message().contains(QString::fromLatin1(bad)));
            }
        }
    }

    void textToFloat()
    {
        QCOMPARE(parseFloat("-0,5"), -0.5);
        QCOMPARE(parseFloat(" 9,9"), 9.9);
        QCOMPARE(parseFloat("1,5e1"), 15.0);
        QCOMPARE(parseFloat(",5"), 0.5);
        QCOMPARE(parseFloat("7"), 7.0);
        for (const char* bad : {"0.5", "", " , ", "1,2,3", "-", "5 ,0", "- 1,0"})
            QVERIFY_THROWS_EXCEPTION(ConversionError, parseFloat(QString::fromLatin1(bad)));
    }
};

QTEST_APPLESS_MAIN(TestNumberFormat)
#include "tst_numberformat.moc"
