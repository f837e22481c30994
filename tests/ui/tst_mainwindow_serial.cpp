// The window on a real serial line: a socat pseudo-terminal pair, with
// Debian's pymodbus serving slave 1 on the far end.
#include "link/usbserialdriver.h"
#include "ptypair.h"
#include "windowrig.h"

namespace {
// The window on the serial port `port`, in real time.
struct SerialWindow
{
    quorva::link::UsbSerialDriver driver;
    quorva::link::DeviceLink link{driver};
    quorva::link::SteadyClock clock;
    quorva::link::ModbusMaster master{link, clock};
    ProgramFlags flags;
    RecordingMessages messages;
    TForm1 form{link, master, flags, messages};

    explicit SerialWindow(const QString& port) : driver(port) { form.show(); }
};
} // namespace

class TestMainWindowSerial : public QObject
{
    Q_OBJECT
private slots:
    void connectReadWriteAgainstPymodbus()
    {
        PtyPair pty;
        QVERIFY2(pty.startPymodbusSlave(), "socat and python3-pymodbus are needed");
        SerialWindow w(pty.masterEnd());
        WindowRig::click(w.form.btConectar);
        WindowRig::click(w.form.transmite);
        w.form.Timer1Timer(w.form.Timer1);
        QTRY_VERIFY_WITH_TIMEOUT(w.form.StatusBar1->panelText(1).startsWith("Leitura efetuada"),
                                 3000);
        // The slave's registers, as the window shows them.
        COMPARE_SHOWN(
            w.form,
            "RadioGroup1: Pt100|Termopar J|*Termopar K|Termopar R|Termopar S|Termopar T|Termopar "
            "N|Termopar E|Termopar B",
            "RadioGroup3: 0 a 10 V|*10 a 0 V",
            "RadioGroup2: Nenhum|Sinal de Saída Mínimo|*Sinal de Saída Máximo", "Edit28: 21,7",
            "MaskEdit1: -0,3", "Edit7: -100", "Edit8: 1370", "Label14: -100 a 1370°C",
            "Label4: TRV-C (hidden)", "Label5: 1,23");

        WindowRig::click(w.form.transmite);
        WindowRig::type(w.form.MaskEdit1, " 05");
        WindowRig::type(w.form.Edit7, "-50");
        WindowRig::clickItem(w.form.RadioGroup3, 0);
        WindowRig::click(w.form.Button2);
        QTRY_COMPARE_WITH_TIMEOUT(w.form.StatusBar1->panelText(1), "Enviado...", 3000);
        QVERIFY(w.messages.told.isEmpty());
        QCOMPARE(pty.slaveRegisters().mid(0, 11),
                 (QList<int>{0, 0, 0, 5, 2, 0xFE0C, 13700, 2, 0, 0, 0}));
    }

    // The far end goes away while a reading waits for its reply: the reading
    // fails at once, and nothing reads the dead port while the message is open.
    void hangUpMidTransaction()
    {
        PtyPair pty;
        QVERIFY2(pty.waitForLinks(), "socat is needed");
        SerialWindow w(pty.masterEnd());
        WindowRig::click(w.form.btConectar);
        QCOMPARE(w.form.StatusBar1->panelText(0), "Conectado");
        WindowRig::click(w.form.transmite);
        w.form.Timer1Timer(w.form.Timer1); // nobody answers on the far end
        qint64 readsWhileShown = -1;
        w.messages.whileShown = [&] {
            if (readsWhileShown >= 0)
                return;
            const qint64 before = procNumber("io", "syscr"); // read system calls
            QTest::qWait(500);                               // the message box's own event loop
            readsWhileShown = procNumber("io", "syscr") - before;
        };
        pty.hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!w.messages.told.isEmpty(), 3000);
        QCOMPARE(w.messages.told, (QStringList{"Erro ao tentar receber dados.",
                                               "Erro ao abrir o dispositivo USB."}));
        QCOMPARE(w.form.Label6->text(), " "); // a failed read, not a silent device
        QVERIFY2(readsWhileShown >= 0 && readsWhileShown < 100,
                 qPrintable(QString::number(readsWhileShown)));
        QCOMPARE(w.form.btConectar->text(), "Conectar");
    }
};

QTEST_MAIN(TestMainWindowSerial)
#include "tst_mainwindow_serial.moc"
