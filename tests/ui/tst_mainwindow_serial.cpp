// The window on a real serial line: a socat pseudo-terminal pair, with
// Debian's pymodbus serving slave 1 on the far end.
#include "link/usbserialdriver.h"
#include "ptypair.h"
#include "windowrig.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Where Qt's serial port keeps the lock of a port it holds.
QString lockFileOf(const QString& port)
{
    return "/var/lock/LCK.." + QString(port).replace(u'/', u'_');
}

const QString kGoneReason = ": a porta deixou de responder (cabo desconectado?).\n"
                            "Confira o cabo e clique em Conectar.";

// The window on the serial port `port`, in real time.
struct SerialWindow : WindowOn<quorva::link::MasterOnLine<quorva::link::UsbSerialDriver>>
{
    explicit SerialWindow(const QString& port) : WindowOn(port) { form.show(); }
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
        w.clickConnectAndRead();
        w.tick();
        QTRY_VERIFY_WITH_TIMEOUT(w.panel(1).startsWith("Leitura efetuada"), 3000);
        // The slave's registers, as the window shows them.
        COMPARE_SHOWN(
            w.form,
            "RadioGroup1: Pt100|Termopar J|*Termopar K|Termopar R|Termopar S|Termopar T|Termopar "
            "N|Termopar E|Termopar B",
            "RadioGroup3: 0 a 10 V|*10 a 0 V",
            "RadioGroup2: Nenhum|Sinal de Saída Mínimo|*Sinal de Saída Máximo", "Edit28: 21,7",
            "MaskEdit1: -0,3", "Edit7: -100", "Edit8: 1370", "Label14: -100 a 1370°C",
            "Label4: TRV-C", "Label5: 1,23");

