// The fault matrix: every fault class the link can meet, injected into the
// virtual transmitter while the window reads it. For each: what the window
// shows, that no value is shown that the device did not send, that nothing
// is written to the device, and that the window recovers. With
// QUORVA_FAULT_MATRIX=<file> the observed rows are written as a Markdown table.
#include "transmitter/reading.h"
#include "windowrig.h"

#include <QFile>

using Fault = quorva::sim::VirtualTransmitter::Fault;
using namespace quorva::transmitter;

namespace {

enum class When {
    Reading,        // injected before a tick
    MidTransaction, // injected after the request went out
    Idle,           // injected while connected with reading off, then reading starts
    Slow,           // the device answers after the response timeout
};

QStringList g_rows;

QString quoted(const QString& text)
{
    return QStringLiteral("\"%1\"").arg(text);
}

} // namespace

class TestFaultMatrix : public QObject
{
    Q_OBJECT

    // Ticks come a second apart, as the timer gives them.
    static void toNextSecond(WindowRig& w)
    {
        const qint64 ms = w.clock.nowUs() / 1000;
        w.clock.advanceMs(1000 - ms % 1000);
        w.master.service();
    }

private slots:
    void faults_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("when");
        QTest::addColumn<QString>("label6");
        QTest::addColumn<QStringList>("messages");
        const QString silent = QStringLiteral("* Falha de comunicação *");
        const QStringList sendFailed{"Erro ao tentar enviar dados.",
                                     "Erro ao abrir o dispositivo USB."};
        const QStringList receiveFailed{"Erro ao tentar receber dados.",
                                        "Erro ao abrir o dispositivo USB."};
        auto row = [](const char* name, const char* title, Fault f, When when, int code,
                      const QString& label6, const QStringList& messages = {}) {
            QTest::newRow(name) << QString::fromUtf8(title) << int(f) << code << int(when) << label6
                                << messages;
        };
        row("no reply", "No reply", Fault::NoReply, When::Reading, 0, silent);
        row("wrong crc", "Wrong CRC", Fault::BadCrc, When::Reading, 0, " ");
        row("exception 1", "Exception reply, code 1 (illegal function)", Fault::ExceptionReply,
            When::Reading, 1, exceptionText(1));
        row("exception 2", "Exception reply, code 2 (illegal data address)", Fault::ExceptionReply,
            When::Reading, 2, exceptionText(2));
        row("exception 3", "Exception reply, code 3 (illegal data value)", Fault::ExceptionReply,
            When::Reading, 3, exceptionText(3));
        row("exception 4", "Exception reply, code 4 (slave device failure)", Fault::ExceptionReply,
            When::Reading, 4, exceptionText(4));
        row("other slave", "Reply from another slave", Fault::OtherSlave, When::Reading, 0, " ");
        row("wrong function", "Reply with another function code", Fault::WrongFunction,
            When::Reading, 0, " ");
        row("wrong byte count", "Reply with a wrong byte count", Fault::WrongByteCount,
            When::Reading, 0, " ");
        row("truncated", "Truncated reply", Fault::TruncatedReply, When::Reading, 0, " ");
        row("noise", "Noise before the reply", Fault::NoiseBeforeReply, When::Reading, 0, " ");
        row("two replies", "Two replies queued", Fault::DoubleReply, When::Reading, 0, " ");
        row("over-long queue", "Over-long queue (1100 stray bytes, then the reply)", Fault::Flood,
            When::Reading, 0, " ");
        row("late reply", "Reply later than the response timeout", Fault::None, When::Slow, 0,
            silent);
        row("write refused", "Driver write refused", Fault::WriteRefused, When::Reading, 0, " ",
            sendFailed);
        row("read refused", "Driver read refused", Fault::ReadRefused, When::Reading, 0, " ",
            receiveFailed);
        row("pulled while reading", "Cable pulled while reading", Fault::Unplugged,
            When::MidTransaction, 0, " ", receiveFailed);
        row("pulled while idle", "Cable pulled while idle", Fault::Unplugged, When::Idle, 0, " ",
            sendFailed);
    }

    void faults()
    {
        QFETCH(QString, title);
        QFETCH(int, fault);
        QFETCH(int, code);
        QFETCH(int, when);
        QFETCH(QString, label6);
        QFETCH(QStringList, messages);
        WindowRig w;
        w.connectAndRead();
        const ShownValues before = shownBy(w.form);
        QCOMPARE(before, sentBy(w.device));
        toNextSecond(w);
        // New values on the device: a stale or mangled reading would show.
        w.device.setRegister(2, 512);
        w.device.setRegister(6, quint16(-1230));
        w.device.setRegister(10, 123);
        std::array<quint16, 9> registers{};
        for (int n = 2; n <= 10; ++n)
            registers[size_t(n - 2)] = w.device.reg(n + 1);

        const qint8 counterBefore = w.flags.StatusAnimation;
        switch (When(when)) {
        case When::Reading:
            w.device.setFault(Fault(fault), code);
            w.poll();
            break;
        case When::MidTransaction:
            w.form.Timer1Timer(w.form.Timer1);
            w.clock.advanceMs(40); // the reply is on its way
            w.master.service();
            w.device.setFault(Fault(fault), code);
            w.settle();
            break;
        case When::Idle:
            WindowRig::click(w.form.transmite); // reading off, still connected
            w.device.setFault(Fault(fault), code);
            w.clock.advanceMs(5000);
            WindowRig::click(w.form.transmite);
            w.poll();
            break;
        case When::Slow:
            w.device.setTurnaroundMs(900);
            w.poll();
            toNextSecond(w);
            w.poll();
            break;
        }

        // Never a value the device did not send, never a write.
        const ShownValues after = shownBy(w.form);
        // An accepted reading steps the activity counter; nothing else does.
        const bool accepted = w.flags.StatusAnimation != counterBefore;
        const ShownValues expected = accepted ? sentBy(w.device) : before;
        QVERIFY2(after == expected, qPrintable(after.describe() + " vs " + expected.describe()));
        for (const auto& frame : w.device.receivedFrames())
            QCOMPARE(int(frame.at(1)), 3);
        for (int n = 2; n <= 10; ++n)
            QCOMPARE(w.device.reg(n + 1), registers[size_t(n - 2)]);

        const QString panel0 = w.panel(0);
        const QString panel1 = w.panel(1);
        const bool stillReading = w.form.Timer1->isActive();
        QCOMPARE(w.form.Label6->text(), label6);
        QCOMPARE(w.messages.messages, messages);
        // A reading refused keeps polling; a link that failed returns to disconnected.
        QCOMPARE(stillReading, messages.isEmpty());
        QCOMPARE(panel0, messages.isEmpty() ? "Conectado" : "Desconectado");
        if (!accepted && messages.isEmpty())
            QCOMPARE(panel1, "Erro de leitura");

        // And it recovers: at once, or by connecting again.
        w.device.setFault(Fault::None);
        w.device.setTurnaroundMs(quorva::sim::VirtualTransmitter::kDefaultTurnaroundMs);
        toNextSecond(w);
        QString recovery = QStringLiteral("next reading");
        if (panel0 == "Desconectado") {
            QVERIFY(w.form.btConectar->isEnabled());
            QCOMPARE(w.form.btConectar->text(), "Conectar");
            WindowRig::click(w.form.btConectar);
            QCOMPARE(w.panel(0), "Conectado");
            WindowRig::click(w.form.transmite);
            recovery = QStringLiteral("\"Conectar\", then \"Ler\"");
        } else {
            QVERIFY(stillReading);
        }
        // Bytes still on the line when the fault clears can spoil one more reading.
        int readings = 0;
        for (qint8 counter = w.flags.StatusAnimation;
             readings < 3 && w.flags.StatusAnimation == counter; ++readings) {
            w.poll();
            toNextSecond(w);
        }
        QVERIFY(w.panel(1).startsWith("Leitura efetuada"));
        QCOMPARE(shownBy(w.form), sentBy(w.device));
        if (readings > 1)
            recovery += QStringLiteral(" (reading %1 after the fault: the stray bytes outlast one)")
                            .arg(readings);

        QStringList shows;
        if (panel0 != "Conectado")
            shows << "panel 0 " + quoted(panel0);
        shows << "panel 1 " + quoted(panel1);
        if (label6 != " ")
            shows << "Label6 " + quoted(label6);
        for (const QString& m : messages)
            shows << "message " + quoted(m);
        shows << (stillReading ? "reading goes on" : "reading stopped, disconnected");
        g_rows << QStringLiteral("| %1 | %2 | %3 | nothing | %4 | `tst_faultmatrix faults(%5)` |")
                      .arg(title, shows.join("; "),
                           accepted ? "the device's new values, as sent"
                                    : "the last accepted values, unchanged",
                           recovery, QString::fromLatin1(QTest::currentDataTag()));
    }

    void cleanupTestCase()
    {
        const QString path = qEnvironmentVariable("QUORVA_FAULT_MATRIX");
        if (path.isEmpty())
            return;
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        f.write("| Fault | What the window shows | Values shown | Written to the device | "
                "Recovery | Test |\n|---|---|---|---|---|---|\n");
        f.write(g_rows.join('\n').toUtf8() + '\n');
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
