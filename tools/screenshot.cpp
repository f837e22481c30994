// Grabs the main window while it reads the built-in virtual transmitter and
// saves it as a PNG: docs/window.png in the README comes from here. Given a
// second name, it also saves the trend window over ten minutes of a loop
// check (docs/trend.png): steady, warmed by hand, a cable moved (a gap),
// cooling, then disconnected and the next transmitter, a TRV-C, read.
#include "link/masteronline.h"
#include "sim/virtualtransmitter.h"
#include "transmitter/trendseries.h"
#include "ui/messagesink.h"
#include "ui/serial.h"
#include "ui/trendwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <cstdio>

namespace {
void waitFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
// A Pt100 configured for 0 to 50 °C, read once a second.
bool saveTrend(const QString& out)
{
    using namespace quorva::transmitter;
    TrendSeries series;
    const QDateTime start(QDate(2026, 12, 7), QTime(9, 15, 0));
    for (int s = 0; s < 600; ++s) {
        const QDateTime time = start.addSecs(s);
        if (s >= 370 && s < 390) { // the cable moved
            series.addFailure(time, QStringLiteral("Erro de leitura: o transmissor não respondeu "
                                                   "(* Falha de comunicação *)"));
            continue;
        }
        const bool next = s >= 510; // the TRV-C, after half a minute disconnected
        if (s == 480)
            series.pause();
        if (s >= 480 && !next)
            continue;
        const double warmed = s < 180   ? 0
                              : s < 300 ? (s - 180) / 120.0
                              : s < 420 ? 1
                                        : std::exp(-(s - 420) / 90.0);
        ReadingReport r;
        r.modelCode = next ? ModelCode::TrvC : ModelCode::TrvA;
        r.model = QString::fromUtf8(optionsForModel(r.modelCode).modelName);
        r.sensorTypeIndex = 0;
        r.measuredRaw = next ? 268 + (s * 3 % 4) / 2
                             : qint32(235 + std::lround(120 * warmed) + (s * 7 % 5) / 2 - 1);
        r.measured = measuredValueText(0, r.measuredRaw);
        r.lowerTenths = 0;
        r.upperTenths = 500;
        series.addReading(time, r);
    }
    quorva::ui::PrintedMessageSink messages;
    quorva::ui::TrendWindow trend(series, messages);
    trend.show();
    trend.follow();
    waitFor(300);
    return trend.grab().save(out);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("window.png");
    quorva::link::MasterOnLine<quorva::sim::VirtualTransmitter> line;
    ProgramFlags flags;
    quorva::ui::PrintedMessageSink messages;
    TForm1 form(line.link, line.master, flags, messages);
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("btConectar"))->click();
    form.findChild<QPushButton*>(QStringLiteral("transmite"))->click();
    for (int i = 0; i < 2; ++i) {
        form.Timer1Timer(form.findChild<QTimer*>(QStringLiteral("Timer1")));
        waitFor(400);
    }
    const bool saved = form.grab().save(out);
    std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
    if (!saved)
        return 1;
    if (argc > 2) {
        const QString trendOut = QString::fromLocal8Bit(argv[2]);
        const bool trendSaved = saveTrend(trendOut);
        std::fprintf(stderr, "%s %s\n", trendSaved ? "saved" : "could not save",
                     qPrintable(trendOut));
        return trendSaved ? 0 : 1;
    }
    return 0;
}
