// The configuration write against a scripted transmitter in simulated time:
// only an echo followed by a read-back that holds every value sent confirms;
// what differs is named by register, and a write that never went out says so.
// What the window and the command line show of each outcome is their tests'.
#include "fuzz/rtu.h"
#include "scripteddriver.h"
#include "transmitter/writeprocedure.h"

#include <QtTest>

using namespace quorva;
using transmitter::WriteOutcome;
using transmitter::WriteReport;

namespace {
// Zero -0,5, Termopar K, -100,0 to 1370,0, the second sensor-error item.
constexpr transmitter::WriteImage kImage{0, 0, 0, -5, 2, -1000, 13700, 1, 0, 0, 0};
} // namespace

class TestWriteProcedure : public QObject
{
    Q_OBJECT

private slots:
    // echo: the slave's answer to the write ("" none); stored: the registers
    // it reads back differently, register number to word ("none": no answer);
    // outcome -1: cancelled at the echo.
    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("echo");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("refuseSend");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("linkOutcome");
        QTest::addColumn<QStringList>("differences"); // slot: written -> read
        const QByteArray echo = "01100000000b81ce";   // pymodbus's echo of the write
        const auto row = [](const char* name, const QByteArray& echo, const char* stored,
                            WriteOutcome outcome, link::ReplyOutcome linkOutcome,
                            const QStringList& differences = {}, bool refuse = false) {
            QTest::newRow(name) << echo << QString::fromLatin1(stored) << refuse << int(outcome)
                                << int(linkOutcome) << differences;
        };
        using link::ReplyOutcome;
        row("echoed, read back as sent", echo, "", WriteOutcome::Confirmed, ReplyOutcome::Reply);
        row("no echo", "", "", WriteOutcome::EchoFailed, ReplyOutcome::NoReply);
        row("exception 4", rtu::sealed(QByteArray::fromHex("019004")).toHex(), "",
            WriteOutcome::EchoFailed, ReplyOutcome::Exception);
        row("write refused by the driver", "", "", WriteOutcome::EchoFailed,
            ReplyOutcome::SendFailed, {}, true);
        // Cancelled once echoed (a command line interrupted meanwhile): the
        // read-back never goes out and nothing is reported.
        row("cancelled at the echo", echo, "", WriteOutcome(-1), ReplyOutcome::Reply);
        row("read-back unanswered", echo, "none", WriteOutcome::ReadBackFailed,
            ReplyOutcome::NoReply);
        // Words read back as values: 8000 is +32768, not the -5 sent.
        row("kept its old values", echo, "4=8000 6=0000 8=0000", WriteOutcome::ReadBackDiffers,
            ReplyOutcome::Reply, {"3: -5 -> 32768", "5: -1000 -> 0", "7: 1 -> 0"});
    }
    void outcomes()
    {
        QFETCH(QByteArray, echo);
        QFETCH(QString, stored);
        QFETCH(bool, refuseSend);
        QFETCH(int, outcome);
        QFETCH(int, linkOutcome);
        QFETCH(QStringList, differences);
        ScriptedLine line(false);
        line.driver.slave = [&](const QByteArray& request, qint64 at) {
            QByteArray reply = QByteArray::fromHex(echo);
            if (request.at(1) == 3) { // the read-back: registers 1 to 11 as written, then zeros
                if (stored == "none")
                    return;
                QByteArray words = line.driver.writes.first().bytes.mid(7, 22).leftJustified(74, 0);
                for (const QString& change : stored.split(u' ', Qt::SkipEmptyParts))
                    words.replace(2 * (change.section(u'=', 0, 0).toInt() - 1), 2,
                                  QByteArray::fromHex(change.section(u'=', 1).toLatin1()));
                reply = rtu::sealed(QByteArray::fromHex("01034a") + words);
            }
            if (!reply.isEmpty())
                line.driver.arriveAt(at + 5000, reply);
        };
        if (refuseSend)
            line.driver.writeStatus = link::DriverStatusCode::IoError;
        transmitter::ConfigurationWrite write(line.master);
        QList<WriteReport> reports;
        connect(&write, &transmitter::ConfigurationWrite::finished,
                [&](const WriteReport& r) { reports << r; });
        if (outcome < 0)
            connect(&write, &transmitter::ConfigurationWrite::echoed, [&] { write.cancel(); });
        QVERIFY(write.start(kImage));
        line.runMs(3000);
        QCOMPARE(reports.size(), outcome < 0 ? 0 : 1);
        if (outcome < 0) {
            QCOMPARE(line.driver.writes.size(), 1);
            return;
        }
        const WriteReport& r = reports.first();
        QCOMPARE(int(r.outcome), outcome);
        QCOMPARE(int(r.result.outcome), linkOutcome);
        QCOMPARE(r.sent(), !refuseSend);
        QStringList said;
        for (const transmitter::WriteDifference& d : r.differences)
            said << QStringLiteral("%1: %2 -> %3").arg(d.slot).arg(d.written).arg(d.read);
        QCOMPARE(said, differences);
        // The read-back goes out only once the write was echoed.
        QCOMPARE(line.driver.writes.size(), r.echoed() ? 2 : refuseSend ? 0 : 1);
        QVERIFY(!write.active());
    }
};

QTEST_GUILESS_MAIN(TestWriteProcedure)
#include "tst_writeprocedure.moc"
