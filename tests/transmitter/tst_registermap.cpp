// Register words, the decode of a read reply, and the texts a reading shows.
#include "transmitter/reading.h"
#include "transmitter/registermap.h"
#include "transmitter/sensortable.h"

#include <QtTest>

using namespace quorva::transmitter;

class TestRegisterMap : public QObject
{
    Q_OBJECT
private slots:
    void wordsToValues_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("value");
        QTest::newRow("0000") << 0x0000 << 0;
        QTest::newRow("7FFF") << 0x7FFF << 32767;
        QTest::newRow("8000 reads positive") << 0x8000 << 32768;
        QTest::newRow("8001") << 0x8001 << -32767;
        QTest::newRow("FFFB") << 0xFFFB << -5;
        QTest::newRow("FFFF") << 0xFFFF << -1;
    }
    void wordsToValues()
    {
        QFETCH(int, word);
        QFETCH(int, value);
        QCOMPARE(wordToValue(quint16(word)), value);
        QCOMPARE(valueToWord(value), quint16(word));
    }

    void valuesBeyondSixteenBitsWrap()
    {
        QCOMPARE(valueToWord(-2000), quint16(0xF830));
        QCOMPARE(valueToWord(65537), quint16(0x0001));
        QCOMPARE(valueToWord(-32768), quint16(0x8000));
    }

    void decodeFillsSlotsFromRegisterOne()
    {
        std::vector<quint16> words;
        for (int i = 0; i < 37; ++i)
            words.push_back(quint16(0xFFFF - i));
        RegisterImage image = decodeRegisterImage(words);
        QCOMPARE(image[0], -1);
        QCOMPARE(image[36], -37);
        QCOMPARE(image[37], 0);
        // Sixty words fill fifty slots and no more.
        image = decodeRegisterImage(std::vector<quint16>(60, 9));
        QCOMPARE(image[49], 9);
    }

    void readingTexts()
    {
        QCOMPARE(zeroAdjustText(-25), "-2,5");
        QCOMPARE(zeroAdjustText(0), "0,0");
        QCOMPARE(zeroAdjustText(5), "0,5");
        QCOMPARE(rangeValueText(-2000), "-200");
        QCOMPARE(rangeValueText(6500), "650");
        QCOMPARE(firmwareText(150), "1,50");
        QCOMPARE(firmwareText(151), "");
        QCOMPARE(firmwareText(101), "1,01");
        QCOMPARE(measuredValueText(0, 235).value, "23,5");
        QCOMPARE(measuredValueText(0, 235).unit, "°C");
        QCOMPARE(measuredValueText(8, 12346).value, "1235,0");
        QCOMPARE(measuredValueText(-1, 235).value, "235");
        QCOMPARE(measuredValueText(-1, 235).unit, "");
        QCOMPARE(measuredValueText(kPressureSensorType, 235).unit, "Pressão");
    }

    void activityCycle()
    {
        qint8 counter = 0;
        QStringList texts;
        for (int i = 0; i < 5; ++i) {
            texts << activityText(counter);
            counter = nextActivityCounter(counter);
        }
        QCOMPARE(texts, (QStringList{"Leitura efetuada -->>", "Leitura efetuada        -->>",
                                     "Leitura efetuada                -->>", "Leitura efetuada",
                                     "Leitura efetuada -->>"}));
    }

    void sensorTables()
    {
        RangeCaptions r;
        QVERIFY(rangeCaptionsFor(8, r));
        QCOMPARE(r.range, " 500 a 1820°C");
        QCOMPARE(r.lower, "500");
        QVERIFY(rangeCaptionsFor(3, r));
        RangeCaptions s;
        QVERIFY(rangeCaptionsFor(4, s));
        QCOMPARE(r.range, s.range);
        QCOMPARE(r.upper, s.upper);
        for (int i = 0; i < 9; ++i) {
            QVERIFY(rangeCaptionsFor(i, r));
            QCOMPARE(r.span, i == 0 ? "40°C" : "100°C");
            QCOMPARE(r.span, QString::number(kSensorTypes[size_t(i)].minimumSpan) + "°C");
            // The default range is the two ends of the range shown.
            QCOMPARE(r.range.trimmed(), r.lower + " a " + r.upper + "°C");
        }
        QVERIFY(rangeCaptionsFor(-1, r));
        QVERIFY(r.range.isEmpty() && r.lower.isEmpty());
        QVERIFY(!rangeCaptionsFor(9, r));
        QCOMPARE(QString::fromUtf8(optionsForModel(10).directionItems[0]), "0 a 10 V");
        QCOMPARE(QString::fromUtf8(optionsForModel(421).modelName), "TRV-B");
        QCOMPARE(QString::fromUtf8(optionsForModel(0).modelName), "");
        QCOMPARE(QString::fromUtf8(optionsForModel(7).sensorErrorItems[1]),
                 "Sinal de Saída <  4 mA");
    }
};

QTEST_APPLESS_MAIN(TestRegisterMap)
#include "tst_registermap.moc"
