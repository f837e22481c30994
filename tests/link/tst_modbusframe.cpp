// Test vectors: every frame below, request or reply, was framed with
// pymodbus 3.0 (pymodbus.utilities.computeCRC) and is written out here; a
// wrong CRC-16/MODBUS spoils them all.
#include "link/modbusframe.h"

#include <QtTest>

using namespace quorva::link;

class TestModbusFrame : public QObject
{
    Q_OBJECT
private slots:
    // The poll; register 0 (one before the first) wraps to FFFF; 101
    // registers are capped to 100.
    void readRequests()
    {
        QCOMPARE(buildReadRequest(1, 1, 37).bytes.toHex(), "0103000000258411");
        QCOMPARE(buildReadRequest(1, 0, 1).bytes.toHex(), "0103ffff0001842e");
        QCOMPARE(buildReadRequest(1, 1, 101).bytes.toHex(), "0103000000644421");
    }

    void replies_data()
    {
        QTest::addColumn<bool>("isWrite");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("exceptionCode");
        auto row = [](const char* name, bool write, const char* hex, ReplyFault f, int code = 0) {
            QTest::newRow(name) << write << QByteArray::fromHex(hex) << int(f) << code;
        };
        row("read of two words", false, "01030400ebfffb8a74", ReplyFault::None);
        row("CRC bytes exchanged", false, "01030400ebfffb748a", ReplyFault::BadCrc);
        row("one bit off", false, "01030400ebfffa8a74", ReplyFault::BadCrc);
        row("another slave", false, "02030400ebfffbb974", ReplyFault::WrongSlave);
        row("another function", false, "01040400ebfffb8bc3", ReplyFault::WrongFunction);
        row("byte count short", false, "01030200ebf80b", ReplyFault::BadByteCount);
        row("byte count lies", false, "01030600ebfffbf3b4", ReplyFault::BadByteCount);
        row("exception 2", false, "018302c0f1", ReplyFault::Exception, 2);
        row("too short", false, "0103", ReplyFault::Truncated);
        row("write echo", true, "01100000000b81ce", ReplyFault::None);
        row("echo of another quantity", true, "01100000000a400e", ReplyFault::BadEcho);
        row("echo of another address", true, "01100001000bd00e", ReplyFault::BadEcho);
        row("write exception 4", true, "0190044dc3", ReplyFault::Exception, 4);
        row("read reply to a write", true, "01030400ebfffb8a74", ReplyFault::WrongFunction);
    }
    void replies()
    {
        QFETCH(bool, isWrite);
        QFETCH(QByteArray, reply);
        QFETCH(int, fault);
        QFETCH(int, exceptionCode);
        const RequestFrame request =
            isWrite ? buildWriteRequest(1, 1, 11, std::array<qint32, 11>{}.data())
                    : buildReadRequest(1, 1, 2);
        const ParsedReply parsed = parseReply(request, reply);
        QCOMPARE(int(parsed.fault), fault);
        QCOMPARE(parsed.exceptionCode, exceptionCode);
        // Only a good read reply has words; a good echo names the request's registers.
        QCOMPARE(parsed.words, (parsed.ok() && !isWrite ? std::vector<quint16>{0x00EB, 0xFFFB}
                                                        : std::vector<quint16>{}));
        if (parsed.ok() && isWrite)
            QCOMPARE(std::make_pair(parsed.echoStart, parsed.echoQuantity),
                     std::make_pair(quint16(0), quint16(11)));
    }
};

QTEST_APPLESS_MAIN(TestModbusFrame)
#include "tst_modbusframe.moc"
