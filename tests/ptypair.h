#pragma once

// A pseudo-terminal pair made by socat, with Debian's pymodbus serving slave 1
// on one end; the code under test opens the other end by name.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class PtyPair
{
public:
    PtyPair()
    {
        m_socat.setProgram(QStringLiteral("socat"));
        m_socat.setArguments({QStringLiteral("pty,raw,echo=0,link=%1").arg(masterEnd()),
                              QStringLiteral("pty,raw,echo=0,link=%1").arg(slaveEnd())});
        m_socat.start();
    }
    ~PtyPair()
    {
        for (QProcess* p : {&m_slave, &m_socat}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(2000))
                    p->kill();
                p->waitForFinished(2000);
            }
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    QString masterEnd() const { return m_dir.filePath(QStringLiteral("master")); }
    QString slaveEnd() const { return m_dir.filePath(QStringLiteral("slave")); }
    QString statePath() const { return m_dir.filePath(QStringLiteral("registers.json")); }

    bool waitForLinks()
    {
        for (int i = 0; i < 100; ++i) {
            if (QFile::exists(masterEnd()) && QFile::exists(slaveEnd()))
                return true;
            if (m_socat.state() == QProcess::NotRunning && !m_socat.waitForStarted(10))
                return false;
            QTest::qWait(50);
        }
        return false;
    }

    // Starts the pymodbus slave on the far end and waits until it listens.
    bool startPymodbusSlave()
    {
        if (!waitForLinks())
            return false;
        const QString tools = qEnvironmentVariable("QUORVA_TEST_TOOLS");
        // Debian's packages import with the system interpreter.
        m_slave.setProgram(QStringLiteral("/usr/bin/python3"));
        m_slave.setArguments({tools + QStringLiteral("/pymodbus_slave.py"),
                              QStringLiteral("--port"), slaveEnd(), QStringLiteral("--state"),
                              statePath()});
        m_slave.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_slave.start();
        for (int i = 0; i < 200; ++i) {
            m_slave.waitForReadyRead(50);
            m_output += m_slave.readAllStandardOutput();
            if (m_output.contains("READY"))
                return true;
            if (m_slave.state() == QProcess::NotRunning)
                return false;
        }
        return false;
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
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QList<int> values;
        const QJsonArray array = QJsonDocument::fromJson(f.readAll()).array();
        for (const auto& v : array)
            values << v.toInt();
        return values;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_socat;
    QProcess m_slave;
    QByteArray m_output;
};
