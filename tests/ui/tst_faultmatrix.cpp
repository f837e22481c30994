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
    Noisy,          // injected beside another talker's burst every second, which stays
    NoisySend,      // as Noisy, then "Parar Leitura", "Enviar" and the write's bound
    BusySend,       // as NoisySend with a burst every 2 ms: the line is never quiet
};

// The window shows the factory values; the fault comes with new ones. The
// measured value, V. Máx. and the firmware, before and after.
const QStringList kBefore{"Edit28: 23,5", "Edit8: 650", "Label5: 1,01"};
const QStringList kAfter{"Edit28: 51,2", "Edit8: -123", "Label5: 1,23"};
struct Row
{
    Fault fault;
    int code;
    When when;
    bool taken;
    QString label6, panel1;
    QStringList messages;
    QString state; // reading, stopped or disconnected
    int turnaround;
};

QStringList g_rows;

} // namespace

Q_DECLARE_METATYPE(Row)

class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void faults_data()
    {
        QTest::addColumn<Row>("row");
        const char* silent = "* Falha de comunicação *";
        const char* failed = "Erro de leitura";
        const QString openFailed = "Erro ao abrir o dispositivo USB.";
        const QStringList sendFailed{"Erro ao tentar enviar dados.", openFailed};
        const QStringList receiveFailed{"Erro ao tentar receber dados.", openFailed};
        const auto row = [](const char* title, Fault fault, int code, When when, bool taken,
                            const char* label6, const char* panel1,
                            const QStringList& messages = {}, const char* state = "reading",
                            int turnaround = 4) {
            QTest::newRow(title) << Row{fault,  code,     when,  taken,     label6,
                                        panel1, messages, state, turnaround};
        };
        // A reply refused while reading goes on: the last values stay.
        const auto refused = [&](const char* title, Fault fault, int code = 0,
                                 const char* label6 = " ") {
            row(title, fault, code, When::Reading, false, label6, failed);
        };
        refused("No reply", Fault::NoReply, 0, silent);
        refused("Wrong CRC", Fault::BadCrc);
        refused("Exception 1: illegal function", Fault::ExceptionReply, 1,
                "* Exceção 1: função ilegal *");
        refused("Exception 2: illegal data address", Fault::ExceptionReply, 2,
                "* Exceção 2: endereço ilegal *");
        refused("Exception 3: illegal data value", Fault::ExceptionReply, 3,
                "* Exceção 3: valor ilegal *");
        refused("Exception 4: slave device failure", Fault::ExceptionReply, 4,
                "* Exceção 4: falha no transmissor *");
        refused("Reply from another slave", Fault::OtherSlave);
        refused("Reply with another function code", Fault::WrongFunction);
        refused("Reply with a wrong byte count", Fault::WrongByteCount);
        refused("Truncated reply", Fault::TruncatedReply);
        refused("Noise before the reply", Fault::NoiseBeforeReply);
        refused("1100 stray bytes, then the reply", Fault::Flood);
        row("Two replies queued", Fault::DoubleReply, 0, When::Reading, true, " ",
            "Leitura efetuada        -->>");
        // A firmware that answers its master's reading alone reads as any.
        row("Only the reading answered, others refused", Fault::OnlyReading, 0, When::Reading, true,
            " ", "Leitura efetuada        -->>");
        row("Only the reading answered, others ignored", Fault::OnlyReadingSilent, 0, When::Reading,
            true, " ", "Leitura efetuada        -->>");
        // A late reading's reply meets the master's resync instead: its byte
        // count names another read, so the slave is slow, never read.
        for (int late : {1050, 1200, 1500, 1900, 2500, 4000})
            row(qPrintable(QStringLiteral("Every reply %1 ms late").arg(late)), Fault::None, 0,
                When::Late, false, silent, failed, {}, "reading", late);
        row("Driver write refused", Fault::WriteRefused, 0, When::Reading, false, " ",
            "Leitura efetuada -->>", sendFailed, "disconnected");
        row("Driver read refused", Fault::ReadRefused, 0, When::Reading, false, " ", failed,
            receiveFailed, "disconnected");
        row("Cable pulled while reading", Fault::Unplugged, 0, When::MidTransaction, false, " ",
            failed, receiveFailed, "disconnected");
        row("Cable pulled while idle", Fault::Unplugged, 0, When::Idle, false, " ", "", sendFailed,
            "disconnected");
        // Another talker on the line: a slave that answers reads again, and a
        // write that cannot go out ends within its bound, said held back by
        // the device's silence, or by the line where it is never quiet.
        row("Wrong CRC beside another talker", Fault::BadCrc, 0, When::Noisy, false, " ", failed);
        row("Silent beside another talker, then send", Fault::NoReply, 0, When::NoisySend, false,
            silent, "", {"A configuração não foi enviada: o transmissor não responde."}, "stopped");
        row("Silent on a line never quiet, then send", Fault::NoReply, 0, When::BusySend, false,
            "* Linha ocupada *", "", {"A configuração não foi enviada: linha ocupada."}, "stopped");
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
        QFETCH(Row, row);
        const auto& [fault, code, when, taken, label6, panel1, messages, state, turnaround] = row;
        WindowRig w;
        w.connectAndRead();
        w.toNextSecond();
        w.device.setRegister(2, 512);
        w.device.setRegister(7, quint16(-1230));
        w.device.setRegister(10, 123);
        w.device.clearReceivedFrames();
        int sentWhileShown = 0;       // ticks still come inside a modal box
        w.messages.whileShown = [&] { // ticks come while the timer runs
            const int before = w.framesSent();
            if (w.timer()->isActive())
                w.tick();
            sentWhileShown += w.framesSent() - before;
        };

        w.device.setTurnaroundMs(turnaround);
        switch (when) {
        case When::Reading:
            w.device.setFault(fault, code);
            w.poll();
            break;
        case When::MidTransaction:
            w.tick();
            w.runMs(40); // the reply is on its way
            w.device.setFault(fault, code);
            w.settle();
            break;
        case When::Idle:
            w.click(w.button("transmite"));
            w.device.setFault(fault, code);
            w.runMs(5000);
            w.click(w.button("transmite"));
            w.poll();
            break;
        case When::Late:
            for (int i = 0; i < 4; ++i) {
                w.device.setRegister(2, quint16(600 + i));
                w.poll();
                w.toNextSecond();
            }
            break;
        case When::Noisy:
        case When::NoisySend:
        case When::BusySend:
            w.device.setNoise(when == When::BusySend ? 2 : 1000);
            w.device.setFault(fault, code);
            w.poll();
            if (when == When::Noisy)
                break;
            w.click(w.button("transmite"));
            w.click(w.button("Button2"));
            // It never went out: never "Comando enviado".
            for (int ms = 0; ms < w.master.writeWaitBoundMs() + w.master.responseTimeoutMs();
                 ms += 50, w.runMs(50))
                QVERIFY(w.panel(1) != "Comando enviado");
            break;
        case When::StopThenSend:
            w.tick();
            w.runMs(code);
            w.click(w.button("transmite"));
            w.click(w.button("Button2"));
            w.settle();
            break;
        }

        QCOMPARE(shownBy(w.form, taken ? kAfter : kBefore), taken ? kAfter : kBefore);
        QCOMPARE(part<QLabel>(w.form, "Label6")->text(), label6);
        QCOMPARE(w.panel(1), panel1);
        QCOMPARE(w.messages.told, messages);
        QCOMPARE(sentWhileShown, 0);
        const bool connected = w.panel(0) == "Conectado";
        QCOMPARE(QString(w.timer()->isActive() ? "reading"
                         : connected           ? "stopped"
                                               : "disconnected"),
                 state);
        if (!connected)
            COMPARE_SHOWN(w.form, "btConectar: Conectar", "transmite: Ler (off)",
                          "Button2: Enviar (off)");
        if (when == When::StopThenSend) {
            QCOMPARE(w.device.reg(7), quint16(6500)); // the V. Máx. shown, as sent
        } else { // reads only: nothing else can change a register
            for (const QByteArray& frame : w.device.receivedFrames())
                QCOMPARE(int(frame.at(1)), 3);
        }

        // It recovers: at once, or by "Ler", or by connecting again. Bytes
        // still on the line when the fault clears may spoil one more reading,
        // a late slave's backlog one more a second.
        w.messages.whileShown = nullptr;
        w.device.setFault(Fault::None);
        if (when == When::BusySend)
            w.device.setNoise(0);
        w.device.setTurnaroundMs(4);
        w.device.setRegister(2, 512);
        w.toNextSecond();
        if (state == "disconnected")
            w.click(w.button("btConectar"));
        if (state != "reading")
            w.click(w.button("transmite"));
        const qint8 counter = w.flags.StatusAnimation; // a reading taken steps it
        for (int i = 0; i < 3 + turnaround / 1000 && w.flags.StatusAnimation == counter; ++i) {
            w.poll();
            w.toNextSecond();
        }
        QVERIFY(w.flags.StatusAnimation != counter);
        COMPARE_SHOWN(w.form, "Edit28: 51,2", "Label5: 1,23");

        QStringList shows{"panel 1 \"" + panel1 + "\""};
        if (label6 != " ")
            shows << "Label6 \"" + label6 + "\"";
        for (const QString& m : messages)
            shows << "message \"" + m + "\"";
        g_rows << QStringLiteral("| %1 | %2; %3 | %4 | %5 |")
                      .arg(QTest::currentDataTag(), shows.join("; "),
                           state == "reading"   ? "reading goes on"
                           : state == "stopped" ? "reading stopped, connected"
                                                : "panel 0 \"Desconectado\", reading stopped",
                           taken ? "the device's new values" : "the last accepted values",
                           when == When::StopThenSend ? "the configuration shown" : "nothing");
    }

    void cleanupTestCase()
    {
        QFile f(qEnvironmentVariable("QUORVA_FAULT_MATRIX"));
        if (f.fileName().isEmpty())
            return;
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        f.write("| Fault | What the window shows | Values shown | Written to the device |\n"
                "|---|---|---|---|\n");
        f.write(g_rows.join('\n').toUtf8() + '\n');
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
