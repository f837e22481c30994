#pragma once

// Reports, once the event loop has shown the window, the monotonic time and
// the resident memory, then ends the program. Built into benchmark copies
// only: the launcher compares the time with the moment it started the process.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>

inline void reportWhenShown()
{
    QTimer::singleShot(0, [] {
        QElapsedTimer now;
        now.start();
        QByteArray rss = "0";
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmRSS:"))
                    rss = line.mid(6).trimmed().split(' ').value(0);
        }
        std::printf("shown_ns=%lld rss_kib=%s\n", now.msecsSinceReference() * 1000000LL,
                    rss.constData());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
}
