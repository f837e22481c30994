// The window on real serial lines: a socat pseudo-terminal pair with
// Debian's pymodbus serving slave 1, the pseudo-terminal transmitter, and a
// real transmitter when one is named.
#include "link/usbserialdriver.h"
#include "ptypair.h"
#include "sim/ptyserver.h"
#include "windowrig.h"

namespace {
// Read system calls this process has made so far.
qint64 readCalls()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("syscr:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

// The window on the serial port `port`, in real time, connected and reading once.
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
    // Connects, starts reading and gives one tick; true once it was accepted.
    bool connectAndRead()
    {
        WindowRig::click(form.btConectar);
        if (form.StatusBar1->panelText(0) != "Conectado")
            return false;
        WindowRig::click(form.transmite);
        form.Timer1Timer(form.Timer1);
        QElapsedTimer waited;
        waited.start();
        while (!form.StatusBar1->panelText(1).startsWith("Leitura efetuada") &&
               waited.elapsed() < 3000)
            QTest::qWait(10);
        return form.StatusBar1->panelText(1).startsWith("Leitura efetuada");
    }
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
        TForm1& form = w.form;
        QVERIFY(w.connectAndRead());
        // The slave's registers, as the window shows them.
        QCOMPARE(form.RadioGroup1->itemIndex(), 2); // Termopar K
        QCOMPARE(form.Edit28->text(), "21,7");
        QCOMPARE(form.MaskEdit1->maskedText(), "-0,3");
        QCOMPARE(form.Edit7->text(), "-100");
        QCOMPARE(form.Edit8->text(), "1370");
        QCOMPARE(form.RadioGroup2->itemIndex(), 2);
        QCOMPARE(form.RadioGroup3->itemIndex(), 1);
        QCOMPARE(form.RadioGroup3->items(), (QStringList{"0 a 10 V", "10 a 0 V"}));
        QCOMPARE(form.Label5->text(), "1,23");
        QCOMPARE(form.Label4->text(), "TRV-C");
        QCOMPARE(form.Label14->text(), "-100 a 1370°C");

        WindowRig::click(form.transmite);
        form.MaskEdit1->setFocus();
        QTest::keyClick(form.MaskEdit1, Qt::Key_Home);
        QTest::keyClicks(form.MaskEdit1, " 05");
        WindowRig::type(form.Edit7, "-50");
        auto* item = form.RadioGroup3->findChild<QRadioButton*>("RadioGroup3_item0");
        QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(5, item->height() / 2));
        WindowRig::click(form.Button2);
        QTRY_COMPARE_WITH_TIMEOUT(form.StatusBar1->panelText(1), "Enviado...", 3000);
        QVERIFY(w.messages.messages.isEmpty());
        const QList<int> registers = pty.slaveRegisters();
        QCOMPARE(registers.mid(0, 11), (QList<int>{0, 0, 0, 5, 2, 0xFE0C, 13700, 2, 0, 0, 0}));
    }

    // The window on a named port served by the pseudo-terminal transmitter,
    // as `quorva --port PATH` beside `quorva-cli simulate`.
    void windowOnThePseudoTerminalTransmitter()
    {
        quorva::sim::TransmitterModel device;
        device.setDrift(false);
        quorva::sim::PtyServer server(device);
        QVERIFY(server.start(nullptr));
        SerialWindow w(server.devicePath());
        TForm1& form = w.form;
        QVERIFY(w.connectAndRead());
        QCOMPARE(form.Edit28->text(), "23,5");
        QCOMPARE(form.Label4->text(), "TRV-A");
        WindowRig::click(form.transmite);
        WindowRig::type(form.Edit8, "600");
        WindowRig::click(form.Button2);
        QTRY_COMPARE_WITH_TIMEOUT(form.StatusBar1->panelText(1), "Enviado...", 3000);
        QCOMPARE(device.reg(7), quint16(6000));
    }

    // The far end goes away while a reading waits for its reply: the reading
    // fails at once, and nothing reads the dead port while the message is open.
    void hangUpMidTransaction()
    {
        PtyPair pty;
        QVERIFY2(pty.waitForLinks(), "socat is needed");
        SerialWindow w(pty.masterEnd());
        TForm1& form = w.form;
        WindowRig::click(form.btConectar);
        QCOMPARE(form.StatusBar1->panelText(0), "Conectado");
        WindowRig::click(form.transmite);
        form.Timer1Timer(form.Timer1); // nobody answers on the far end
        qint64 readsWhileShown = -1;
        w.messages.whileShown = [&] {
            if (readsWhileShown >= 0)
                return;
            const qint64 before = readCalls();
            QTest::qWait(500); // the message box's own event loop
            readsWhileShown = readCalls() - before;
        };
        pty.hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!w.messages.messages.isEmpty(), 3000);
        QCOMPARE(w.messages.messages, (QStringList{"Erro ao tentar receber dados.",
                                                   "Erro ao abrir o dispositivo USB."}));
        QCOMPARE(form.Label6->text(), " "); // a failed read, not a silent device
        QVERIFY2(readsWhileShown >= 0 && readsWhileShown < 100,
                 qPrintable(QString::number(readsWhileShown)));
        QCOMPARE(form.btConectar->text(), "Conectar");
    }

    // A real transmitter, when QUORVA_TEST_PORT names the port it is on.
    void realTransmitter()
    {
        const QString port = qEnvironmentVariable("QUORVA_TEST_PORT");
        if (port.isEmpty())
            QSKIP("set QUORVA_TEST_PORT to the serial port of a real transmitter");
        SerialWindow w(port);
        TForm1& form = w.form;
        QVERIFY(w.connectAndRead());
        QVERIFY(!form.Edit28->text().isEmpty());
        QVERIFY(form.RadioGroup1->itemIndex() >= 0);
    }
};

QTEST_MAIN(TestMainWindowSerial)
#include "tst_mainwindow_serial.moc"
