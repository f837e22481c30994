#pragma once

// A pseudo-terminal pair made by socat, with Debian's pymodbus serving slave 1
// on one end; the code under test opens the other end by name.
#include <QtTest> // with QtCore: QProcess, QTemporaryDir, QJsonDocument

class PtyPair
{
public:
    PtyPair()
    {
        m_socat.start(QStringLiteral("socat"),
                      {"pty,raw,echo=0,link=" + masterEnd(), "pty,raw,echo=0,link=" + slaveEnd()});
    }
    ~PtyPair()
    {
        for (QProcess* p : {&m_slave, &m_socat}) {
            p->kill();
            p->waitForFinished(2000);
        }
    }

    QString masterEnd() const { return m_dir.filePath(QStringLiteral("master")); }
    QString slaveEnd() const { return m_dir.filePath(QStringLiteral("slave")); }

    bool waitForLinks()
    {
        return QTest::qWaitFor(
            [this] { return QFile::exists(masterEnd()) && QFile::exists(slaveEnd()); }, 5000);
    }

    // Starts the pymodbus slave on the far end (or on `port`), with the
    // script's `options`, and waits until it listens.
    bool startPymodbusSlave(const QString& port = {}, const QStringList& options = {})
    {
        if (port.isEmpty() && !waitForLinks())
            return false;
        // Debian's packages import with the system interpreter.
        m_slave.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_slave.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{qEnvironmentVariable("QUORVA_TEST_TOOLS") + "/pymodbus_slave.py",
                                  "--port", port.isEmpty() ? slaveEnd() : port, "--state",
                                  statePath()} +
                          options);
        return QTest::qWaitFor(
                   [this] {
                       m_slave.waitForReadyRead(50);
                       m_output += m_slave.readAllStandardOutput();
                       return m_output.contains("READY") || m_slave.state() == QProcess::NotRunning;
                   },
                   10000) &&
               m_output.contains("READY");
    }

    // Closes the pair, as a pulled adapter or a closed terminal would: both
    // ends hang up.
    void hangUp()
    {
        m_socat.terminate();
        m_socat.waitForFinished(2000);
    }

    // Register values (register 1 first) as the slave last recorded them.
    QList<int> slaveRegisters() const
    {
        QFile f(statePath());
        QList<int> values;
        if (f.open(QIODevice::ReadOnly))
            for (const auto& v : QJsonDocument::fromJson(f.readAll()).array())
                values << v.toInt();
        return values;
    }

private:
    QString statePath() const { return m_dir.filePath(QStringLiteral("registers.json")); }

    QTemporaryDir m_dir;
    QProcess m_socat;
    QProcess m_slave;
    QByteArray m_output;
};
