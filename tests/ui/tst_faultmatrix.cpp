// The fault matrix: every fault the link can meet, injected into the virtual
// transmitter while the window reads it. Each row states, in the window's own
// texts, whether the reply is taken and what the window must show; nothing
// but reads may reach the device (unless the technician sends), and the
// window must recover. With QUORVA_FAULT_MATRIX=<file> the rows are written
// as a Markdown table.
#include "windowrig.h"

#include <QFile>

namespace {

enum class When {
    Reading,        // injected before a tick
    MidTransaction, // injected after the request went out
    Idle,           // injected while connected with reading off, then reading starts
    Late,           // every reply `turnaround` ms late, each with another value
    StopThenSend,   // "Parar Leitura" `code` ms after a poll went out, at once "Enviar"
};

// The window shows the factory values; the fault comes with new ones. The
// measured value, V. Máx. and the firmware, before and after.
const QStringList kBefore{"Edit28: 23,5", "Edit8: 650", "Label5: 1,01"};
const QStringList kAfter{"Edit28: 51,2", "Edit8: -123", "Label5: 1,23"};
QStringList g_rows;

} // namespace

class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void faults_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("when");
        QTest::addColumn<int>("turnaround");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("label6");
        QTest::addColumn<QString>("panel1");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("state"); // reading, stopped or disconnected
        const char* silent = "* Falha de comunicação *";
        const char* failed = "Erro de leitura";
        const QStringList sendFailed{"Erro ao tentar enviar dados.",
                                     "Erro ao abrir o dispositivo USB."};
        const QStringList receiveFailed{"Erro ao tentar receber dados.",
                                        "Erro ao abrir o dispositivo USB."};
        const auto row = [](const char* title, Fault fault, int code, When when, bool taken,
                            const char* label6, const char* panel1,
                            const QStringList& messages = {}, const char* state = "reading",
                            int turnaround = 4) {
            QTest::newRow(title) << QString::fromUtf8(title) << int(fault) << code << int(when)
                                 << turnaround << taken << QString::fromUtf8(label6)
                                 << QString::fromUtf8(panel1) << messages
                                 << QString::fromUtf8(state);
        };
        const When reading = When::Reading;
        row("No reply", Fault::NoReply, 0, reading, false, silent, failed);
        row("Wrong CRC", Fault::BadCrc, 0, reading, false, " ", failed);
        row("Exception 1", Fault::ExceptionReply, 1, reading, false, "* Exceção 1: função ilegal *",
            failed);
        row("Exception 2", Fault::ExceptionReply, 2, reading, false,
            "* Exceção 2: endereço ilegal *", failed);
        row("Exception 3", Fault::ExceptionReply, 3, reading, false, "* Exceção 3: valor ilegal *",
            failed);
        row("Exception 4", Fault::ExceptionReply, 4, reading, false,
            "* Exceção 4: falha no transmissor *", failed);
        row("Reply from another slave", Fault::OtherSlave, 0, reading, false, " ", failed);
        row("Reply with another function code", Fault::WrongFunction, 0, reading, false, " ",
            failed);
        row("Reply with a wrong byte count", Fault::WrongByteCount, 0, reading, false, " ", failed);
        row("Truncated reply", Fault::TruncatedReply, 0, reading, false, " ", failed);
        row("Noise before the reply", Fault::NoiseBeforeReply, 0, reading, false, " ", failed);
        row("Two replies queued", Fault::DoubleReply, 0, reading, true, " ",
            "Leitura efetuada        -->>");
        row("1100 stray bytes, then the reply", Fault::Flood, 0, reading, false, " ", failed);
        row("Reply 900 ms late", Fault::None, 0, When::Late, false, silent, failed, {}, "reading",
            900);
        row("Reply one poll late (1050 ms)", Fault::None, 0, When::Late, false, silent, failed, {},
            "reading", 1050);
        row("Driver write refused", Fault::WriteRefused, 0, reading, false, " ",
            "Leitura efetuada -->>", sendFailed, "disconnected");
        row("Driver read refused", Fault::ReadRefused, 0, reading, false, " ", failed,
            receiveFailed, "disconnected");
        row("Cable pulled while reading", Fault::Unplugged, 0, When::MidTransaction, false, " ",
            failed, receiveFailed, "disconnected");
        row("Cable pulled while idle", Fault::Unplugged, 0, When::Idle, false, " ", "", sendFailed,
            "disconnected");
        for (int turnaround : {4, 400})
            for (int stopMs : {0, 40, 80})
                row(qPrintable(QStringLiteral("Stop %1 ms after a poll, then send at once "
                                              "(device answers in %2 ms)")
                                   .arg(stopMs)
                                   .arg(turnaround)),
                    Fault::None, stopMs, When::StopThenSend, false, " ", "Enviado...", {},
                    "stopped", turnaround);
    }

    void faults()
    {
        QFETCH(QString, title);
        QFETCH(int, fault);
        QFETCH(int, code);
        QFETCH(int, when);
        QFETCH(int, turnaround);
        QFETCH(bool, taken);
        QFETCH(QString, label6);
        QFETCH(QString, panel1);
        QFETCH(QStringList, messages);
        QFETCH(QString, state);
        WindowRig w;
        w.connectAndRead();
        QCOMPARE(w.shown(kBefore), kBefore);
        w.toNextSecond();
        w.device.setRegister(2, 512);
        w.device.setRegister(7, quint16(-1230));
        w.device.setRegister(10, 123);
        QList<quint16> registers; // those a write could change
        for (int n = 3; n <= 11; ++n)
            registers << w.device.reg(n);
        w.device.clearReceivedFrames();
        int sentWhileShown = 0; // ticks still come inside a modal box
        w.messages.whileShown = [&] {
            const int before = w.framesSent();
            w.form.Timer1Timer(w.form.Timer1);
            sentWhileShown += w.framesSent() - before;
        };

        w.device.setTurnaroundMs(turnaround);
        switch (When(when)) {
        case When::Reading:
            w.device.setFault(Fault(fault), code);
            w.poll();
            break;
        case When::MidTransaction:
            w.form.Timer1Timer(w.form.Timer1);
            w.runMs(40); // the reply is on its way
            w.device.setFault(Fault(fault), code);
            w.settle();
            break;
        case When::Idle:
            WindowRig::click(w.form.transmite);
            w.device.setFault(Fault(fault), code);
            w.runMs(5000);
            WindowRig::click(w.form.transmite);
            w.poll();
            break;
        case When::Late:
            for (int i = 0; i < 4; ++i) {
                w.device.setRegister(2, quint16(600 + i));
                w.poll();
                w.toNextSecond();
            }
            break;
        case When::StopThenSend:
            w.form.Timer1Timer(w.form.Timer1);
            w.runMs(code);
            WindowRig::click(w.form.transmite);
            WindowRig::click(w.form.Button2);
            w.settle();
            break;
        }

        QCOMPARE(w.shown(taken ? kAfter : kBefore), taken ? kAfter : kBefore);
        QCOMPARE(w.form.Label6->text(), label6);
        QCOMPARE(w.panel(1), panel1);
        QCOMPARE(w.messages.messages, messages);
        QCOMPARE(sentWhileShown, 0);
        const bool connected = w.panel(0) == "Conectado";
        QCOMPARE(QString(w.form.Timer1->isActive() ? "reading"
                         : connected               ? "stopped"
                                                   : "disconnected"),
                 state);
        if (!connected) {
            const QStringList buttons{"btConectar: Conectar", "transmite: Ler (off)",
                                      "Button2: Enviar (off)"};
            QCOMPARE(w.shown(buttons), buttons);
        }
        if (When(when) == When::StopThenSend) {
            QCOMPARE(w.device.reg(7), quint16(6500)); // the V. Máx. shown, as sent
        } else {
            for (const QByteArray& frame : w.device.receivedFrames())
                QCOMPARE(int(frame.at(1)), 3);
            for (int n = 3; n <= 11; ++n)
                QCOMPARE(w.device.reg(n), registers.at(n - 3));
        }

        // It recovers: at once, or by "Ler", or by connecting again.
        w.messages.whileShown = nullptr;
        w.device.setFault(Fault::None);
        w.device.setTurnaroundMs(4);
        w.device.setRegister(2, 512);
        w.toNextSecond();
        if (state == "disconnected")
            WindowRig::click(w.form.btConectar);
        if (state != "reading")
            WindowRig::click(w.form.transmite);
        // Bytes still on the line when the fault clears can spoil one more reading.
        int readings = 0;
        for (qint8 counter = w.flags.StatusAnimation;
             readings < 3 && w.flags.StatusAnimation == counter; ++readings) {
            w.poll();
            w.toNextSecond();
        }
        const QStringList recovered{"Edit28: 51,2", "Label5: 1,23"};
        QCOMPARE(w.shown(recovered), recovered);

        QStringList shows;
        if (!connected)
            shows << "panel 0 \"Desconectado\"";
        shows << "panel 1 \"" + panel1 + "\"";
        if (label6 != " ")
            shows << "Label6 \"" + label6 + "\"";
        for (const QString& m : messages)
            shows << "message \"" + m + "\"";
        shows << (state == "reading"   ? "reading goes on"
                  : state == "stopped" ? "reading stopped"
                                       : "reading stopped, disconnected");
        QString recovery = state == "reading"   ? "next reading"
                           : state == "stopped" ? "\"Ler\""
                                                : "\"Conectar\", then \"Ler\"";
        if (readings > 1)
            recovery += QStringLiteral(" (reading %1 after the fault: stray bytes outlast one)")
                            .arg(readings);
        g_rows << QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                      .arg(title, shows.join("; "),
                           taken ? "the device's new values, as sent"
                                 : "the last accepted values, unchanged",
                           When(when) == When::StopThenSend ? "the configuration shown" : "nothing",
                           recovery);
    }

    void cleanupTestCase()
    {
        const QString path = qEnvironmentVariable("QUORVA_FAULT_MATRIX");
        if (path.isEmpty())
            return;
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        f.write("| Fault | What the window shows | Values shown | Written to the device | "
                "Recovery |\n|---|---|---|---|---|\n");
        f.write(g_rows.join('\n').toUtf8() + '\n');
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
