// The trend: its series' figures, gaps and bounds, the window following the
// main window's readings, and what "Exportar" writes.
#include "transmitter/trendseries.h"
#include "ui/trendwindow.h"
#include "windowrig.h"

#include <QAction>
#include <QChartView>
#include <QLineSeries>
#include <QMenuBar>
#include <QProcess>
#include <QScatterSeries>
#include <QTemporaryDir>

using quorva::transmitter::ReadingReport;
using quorva::transmitter::TrendSeries;

namespace {

const QDateTime kStart(QDate(2026, 12, 7), QTime(9, 15, 2, 120), Qt::OffsetFromUTC, -3 * 3600);

// A reading of a Pt100 (range -200 to 650 °C) at `tenths` of °C.
ReadingReport pt100(qint32 tenths, qint32 model = 1)
{
    ReadingReport r;
    r.modelCode = model;
    r.sensorTypeIndex = 0;
    r.measuredRaw = tenths;
    r.measured = quorva::transmitter::measuredValueText(0, tenths);
    r.lowerTenths = -2000;
    r.upperTenths = 6500;
    return r;
}

// "235" a reading in tenths, "x" a failure, one a second from kStart.
void feed(TrendSeries& series, const QString& events, int firstSecond = 0)
{
    int second = firstSecond;
    for (const QString& e : events.split(u' ', Qt::SkipEmptyParts)) {
        const QDateTime time = kStart.addSecs(second++);
        if (e == "x")
            series.addFailure(time, "Erro de leitura: o transmissor não respondeu");
        else
            series.addReading(time, pt100(e.toInt()));
    }
}

QString opt(const TrendSeries& s, std::optional<double> v)
{
    return v ? s.valueText(*v) : "-";
}

// The figures beside the chart: "min max mean last readings failures".
QString figures(const TrendSeries& s)
{
    return QStringList{
        opt(s, s.minimum()), opt(s, s.maximum()),           opt(s, s.mean()),
        opt(s, s.last()),    QString::number(s.readings()), QString::number(s.failures())}
        .join(u' ');
}

} // namespace

