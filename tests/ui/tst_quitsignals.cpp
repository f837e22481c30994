// The window program told to end by a signal (a session's end, a closed
// terminal): it exits as through "Sair", and its port, lock file included,
// is free for the next program.
#include "link/usbserialdriver.h"
#include "ptypair.h"

#include <csignal>

namespace {
// Whether the process has a handler of its own for the signal.
bool catches(qint64 pid, int signalNumber)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (signalNumber - 1));
    return false;
}

// Where Qt's serial port keeps the lock of a port it holds.
QString lockFileOf(const QString& port)
{
    return "/var/lock/LCK.." + QString(port).replace(u'/', u'_');
}
} // namespace

class TestQuitSignals : public QObject
{
    Q_OBJECT
private slots:
    void endsCleanly_data()
    {
        QTest::addColumn<QString>("program"); // environment variable naming it
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM, disconnected") << "QUORVA_WINDOW" << SIGTERM;
        QTest::newRow("SIGHUP, disconnected") << "QUORVA_WINDOW" << SIGHUP;
        QTest::newRow("SIGTERM, connected") << "QUORVA_WINDOW_CONNECTED" << SIGTERM;
        QTest::newRow("SIGHUP, connected") << "QUORVA_WINDOW_CONNECTED" << SIGHUP;
    }
    void endsCleanly()
    {
        QFETCH(QString, program);
        QFETCH(int, signalNumber);
        PtyPair pty;
        QVERIFY2(pty.waitForLinks(), "socat is needed");
        const QString port = pty.masterEnd();
        const bool connected = program.endsWith("CONNECTED");

        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        window.setProcessEnvironment(env);
        window.setProcessChannelMode(QProcess::ForwardedChannels);
        window.start(qEnvironmentVariable(program.toLatin1()), {"--port", port});
        QVERIFY(window.waitForStarted());
        const qint64 pid = window.processId();
        QTRY_VERIFY_WITH_TIMEOUT(catches(pid, signalNumber), 10000);
        if (connected)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockFileOf(port)), 10000);

        ::kill(pid_t(pid), signalNumber);
        QVERIFY(window.waitForFinished(5000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 0);
        QVERIFY(!QFile::exists(lockFileOf(port)));
        quorva::link::UsbSerialDriver next(port);
        quorva::link::DriverHandle handle = 0;
        QCOMPARE(next.open(0, &handle), quorva::link::DriverStatusCode::Ok);
    }
};

QTEST_GUILESS_MAIN(TestQuitSignals)
#include "tst_quitsignals.moc"
