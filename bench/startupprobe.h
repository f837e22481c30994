#pragma once

// Reports, once the window's first frame has been painted and handed to the
// window system, the monotonic time and the resident memory, then ends the
// program. Built into benchmark copies only: the launcher compares the time
// with the moment it started the process.
#include "framewatch.h"

#include <QFile>
#include <chrono>
#include <cstdio>
#include <utility>

// Called before the window is shown; the window owns the watch.
inline void reportFirstFrame(QWidget& window)
{
    const auto ofWindow = [&window](const QWidget& w) { return w.window() == &window; };
    new FrameWatch(&window, ofWindow, [] {
        static bool reported = false;
        if (std::exchange(reported, true))
            return;
        // The launcher reads the same clock (CLOCK_MONOTONIC).
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        QByteArray rss = "0";
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmRSS:"))
                    rss = line.mid(6).trimmed().split(' ').value(0);
        }
        std::printf("painted_ns=%lld rss_kib=%s\n",
                    static_cast<long long>(std::chrono::nanoseconds(now).count()), rss.constData());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
}