class TestTrend : public QObject
{
    Q_OBJECT

private slots:
    void figures_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << ""
                              << "- - - - 0 0";
        QTest::newRow("failures only") << "x x"
                                       << "- - - - 0 2";
        QTest::newRow("one") << "235"
                             << "23,5 23,5 23,5 23,5 1 0";
        QTest::newRow("gap not a zero") << "240 x 230"
                                        << "23,0 24,0 23,5 23,0 2 1";
        QTest::newRow("negative") << "-1995 -2000 -1990"
                                  << "-200,0 -199,0 -199,5 -199,0 3 0";
        QTest::newRow("last before failure") << "100 300 x"
                                             << "10,0 30,0 20,0 30,0 2 1";
        QTest::newRow("mean rounded") << "1 2"
                                      << "0,1 0,2 0,2 0,2 2 0";
    }
    void figures()
    {
        QFETCH(QString, events);
        TrendSeries series;
        feed(series, events);
        QFETCH(QString, expected);
        QCOMPARE(::figures(series), expected);
    }

    // Two hours are kept; the extremes and the mean follow what expires.
    void bounds()
    {
        TrendSeries series;
        series.addReading(kStart, pt100(900));     // the maximum, first to go
        series.addFailure(kStart.addSecs(1), "x"); // a failure, gone too
        for (int s = 2; s <= 2 * 3600; ++s)
            series.addReading(kStart.addSecs(s), pt100(200 + s % 3));
        QCOMPARE(series.size(), 2 * 3600 + 1);
        QCOMPARE(series.sample(series.firstSerial()).time, kStart);
        QCOMPARE(::figures(series), "20,0 90,0 20,1 20,0 7200 1");
        series.addReading(kStart.addSecs(2 * 3600 + 1), pt100(201));
        series.addReading(kStart.addSecs(2 * 3600 + 2), pt100(201));
        QCOMPARE(::figures(series), "20,0 20,2 20,1 20,1 7201 0");
        // A clock that stands still still leaves the series bounded.
        for (int i = 0; i < TrendSeries::kMaxSamples + 5; ++i)
            series.addReading(kStart.addSecs(3 * 3600), pt100(i % 2 ? 10 : 30));
        QCOMPARE(series.size(), TrendSeries::kMaxSamples);
        QCOMPARE(::figures(series), "1,0 3,0 2,0 3,0 14400 0");
    }

    // Another model on the cable, or another unit, starts a new series.
    void restarts()
    {
        TrendSeries series;
        feed(series, "235 x");
        const int generation = series.generation();
        ReadingReport pressure = pt100(7);
        pressure.sensorTypeIndex = quorva::transmitter::kPressureSensorType;
        pressure.measured = quorva::transmitter::measuredValueText(pressure.sensorTypeIndex, 7);
        QVERIFY(series.addReading(kStart.addSecs(5), pressure));
        QCOMPARE(::figures(series), "7 7 7 7 1 0");
        QVERIFY(!series.rangeLower()); // the range is not in the measured unit
        QVERIFY(series.addReading(kStart.addSecs(6), pt100(235, 2)));
        QVERIFY(!series.addReading(kStart.addSecs(7), pt100(236, 2)));
        QCOMPARE(series.generation(), generation + 2);
        QCOMPARE(::figures(series), "23,5 23,6 23,6 23,6 2 0");
        QCOMPARE(series.rangeUpper(), 650.0);
    }

    // The menu's window follows the main window's readings; a failure is a gap.
    void followsTheWindow()
    {
        WindowRig w;
        w.connectAndRead();
        w.poll(); // two readings, then a failure, a reading before the window opens
        w.device.setFault(Fault::NoReply);
        w.poll();
        QTest::qSleep(1100); // the next reading in the chart's next slice of time
        w.device.setFault(Fault::None);
        w.poll();
        QCOMPARE(part<QMenuBar>(w.form, "menu")->actions().last()->text(), "Tendência");
        part<QAction>(w.form, "mnTendencia")->trigger();
        auto* trend = w.form.trendWindow();
        QVERIFY(trend && trend->isVisible());
        QCOMPARE(trend->windowTitle(), "Tendência");
        trend->close(); // the main window stays, and the series goes on
        QVERIFY(w.form.isVisible());
        w.poll();
        part<QAction>(w.form, "mnTendencia")->trigger();
        QVERIFY(trend->isVisible());
        QCOMPARE(w.form.trendWindow(), trend);
        QCOMPARE(w.form.findChildren<quorva::ui::TrendWindow*>().size(), 1);
        QStringList shown;
        for (const char* name : {"last", "minimum", "maximum", "mean", "counts"})
            shown << seen(trend->findChild<QLabel*>(name));
        QCOMPARE(shown, QStringList({"last: Último: 23,5 °C", "minimum: Mínimo: 23,5 °C",
                                     "maximum: Máximo: 23,5 °C", "mean: Média: 23,5 °C",
                                     "counts: Leituras: 4\nFalhas: 1"}));
        // Two runs around the gap, and never a point off the reading.
        QCOMPARE(trend->runCount(), 2);
        QSet<qreal> plotted; // the reading lines' values
        for (QAbstractSeries* s : trend->chartView()->chart()->series())
            if (auto* line = qobject_cast<QLineSeries*>(s);
                line && line->pen().style() == Qt::SolidLine)
                for (const QPointF& p : line->points())
                    plotted << p.y();
        QCOMPARE(plotted, QSet<qreal>{23.5});
        // A new connection starts a new trend; closing the main window closes this one.
        w.click(w.button("transmite"));
        w.click(w.button("btConectar"));
        w.click(w.button("btConectar"));
        QCOMPARE(trend->runCount(), 0);
        w.form.close();
        QVERIFY(!trend->isVisible());
    }

    // Every reading counted in the figures is on the chart: one between two
    // failures as a marker; "Último" says when the readings since have failed.
    void drawn_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("more"); // fed after the window drew the first
        QTest::addColumn<QList<qreal>>("markers");
        QTest::addColumn<QString>("last");
        QTest::newRow("between failures") << "235 236 x 240 x 250 251"
                                          << "" << QList<qreal>{24.0} << "Último: 25,1 °C";
        QTest::newRow("failing since")
            << "235 x 240 x x"
            << "" << QList<qreal>{23.5, 24.0} << "Último: 24,0 °C\nsem leitura desde 09:15:04";
        QTest::newRow("joined by the next")
            << "x 235"
            << "236 x" << QList<qreal>{} << "Último: 23,6 °C\nsem leitura desde 09:15:04";
        QTest::newRow("failing again") << "x 235"
                                       << "x 236" << QList<qreal>{23.5, 23.6} << "Último: 23,6 °C";
    }
    void drawn()
    {
        QFETCH(QString, events);
        QFETCH(QString, more);
        TrendSeries series;
        feed(series, events);
        RecordingMessages messages;
        quorva::ui::TrendWindow trend(series, messages);
        feed(series, more, int(events.split(u' ').size()));
        trend.follow();
        QList<qreal> shown;
        QSet<qreal> drawn;
        QStringList rangeNames;
        for (QAbstractSeries* s : trend.chartView()->chart()->series()) {
            auto* xy = qobject_cast<QXYSeries*>(s);
            if (xy->pen().style() == Qt::DashLine)
                rangeNames << xy->name();
            else if (qobject_cast<QScatterSeries*>(s))
                for (const QPointF& p : xy->points())
                    shown << p.y();
            if (xy->pen().style() == Qt::SolidLine && xy->count() > 1)
                for (const QPointF& p : xy->points())
                    drawn << p.y();
        }
        QFETCH(QList<qreal>, markers);
        QCOMPARE(shown, markers);
        QSet<qreal> read;
        for (qint64 s = series.firstSerial(); s < series.endSerial(); ++s)
            if (series.sample(s).ok)
                read << series.sample(s).value;
        QCOMPARE(drawn + QSet<qreal>(markers.begin(), markers.end()), read);
        QFETCH(QString, last);
        QCOMPARE(trend.findChild<QLabel*>("last")->text(), last);
        QCOMPARE(rangeNames, QStringList({"V. Mín. -200 °C", "V. Máx. 650 °C"}));
    }

    void exports()
    {
        TrendSeries series;
        series.addReading(kStart, pt100(235));
        series.addFailure(kStart.addSecs(1), "Erro de leitura: o transmissor; \"x\"");
        series.addReading(kStart.addMSecs(2000), pt100(12345));
        RecordingMessages messages;
        quorva::ui::TrendWindow trend(series, messages);
        trend.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trend));
        QTemporaryDir dir;
        QVERIFY(trend.exportTo(dir.filePath("t.csv")));
        QFile csv(dir.filePath("t.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(csv.readAll()),
                 "timestamp;measured;unit;error\n"
                 "2026-12-07T09:15:02.120-03:00;23,5;°C;\n"
                 "2026-12-07T09:15:03.120-03:00;;;\"Erro de leitura: o transmissor; \"\"x\"\"\"\n"
                 "2026-12-07T09:15:04.120-03:00;1234,5;°C;\n");
        QVERIFY(trend.exportTo(dir.filePath("t.PNG")));
        const QImage image(dir.filePath("t.PNG"), "PNG");
        QCOMPARE(image.size(), trend.chartView()->size());
        QVERIFY(messages.told.isEmpty());
        // A folder that is not there: told, naming the file.
        QVERIFY(!trend.exportTo(dir.filePath("no/t.csv")));
        QVERIFY(!trend.exportTo(dir.filePath("no/t.png")));
        // Named as the system writes paths (C:\\... on Windows).
        QCOMPARE(messages.told,
                 QStringList({"Não foi possível salvar \"" +
                                  QDir::toNativeSeparators(dir.filePath("no/t.csv")) + "\".",
                              "Não foi possível salvar \"" +
                                  QDir::toNativeSeparators(dir.filePath("no/t.png")) + "\"."}));
        QVERIFY(!messages.reasons.contains(QString()));
    }

    // An export that does not reach the disk whole is told with the
    // system's reason and leaves no file. Run again in a mount namespace of
    // its own, over a full file system mounted there.
    void exportToFullDisk()
    {
        const QString full = qEnvironmentVariable("QUORVA_FULL_DIR");
        if (full.isEmpty()) {
            QTemporaryDir dir;
            QProcess run;
            run.setProcessChannelMode(QProcess::ForwardedChannels);
            run.start("unshare", {"-m", "--propagation", "private", "sh", "-c",
                                  "mount -t tmpfs -o size=64k tmpfs \"$1\" || exit 77; "
                                  "cat /dev/zero >\"$1/fill\" 2>/dev/null; "
                                  "QUORVA_FULL_DIR=\"$1\" exec \"$0\" exportToFullDisk",
                                  QCoreApplication::applicationFilePath(), dir.path()});
            if (!run.waitForStarted(10000)) // no unshare: not Linux
                QSKIP("no private mount namespace here");
            QVERIFY(run.waitForFinished(60000));
            if (run.exitCode() == 77)
                QSKIP("no private mount namespace here");
            QCOMPARE(run.exitCode(), 0);
            return;
        }
        TrendSeries series;
        feed(series, "235 x 240");
        RecordingMessages messages;
        quorva::ui::TrendWindow trend(series, messages);
        trend.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trend));
        const QStringList paths{full + "/t.csv", full + "/t.png", "/proc/t.csv"};
        for (const QString& path : paths) {
            QVERIFY(!trend.exportTo(path));
            QVERIFY(!QFile::exists(path));
        }
        QCOMPARE(QDir(full).entryList(QDir::Files), QStringList{"fill"});
        QCOMPARE(messages.told, QStringList({"Não foi possível salvar \"" + paths[0] + "\".",
                                             "Não foi possível salvar \"" + paths[1] + "\".",
                                             "Não foi possível salvar \"" + paths[2] + "\"."}));
        QCOMPARE(messages.reasons, QStringList({"sem espaço no dispositivo",
                                                "sem espaço no dispositivo", "não existe"}));
    }
};

QTEST_MAIN(TestTrend)
#include "tst_trend.moc"
