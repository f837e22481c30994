// The transmitter as a slave: what it answers in words, and the frames it
// sends for them on the line, faults included. Expected frames are written
// out with their CRC as pymodbus computes it.
#include "fixtures.h"
#include "sim/slaveframe.h"

#include <QtTest>

using namespace quorva::sim;
using Kind = ModelReply::Kind;

Q_DECLARE_METATYPE(std::vector<quint16>)

class TestTransmitterModel : public QObject
{
    Q_OBJECT

    static std::vector<quint16> words(std::initializer_list<quint16> list) { return list; }

private slots:
    void answersInWords_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("quantity");
        QTest::addColumn<std::vector<quint16>>("values");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("exception");
        QTest::addColumn<std::vector<quint16>>("answer");
        QTest::addColumn<int>("zeroAfter"); // register 4, the zero adjustment
        auto row = [](const char* name, Fault fault, int function, int first, int quantity,
                      std::vector<quint16> values, Kind kind, int exception,
                      std::vector<quint16> answer, int zeroAfter) {
            QTest::newRow(name) << int(fault) << function << first << quantity << values
                                << int(kind) << exception << answer << zeroAfter;
        };
        const std::vector<quint16> eleven{100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110};
        // Factory values: 23,5 °C, Pt100 from -200 to 650 °C, firmware 1,01, TRV-A.
        row("measured value", Fault::None, 3, 1, 3, {}, Kind::Answer, 0, words({0, 235, 0}), 0);
        row("configuration", Fault::None, 3, 4, 8, {}, Kind::Answer, 0,
            words({0, 0, 0xF830, 6500, 0, 0, 101, 420}), 0);
        row("last register", Fault::None, 3, 37, 1, {}, Kind::Answer, 0, words({0}), 0);
        row("past the last", Fault::None, 3, 37, 2, {}, Kind::Exception, 2, {}, 0);
        row("no register", Fault::None, 3, 1, 0, {}, Kind::Exception, 3, {}, 0);
        row("126 registers", Fault::None, 3, 1, 126, {}, Kind::Exception, 3, {}, 0);
        row("function 4", Fault::None, 4, 1, 1, {}, Kind::Exception, 1, {}, 0);
        row("write", Fault::None, 16, 1, 11, eleven, Kind::Answer, 0, {}, 103);
        row("write short of values", Fault::None, 16, 4, 2, words({7}), Kind::Exception, 3, {}, 0);
        row("write past the last", Fault::None, 16, 37, 2, words({1, 2}), Kind::Exception, 2, {},
            0);
        row("no reply", Fault::NoReply, 16, 1, 11, eleven, Kind::Silence, 0, {}, 0);
        row("exception 2", Fault::ExceptionReply, 3, 1, 3, {}, Kind::Exception, 2, {}, 0);
        row("refuse-writes read", Fault::RefuseWrites, 3, 4, 1, {}, Kind::Answer, 0, words({0}), 0);
        row("refuse-writes write", Fault::RefuseWrites, 16, 1, 11, eleven, Kind::Exception, 4, {},
            0);
        row("ignore-writes", Fault::IgnoreWrites, 16, 1, 11, eleven, Kind::Answer, 0, {}, 0);
        row("line fault", Fault::BadCrc, 16, 1, 11, eleven, Kind::Answer, 0, {}, 103);
    }

    void answersInWords()
    {
        QFETCH(int, fault);
        QFETCH(int, function);
        QFETCH(int, first);
        QFETCH(int, quantity);
        QFETCH(std::vector<quint16>, values);
        QFETCH(int, kind);
        QFETCH(int, exception);
        QFETCH(std::vector<quint16>, answer);
        QFETCH(int, zeroAfter);
        TransmitterModel model;
        model.setDrift(false);
        const ModelRequest request{quint8(function), first, quantity, values, true};
        const ModelReply reply = model.answer(request, 0, {Fault(fault), 2});
        QCOMPARE(int(reply.kind), kind);
        QCOMPARE(int(reply.exceptionCode), exception);
        QVERIFY(reply.words == answer);
        QCOMPARE(int(model.reg(4)), zeroAfter);
        // The device's own registers are never written.
        QCOMPARE(model.reg(1), quint16(0));
        QCOMPARE(model.reg(2), fixtures::kMeasuredTenths);
        QCOMPARE(model.reg(3), quint16(0));
        QCOMPARE(model.reg(10), fixtures::kFirmware);
        QCOMPARE(model.reg(11), fixtures::kModelTrvA);
    }

    void framesOnTheLine_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArrayList>("bursts");
        const QByteArray read = "01 03 00 09 00 02 14 09"; // registers 10 and 11
        const QByteArray reply = "01 03 04 00 65 01 A4 EA 07";
        auto row = [](const char* name, const QByteArray& request, Fault fault,
                      const QByteArrayList& bursts) {
            QTest::newRow(name) << request << int(fault) << bursts;
        };
        row("read", read, Fault::None, {reply});
        row("bad crc", read, Fault::BadCrc, {"01 03 04 00 65 01 A4 EA 5D"});
        row("other slave", read, Fault::OtherSlave, {"02 03 04 00 65 01 A4 D9 07"});
        row("wrong function", read, Fault::WrongFunction, {"01 04 04 00 65 01 A4 EB B0"});
        row("wrong byte count", read, Fault::WrongByteCount, {"01 03 02 00 65 78 6F"});
        row("truncated", read, Fault::TruncatedReply, {"01 03 04 00"});
        row("noise", read, Fault::NoiseBeforeReply, {"FF 00 55", reply});
        row("double reply", read, Fault::DoubleReply, {reply, reply});
        row("flood", read, Fault::Flood,
            {QByteArray(1100, char(0xAA)).toHex(' ').toUpper(), reply});
        row("exception", read, Fault::ExceptionReply, {"01 83 03 01 31"});
        row("past the last", "01 03 00 24 00 02 84 00", Fault::None, {"01 83 02 C0 F1"});
        row("function 4", "01 04 00 00 00 01 31 CA", Fault::None, {"01 84 01 82 C0"});
        row("write", "01 10 00 03 00 01 02 FF FB A6 10", Fault::None, {"01 10 00 03 00 01 F1 C9"});
        row("byte count disagrees", "01 10 00 03 00 02 02 FF FB A6 54", Fault::None,
            {"01 90 03 0C 01"});
        row("refused write", "01 10 00 03 00 01 02 FF FB A6 10", Fault::RefuseWrites,
            {"01 90 04 4D C3"});
        row("another slave's request", "02 03 00 00 00 01 84 39", Fault::None, {});
        row("spoilt request", "01 03 00 00 00 01 84 0B", Fault::None, {});
        row("too short", "01 03 00 00 84 0B", Fault::None, {});
    }

    void framesOnTheLine()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, fault);
        QFETCH(QByteArrayList, bursts);
        TransmitterModel model;
        model.setDrift(false);
        QByteArrayList sent;
        for (const QByteArray& burst :
             answerFrame(model, QByteArray::fromHex(request), 0, {Fault(fault), 3}))
            sent << burst.toHex(' ').toUpper();
        QCOMPARE(sent, bursts);
    }

    void temperatureDriftsSlowly()
    {
        TransmitterModel model;
        const ModelRequest poll{3, 2, 1, {}, true};
        QSet<int> seen;
        for (int s = 1; s <= 120; ++s) {
            const int tenths = qint16(model.answer(poll, s * 1'000'000LL).words.at(0));
            QVERIFY2(qAbs(tenths - fixtures::kMeasuredTenths) <= 25,
                     qPrintable(QString::number(tenths)));
            seen.insert(tenths);
        }
        QVERIFY(seen.size() > 5);
    }
};

QTEST_APPLESS_MAIN(TestTransmitterModel)
#include "tst_transmittermodel.moc"
