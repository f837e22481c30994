// Test vectors: the CRC check value is the one published for CRC-16/MODBUS
// ("123456789" -> 0x4B37); the request frames were cross-checked with
// pymodbus 3.0's ModbusRtuFramer (python3-pymodbus) and mbpoll -v.
#include "link/modbusframe.h"

#include <QtTest>

using namespace quorva::link;

namespace {
QByteArray bytesOf(const RequestFrame& f)
{
    return QByteArray(reinterpret_cast<const char*>(f.bytes.data()), f.length);
}
const quint8* u8(const QByteArray& b)
{
    return reinterpret_cast<const quint8*>(b.constData());
}
} // namespace

class TestModbusFrame : public QObject
{
    Q_OBJECT
private slots:
    void crcCheckValue()
    {
        const QByteArray text("123456789");
        QCOMPARE(Crc16(u8(text), 0, 9), quint16(0x374B)); // 0x4B37 with its bytes exchanged
        QCOMPARE(Crc16(u8(text), 0, 0), quint16(0xFFFF));
        QCOMPARE(Crc16(u8(text), 5, 3), quint16(0xFFFF));
    }

    void appendCrcWritesLowByteFirstAndASpareZero()
    {
        std::array<quint8, 9> frame{0x01, 0x03, 0x00, 0x00, 0x00, 0x25, 0xEE, 0xEE, 0xEE};
        AppendCrc(frame.data(), 6);
        QCOMPARE(frame[6], quint8(0x84));
        QCOMPARE(frame[7], quint8(0x11));
        QCOMPARE(frame[8], quint8(0x00));
    }

    void readFrames_data()
    {
        QTest::addColumn<int>("slave");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("01 03 00 00 00 25 84 11") << 1 << 1 << 37
                                                 << QByteArray::fromHex("010300000025"
                                                                        "8411");
        QTest::newRow("register 0 wraps to FFFF")
            << 1 << 0 << 1 << QByteArray::fromHex("0103FFFF0001");
        QTest::newRow("101 capped to 100") << 1 << 1 << 101 << QByteArray::fromHex("010300000064");
    }
    void readFrames()
    {
        QFETCH(int, slave);
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(QByteArray, wire);
        const RequestFrame f = buildReadFrame(slave, first, count);
        QCOMPARE(f.length, 8);
        QCOMPARE(bytesOf(f).left(6), wire.left(6));
        if (wire.size() == 8)
            QCOMPARE(bytesOf(f), wire);
        // Whatever the head, the frame's own CRC checks.
        QCOMPARE(Crc16(f.bytes.data(), 0, 6), quint16((f.bytes[6] << 8) | f.bytes[7]));
    }

    void writeFrames_data()
    {
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("eleven zeros end 60 AC")
            << QList<int>(11, 0)
            << QByteArray::fromHex("01100000000B16" + QByteArray(44, '0') + "60AC");
        QTest::newRow("configuration row ends DC 39")
            << QList<int>{0, 0, 0, -5, 0, -2000, 6500, 1, 0, 0, 0}
            << QByteArray::fromHex("01 10 00 00 00 0B 16 00 00 00 00 00 00 FF FB 00 00 F8 30 19 64 "
                                   "00 01 00 00 00 00 00 00 DC 39");
    }
    void writeFrames()
    {
        QFETCH(QList<int>, values);
        QFETCH(QByteArray, wire);
        std::vector<qint32> v(values.begin(), values.end());
        const RequestFrame f = buildWriteFrame(1, 1, 11, v.data());
        QCOMPARE(f.length, 31);
        QCOMPARE(bytesOf(f).toHex(' '), wire.toHex(' '));
    }

    void writeValuesGoOutAsLowSixteenBits()
    {
        const std::array<qint32, 2> v{-1, 65537};
        const RequestFrame f = buildWriteFrame(1, 1, 2, v.data());
        QCOMPARE(bytesOf(f).mid(7, 4), QByteArray::fromHex("FFFF0001"));
    }

    void writeCountCappedTo100()
    {
        std::vector<qint32> v(120, 7);
        const RequestFrame f = buildWriteFrame(1, 1, 120, v.data());
        QCOMPARE(f.length, 9 + 200);
        QCOMPARE(int(f.bytes[5]), 100);
        QCOMPARE(int(f.bytes[6]), 200);
    }

