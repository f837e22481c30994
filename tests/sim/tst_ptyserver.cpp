// The transmitter served on a pseudo-terminal, reached through the device
// file as any master would reach it. Frames are written out literally.
#include "link/modbusframe.h"
#include "sim/ptyserver.h"
#include "sim/slaveframe.h"

#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace quorva::sim;

namespace {
// Opens the served device as a master would, raw and without blocking.
class Terminal
{
public:
    explicit Terminal(const QString& path)
        : m_fd(::open(qPrintable(path), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {}
    ~Terminal()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }

    bool send(const char* hex)
    {
        const QByteArray bytes = QByteArray::fromHex(hex);
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
    }
    // What arrives until `size` bytes are in or the time is up.
    QByteArray receive(qsizetype size, int timeoutMs = 2000)
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (got.size() < size && timer.elapsed() < timeoutMs) {
            QTest::qWait(2);
            char chunk[512];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n > 0)
                got.append(chunk, qsizetype(n));
        }
        return got;
    }

private:
    int m_fd;
};
} // namespace

class TestPtyServer : public QObject
{
    Q_OBJECT

private slots:
    void servesReadsAndWritesPacedAsOnTheLine()
    {
        TransmitterModel device;
        device.setDrift(false);
        PtyServer server(device);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        Terminal terminal(server.devicePath());
        QVERIFY(terminal.isOpen());

        QElapsedTimer t;
        t.start();
        QVERIFY(terminal.send("01 03 00 00 00 25 84 11"));
        const QByteArray reply = terminal.receive(79);
        // Paced as on the line: 87 characters at 9600 baud.
        QVERIFY2(t.elapsed() >= 85, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(reply.size(), 79);
        QCOMPARE(reply.left(3).toHex(' '), "01 03 4a");
        QCOMPARE(reply.mid(21, 2).toHex(' '), "00 65"); // register 10, firmware 1,01
        QVERIFY(quorva::link::hasValidCrc(reply));

        // Eleven zeros from register 1: the device keeps its own registers.
        QVERIFY(terminal.send("01 10 00 00 00 0B 16 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                              "00 00 00 00 00 00 00 60 AC"));
        QCOMPARE(terminal.receive(8).toHex(' '), "01 10 00 00 00 0b 81 ce");
        QCOMPARE(device.reg(7), quint16(0));
        QCOMPARE(device.reg(11), quint16(420));

        // A flood of requests: a slave still answering hears only a few ahead.
        for (int i = 0; i < 10; ++i)
            QVERIFY(terminal.send("01 03 00 09 00 02 14 09"));
        const QByteArray answers = terminal.receive(10 * 9, 500);
        QCOMPARE(answers.size(), kMaxAnswersWaiting * 9);
    }

    void strayBytesBeforeAFrameAreSkipped()
    {
        TransmitterModel device;
        PtyServer server(device);
        server.setPacing(false);
        QVERIFY(server.start(nullptr));
        Terminal terminal(server.devicePath());
        QVERIFY(terminal.isOpen());
        QVERIFY(terminal.send("FF 00 01 03 00 09 00 02 14 09"));
        QCOMPARE(terminal.receive(9).toHex(' '), "01 03 04 00 65 01 a4 ea 07");
        server.setFault(Fault::ExceptionReply, 2);
        QVERIFY(terminal.send("01 03 00 09 00 02 14 09"));
        QCOMPARE(terminal.receive(5).toHex(' '), "01 83 02 c0 f1");
    }
};

QTEST_GUILESS_MAIN(TestPtyServer)
#include "tst_ptyserver.moc"
