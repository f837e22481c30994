// The window on a real serial line: a socat pseudo-terminal pair, with
// Debian's pymodbus serving slave 1 on the far end.
#include "link/usbserialdriver.h"
#include "ptypair.h"
#include "windowrig.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kGoneReason = ": a porta deixou de responder (cabo desconectado?).\n"
                            "Confira o cabo e clique em Conectar.";

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
        QCOMPARE(w.messages.reasons, (QStringList{pty.masterEnd() + kGoneReason, QString()}));
        QCOMPARE(w.form.Label6->text(), " "); // a failed read, not a silent device
        QVERIFY2(readsWhileShown >= 0 && readsWhileShown < 100,
                 qPrintable(QString::number(readsWhileShown)));
        QCOMPARE(w.form.btConectar->text(), "Conectar");
    }

    // The far end goes away between readings: the next request cannot be
    // sent, and the message says why.
    void hangUpBeforeRequest()
    {
        PtyPair pty;
        QVERIFY2(pty.waitForLinks(), "socat is needed");
        SerialWindow w(pty.masterEnd());
        WindowRig::click(w.form.btConectar);
        WindowRig::click(w.form.transmite);
        pty.hangUp();
        QTest::qWait(200); // the port notices the hang-up on the event loop
        w.form.Timer1Timer(w.form.Timer1);
        QTRY_VERIFY_WITH_TIMEOUT(!w.messages.told.isEmpty(), 3000);
        QCOMPARE(w.messages.told.value(0), "Erro ao tentar enviar dados.");
        QCOMPARE(w.messages.reasons.value(0), pty.masterEnd() + kGoneReason);
    }

    // Why the cable would not open, beneath "Erro ao abrir o dispositivo USB.".
    // "pty" stands for the pair's end, which a second port holds in "busy".
    void openFailureReasons_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("reason");
        // The ports present vary by machine: "*" stands for their line.
        if (quorva::link::UsbSerialDriver::vendorPorts().isEmpty())
            QTest::newRow("no cable") << ""
                                      << "Nenhum cabo USB-serial encontrado.\n*\n"
                                         "Conecte o cabo do transmissor e clique em Conectar.";
        QTest::newRow("no such port") << "/nonexistent/ttyUSB9"
                                      << "/nonexistent/ttyUSB9: porta não encontrada.\n"
                                         "Confira o nome da porta; um cabo desconectado leva a "
                                         "sua porta.";
        QTest::newRow("busy") << "pty"
                              << "pty: porta em uso por outro programa.\nFeche o outro programa "
                                 "(outra janela do QUORVA, um terminal serial) e tente de novo.";
    }
    void openFailureReasons()
    {
        QFETCH(QString, port);
        QFETCH(QString, reason);
        PtyPair pty;
        quorva::link::UsbSerialDriver other(pty.masterEnd());
        if (port == "pty") {
            QVERIFY2(pty.waitForLinks(), "socat is needed");
            quorva::link::DriverHandle handle = 0;
            QCOMPARE(other.open(0, &handle), quorva::link::DriverStatusCode::Ok);
            port = pty.masterEnd();
            reason.replace(0, 3, port);
        }
        SerialWindow w(port);
        WindowRig::click(w.form.btConectar);
        QCOMPARE(w.messages.told, QStringList{"Erro ao abrir o dispositivo USB."});
        QStringList shown = w.messages.reasons.value(0).split(u'\n');
        if (reason.contains("\n*\n")) {
            static const QRegularExpression portsLine(
                "^(Nenhuma porta serial presente\\.|Portas seriais presentes: /dev/\\S+(, "
                "/dev/\\S+)*; para usar uma delas: quorva --port NOME\\.)$");
            QVERIFY2(portsLine.match(shown.value(1)).hasMatch(), qPrintable(shown.value(1)));
            shown[1] = "*";
        }
        QCOMPARE(shown.join(u'\n'), reason);
        QCOMPARE(w.form.btConectar->text(), "Conectar");
    }

    // A port the user may not open: run as an unprivileged user (root opens
    // anything, so as root the test runs itself again as nobody).
    void openWithoutPermission()
    {
        PtyPair pty;
        QString port = qEnvironmentVariable("QUORVA_TEST_FORBIDDEN_PORT");
        if (::geteuid() == 0) {
            QVERIFY2(pty.waitForLinks(), "socat is needed");
            const QString device = QFileInfo(pty.masterEnd()).canonicalFilePath();
            QVERIFY(::chmod(QFile::encodeName(device).constData(), 0600) == 0);
            QProcess self;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("QUORVA_TEST_FORBIDDEN_PORT", device);
            self.setProcessEnvironment(env);
            self.setProcessChannelMode(QProcess::ForwardedChannels);
            self.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                   QCoreApplication::applicationFilePath(),
                                   "openWithoutPermission"});
            QVERIFY(self.waitForFinished(30000));
            QCOMPARE(self.exitCode(), 0);
            return;
        }
        if (port.isEmpty()) { // an ordinary user: a port of its own, made unreadable
            QVERIFY2(pty.waitForLinks(), "socat is needed");
            port = QFileInfo(pty.masterEnd()).canonicalFilePath();
            QVERIFY(::chmod(QFile::encodeName(port).constData(), 0) == 0);
        }
        SerialWindow w(port);
        WindowRig::click(w.form.btConectar);
        QCOMPARE(w.messages.told, QStringList{"Erro ao abrir o dispositivo USB."});
        QCOMPARE(w.messages.reasons,
                 QStringList{port + ": sem permissão para abrir a porta (grupo dialout).\n"
                                    "Adicione o usuário ao grupo dialout e entre de novo na "
                                    "sessão:\nsudo usermod -aG dialout $USER"});
    }
};

QTEST_MAIN(TestMainWindowSerial)
#include "tst_mainwindow_serial.moc"