    void replyChecks_data()
    {
        QTest::addColumn<bool>("isWrite");
        QTest::addColumn<QByteArray>("body"); // reply without CRC; the CRC is appended
        QTest::addColumn<bool>("spoilCrc");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("exceptionCode");
        const QByteArray twoWords = QByteArray::fromHex("010304"
                                                        "00EB"
                                                        "FFFB");
        QTest::newRow("valid read") << false << twoWords << false << int(ReplyFault::None) << 0;
        QTest::newRow("bad crc") << false << twoWords << true << int(ReplyFault::BadCrc) << 0;
        QTest::newRow("other slave") << false
                                     << QByteArray::fromHex("020304"
                                                            "00EB"
                                                            "FFFB")
                                     << false << int(ReplyFault::WrongSlave) << 0;
        QTest::newRow("other function") << false
                                        << QByteArray::fromHex("010404"
                                                               "00EB"
                                                               "FFFB")
                                        << false << int(ReplyFault::WrongFunction) << 0;
        QTest::newRow("byte count short") << false
                                          << QByteArray::fromHex("010302"
                                                                 "00EB")
                                          << false << int(ReplyFault::BadByteCount) << 0;
        QTest::newRow("byte count lies") << false
                                         << QByteArray::fromHex("010306"
                                                                "00EB"
                                                                "FFFB")
                                         << false << int(ReplyFault::BadByteCount) << 0;
        QTest::newRow("exception 2")
            << false << QByteArray::fromHex("018302") << false << int(ReplyFault::Exception) << 2;
        QTest::newRow("write echo")
            << true << QByteArray::fromHex("01100000000B") << false << int(ReplyFault::None) << 0;
        QTest::newRow("write echo of other quantity") << true << QByteArray::fromHex("01100000000A")
                                                      << false << int(ReplyFault::BadEcho) << 0;
        QTest::newRow("write echo of other address") << true << QByteArray::fromHex("01100001000B")
                                                     << false << int(ReplyFault::BadEcho) << 0;
        QTest::newRow("write exception 4")
            << true << QByteArray::fromHex("019004") << false << int(ReplyFault::Exception) << 4;
        QTest::newRow("read reply to a write")
            << true << twoWords << false << int(ReplyFault::WrongFunction) << 0;
    }
    void replyChecks()
    {
        QFETCH(bool, isWrite);
        QFETCH(QByteArray, body);
        QFETCH(bool, spoilCrc);
        QFETCH(int, fault);
        QFETCH(int, exceptionCode);
        std::array<qint32, 11> values{};
        const RequestFrame request =
            isWrite ? buildWriteFrame(1, 1, 11, values.data()) : buildReadFrame(1, 1, 2);
        QByteArray reply = body + QByteArray(3, '\0');
        AppendCrc(reinterpret_cast<quint8*>(reply.data()), body.size());
        reply.chop(1);
        if (spoilCrc)
            reply[reply.size() - 1] = char(reply.back() ^ 0x01);
        const ReplyCheck check = checkReply(request, u8(reply), int(reply.size()));
        QCOMPARE(int(check.fault), fault);
        QCOMPARE(check.exceptionCode, exceptionCode);
    }

    void crcBytesInTheWrongOrderAreRejected()
    {
        QByteArray reply = QByteArray::fromHex("010302"
                                               "00EB") +
                           QByteArray(3, '\0');
        AppendCrc(reinterpret_cast<quint8*>(reply.data()), 5);
        reply.chop(1);
        std::swap(reply[5], reply[6]);
        QCOMPARE(checkReply(buildReadFrame(1, 1, 1), u8(reply), 7).fault, ReplyFault::BadCrc);
    }

    void expectedLengths()
    {
        const RequestFrame read = buildReadFrame(1, 1, 37);
        const std::array<qint32, 11> v{};
        const RequestFrame write = buildWriteFrame(1, 1, 11, v.data());
        const quint8 exception[] = {0x01, 0x83};
        const quint8 normal[] = {0x01, 0x03};
        QCOMPARE(expectedReplyLength(read, normal, 0), 79);
        QCOMPARE(expectedReplyLength(read, normal, 2), 79);
        QCOMPARE(expectedReplyLength(read, exception, 2), 5);
        QCOMPARE(expectedReplyLength(write, normal, 2), 8);
        QCOMPARE(expectedReplyLength(read, exception, 1), 79); // not known from one byte
        QCOMPARE(checkReply(read, normal, 2).fault, ReplyFault::Truncated);
    }
};

QTEST_APPLESS_MAIN(TestModbusFrame)
#include "tst_modbusframe.moc"