        w.click(w.button("transmite"));
        w.type(w.edit("MaskEdit1"), " 05");
        w.type(w.edit("Edit7"), "-50");
        w.clickItem(w.group("RadioGroup3"), 0);
        w.click(w.button("Button2"));
        QTRY_COMPARE_WITH_TIMEOUT(w.panel(1), "Enviado...", 3000);
        QVERIFY(w.messages.told.isEmpty());
        QCOMPARE(pty.slaveRegisters().mid(0, 11),
                 (QList<int>{0, 0, 0, 5, 2, 0xFE0C, 13700, 2, 0, 0, 0}));
    }

    // The far end goes away while a reading waits for its reply (it fails at
    // once), or between readings (the next request cannot be sent): the
    // message says why, and nothing reads the dead port while it is open.
    void hangUp_data()
    {
        QTest::addColumn<bool>("midTransaction");
        QTest::addColumn<QString>("told");
        QTest::newRow("mid-transaction") << true << "Erro ao tentar receber dados.";
        QTest::newRow("before a request") << false << "Erro ao tentar enviar dados.";
    }
    void hangUp()
    {
        QFETCH(bool, midTransaction);
        QFETCH(QString, told);
        PtyPair pty;
        QVERIFY2(pty.waitForLinks(), "socat is needed");
        SerialWindow w(pty.masterEnd());
        w.clickConnectAndRead();
        QCOMPARE(w.panel(0), "Conectado");
        if (midTransaction)
            w.tick(); // nobody answers on the far end
        qint64 readsWhileShown = -1;
        w.messages.whileShown = [&] {
            if (readsWhileShown >= 0)
                return;
            const qint64 before = procNumber("io", "syscr"); // read system calls
            QTest::qWait(500);                               // the message box's own event loop
            readsWhileShown = procNumber("io", "syscr") - before;
        };
        pty.hangUp();
        if (!midTransaction) {
            QTest::qWait(200); // the port notices the hang-up on the event loop
            w.tick();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!w.messages.told.isEmpty(), 3000);
        QCOMPARE(w.messages.told, (QStringList{told, "Erro ao abrir o dispositivo USB."}));
        QCOMPARE(w.messages.reasons, (QStringList{pty.masterEnd() + kGoneReason, QString()}));
        QCOMPARE(part<QLabel>(w.form, "Label6")->text(), " "); // a dead line, not a silent device
        QVERIFY2(readsWhileShown >= 0 && readsWhileShown < 100,
                 qPrintable(QString::number(readsWhileShown)));
        QCOMPARE(w.button("btConectar")->text(), "Conectar");
    }

    // Why the cable would not open, beneath "Erro ao abrir o dispositivo USB.".
    // "pty" is the pair's end, held by another port when busy, unreadable for
    // the user in "no permission" (as root, this row runs again as nobody).
    void openFailureReasons_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("reason");
        if (quorva::link::UsbSerialDriver::vendorPorts().isEmpty()) // the ports line varies
            QTest::newRow("no cable") << ""
                                      << "Nenhum cabo USB-serial encontrado.\n"
                                         "Conecte o cabo do transmissor e clique em Conectar.";
        QTest::newRow("no such port") << "/nonexistent/ttyUSB9"
                                      << "/nonexistent/ttyUSB9: porta não encontrada.\n"
                                         "Confira o nome da porta; um cabo desconectado leva a "
                                         "sua porta.";
        QTest::newRow("busy") << "pty"
                              << "pty: porta em uso por outro programa.\nFeche o outro programa "
                                 "(outra janela do QUORVA, um terminal serial) e tente de novo.";
        QTest::newRow("no permission") << "pty"
                                       << "pty: sem permissão para abrir a porta (grupo "
                                          "dialout).\nAdicione o usuário ao grupo dialout e "
                                          "entre de novo na sessão:\nsudo usermod -aG dialout "
                                          "$USER";
    }
    void openFailureReasons()
    {
        QFETCH(QString, port);
        QFETCH(QString, reason);
        PtyPair pty;
        quorva::link::UsbSerialDriver other(pty.masterEnd());
        const bool forbidden = reason.contains("dialout");
        const QString given = qEnvironmentVariable("QUORVA_FORBIDDEN_PORT"); // run as nobody
        if (port == "pty" && !given.isEmpty()) {
            port = given;
        } else if (port == "pty") {
            QVERIFY2(pty.waitForLinks(), "socat is needed");
            // Nobody cannot reach the pair's folder: the device itself then.
            port = forbidden ? QFileInfo(pty.masterEnd()).canonicalFilePath() : pty.masterEnd();
            quorva::link::DriverHandle handle = 0;
            if (!forbidden)
                QCOMPARE(other.open(0, &handle), quorva::link::DriverStatusCode::Ok);
            else if (::chmod(QFile::encodeName(port).constData(), 0600) == 0 && ::geteuid() == 0) {
                QProcess self;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert("QUORVA_FORBIDDEN_PORT", port);
                self.setProcessEnvironment(env);
                self.setProcessChannelMode(QProcess::ForwardedChannels);
                self.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                       QCoreApplication::applicationFilePath(),
                                       "openFailureReasons:no permission"});
                QVERIFY(self.waitForFinished(30000));
                QCOMPARE(self.exitCode(), 0);
                return;
            } else
                QVERIFY(::chmod(QFile::encodeName(port).constData(), 0) == 0);
        }
        reason.replace(QRegularExpression("^pty"), port);
        SerialWindow w(port);
        w.click(w.button("btConectar"));
        QCOMPARE(w.messages.told, QStringList{"Erro ao abrir o dispositivo USB."});
        QStringList shown = w.messages.reasons.value(0).split(u'\n');
        if (port.isEmpty())
            shown.removeAt(1); // the serial ports present, or none
        QCOMPARE(shown.join(u'\n'), reason);
    }

    // A transmitter behind a slow converter, answering 1 s after each
    // request: the window reads it with --timeout 2000, never without.
    void readsASlowConverterGivenTheTime_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("reads");
        QTest::newRow("--timeout 2000") << QStringList{"--timeout", "2000"} << true;
        QTest::newRow("the default, 800 ms") << QStringList{} << false;
    }
    void readsASlowConverterGivenTheTime()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, reads);
        QTemporaryDir dir;
        const QString port = dir.filePath("transmitter");
        QProcess device;
        device.start(qEnvironmentVariable("QUORVA_CLI"),
                     {"simulate", "--link", port, "--steady", "--turnaround", "1000"});
        QTRY_VERIFY(QFile::exists(port));
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVA_READ", "1");
        window.setProcessEnvironment(env);
        window.start(qEnvironmentVariable("QUORVA_WINDOW_CONNECTED"),
                     QStringList{"--port", port} + options);
        QVERIFY(window.waitForStarted());
        QByteArray shown;
        const bool read = QTest::qWaitFor(
            [&] { return (shown += window.readAllStandardOutput()).contains("23,5"); }, 6000);
        window.terminate();
        window.waitForFinished(5000);
        device.terminate();
        device.waitForFinished(5000);
        QCOMPARE(read, reads);
    }

    // The window program told to end by a signal (a session's end, a closed
    // terminal) while it holds its port, started as `quorva_connected` (the
    // program, connected as by a click): it exits as through "Sair", and the
    // port, lock file included, is free for the next program.
    void endsCleanlyOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void endsCleanlyOnSignal()
    {
        QFETCH(int, signalNumber);
        PtyPair pty;
        QVERIFY2(pty.waitForLinks(), "socat is needed");
        const QString port = pty.masterEnd();
        QProcess window;
        window.setProcessChannelMode(QProcess::ForwardedChannels);
        window.start(qEnvironmentVariable("QUORVA_WINDOW_CONNECTED"), {"--port", port});
        QVERIFY(window.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockFileOf(port)), 10000);

        ::kill(pid_t(window.processId()), signalNumber);
        QVERIFY(window.waitForFinished(5000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 0);
        QVERIFY(!QFile::exists(lockFileOf(port)));
        quorva::link::UsbSerialDriver next(port);
        quorva::link::DriverHandle handle = 0;
        QCOMPARE(next.open(0, &handle), quorva::link::DriverStatusCode::Ok);
    }
};

QTEST_MAIN(TestMainWindowSerial)
#include "tst_mainwindow_serial.moc"
