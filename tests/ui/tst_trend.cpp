// The trend: its series' figures, gaps and bounds, the window following the
// main window's readings, and what "Exportar" writes.
#include "transmitter/trendseries.h"
#include "ui/trendwindow.h"
#include "windowrig.h"

#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QProcess>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QValueAxis>

using quorva::transmitter::ReadingReport;
using quorva::transmitter::TrendSeries;

namespace {

const QDateTime kStart(QDate(2026, 12, 7), QTime(9, 15, 2, 120), Qt::OffsetFromUTC, -3 * 3600);

// A reading of a Pt100 (range -200 to 650 °C) at `tenths` of °C, by a TRV-A
// (model code 420) unless told.
ReadingReport pt100(qint32 tenths, qint32 model = 420, const QString& name = "TRV-A")
{
    ReadingReport r;
    r.modelCode = model;
    r.model = name;
    r.sensorTypeIndex = 0;
    r.measuredRaw = tenths;
    r.measured = quorva::transmitter::measuredValueText(0, tenths);
    r.lowerTenths = -2000;
    r.upperTenths = 6500;
    return r;
}

// "235" a reading in tenths by a TRV-A, "C235" by a TRV-C (model code 10),
// "x" a failure, one a second from kStart; "|" readings stopped there.
void feed(TrendSeries& series, const QString& events, int firstSecond = 0)
{
    int second = firstSecond;
    for (const QString& e : events.split(u' ', Qt::SkipEmptyParts)) {
        if (e == "|") {
            series.pause();
            continue;
        }
        const QDateTime time = kStart.addSecs(second++);
        if (e == "x")
            series.addFailure(time, "Erro de leitura: o transmissor não respondeu");
        else if (e.startsWith(u'C'))
            series.addReading(time, pt100(e.mid(1).toInt(), 10, "TRV-C"));
        else
            series.addReading(time, pt100(e.toInt()));
    }
}

// The figures beside the chart: "min max mean last readings failures".
QString figures(const TrendSeries& s)
{
    const auto text = [&s](std::optional<double> v) { return v ? s.valueText(*v) : "-"; };
    return lines(text(s.minimum()), text(s.maximum()), text(s.mean()), text(s.last()),
                 QString::number(s.readings()), QString::number(s.failures()))
        .join(u' ');
}

// The chart's line series drawn in `style`: the readings solid, the range
// dashed, another model's mark dash-dotted.
QList<QLineSeries*> linesIn(const quorva::ui::TrendWindow& trend, Qt::PenStyle style)
{
    QList<QLineSeries*> found;
    for (QAbstractSeries* s : trend.chartView()->chart()->series())
        if (auto* line = qobject_cast<QLineSeries*>(s); line && line->pen().style() == style)
            found << line;
    return found;
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
        const auto row = [](const char* name, const char* events, const char* expected) {
            QTest::newRow(name) << QString(events) << QString(expected);
        };
        row("none", "", "- - - - 0 0");
        row("failures only", "x x", "- - - - 0 2");
        row("one", "235", "23,5 23,5 23,5 23,5 1 0");
        row("gap not a zero", "240 x 230", "23,0 24,0 23,5 23,0 2 1");
        row("negative", "-1995 -2000 -1990", "-200,0 -199,0 -199,5 -199,0 3 0");
        row("last before failure", "100 300 x", "10,0 30,0 20,0 30,0 2 1");
        row("mean rounded", "1 2", "0,1 0,2 0,2 0,2 2 0");
        row("stopped and read again", "235 x | 240", "23,5 24,0 23,8 24,0 2 1");
        // The figures are the transmitter's on the cable now.
        row("another model", "235 x 240 C250 x", "25,0 25,0 25,0 25,0 1 1");
        row("the first model again", "300 C250 | 260 261", "26,0 26,1 26,1 26,1 2 0");
    }
    void figures()
    {
        QFETCH(QString, events);
        QFETCH(QString, expected);
        TrendSeries series;
        feed(series, events);
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

    // Another unit starts a new series; another model a new segment, its
    // start kept where the earlier readings expire.
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
        QVERIFY(series.addReading(kStart.addSecs(6), pt100(235)));
        QCOMPARE(series.generation(), generation + 2);
        QCOMPARE(series.size(), 1);

        // An hour of a TRV-A, then an hour and a half of a TRV-C.
        series.clear();
        for (int s = 0; s < 3600; ++s)
            series.addReading(kStart.addSecs(s), pt100(900));
        QVERIFY(!series.addReading(kStart.addSecs(3600), pt100(250, 10, "TRV-C")));
        series.addReading(kStart.addSecs(3601), pt100(252, 999, "")); // a model not known
        for (int s = 3602; s < 3600 + 5400; ++s)
            series.addReading(kStart.addSecs(s), pt100(200, 10, "TRV-C"));
        QStringList changes;
        for (const auto& c : series.modelChanges())
            changes << QString::number(c.serial) + c.time.toString(" HH:mm:ss ") + c.model;
        QCOMPARE(changes, QStringList({"3600 10:15:02 TRV-C", "3601 10:15:03 modelo 999",
                                       "3602 10:15:04 TRV-C"}));
        QCOMPARE(series.firstSerial(), 1799); // two hours kept: the TRV-A's last half hour
        QCOMPARE(::figures(series), "20,0 20,0 20,0 20,0 5398 0");
        // The TRV-C's first reading expires with the last of the TRV-A's.
        series.addReading(kStart.addSecs(3600 + 7200), pt100(201, 10, "TRV-C"));
        QCOMPARE(series.firstSerial(), 3600);
        QCOMPARE(series.modelChanges().size(), size_t(3));
        series.addReading(kStart.addSecs(3601 + 7200), pt100(201, 10, "TRV-C"));
        QCOMPARE(series.modelChanges().front().model, "modelo 999");
        QCOMPARE(::figures(series), "20,0 20,1 20,0 20,1 5400 0");
        QCOMPARE(series.generation(), generation + 3);
    }

    // The menu's window follows the main window's readings across
    // connections: a failure, a cable pulled, a disconnect by hand are gaps,
    // another transmitter on the cable a mark, until "Limpar".
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
        QCOMPARE(trend->runCount(), 2); // two runs around the gap

        // The cable pulled, the messages answered, connected and read again.
        const auto* counts = trend->findChild<QLabel*>("counts");
        w.device.setFault(Fault::Unplugged);
        w.poll();
        QCOMPARE(w.messages.told,
                 QStringList({"Erro ao tentar enviar dados.", "Erro ao abrir o dispositivo USB."}));
        QTest::qSleep(1100);
        w.device.setFault(Fault::None);
        w.connectAndRead();
        QCOMPARE(counts->text(), "Leituras: 5\nFalhas: 2");
        QCOMPARE(trend->runCount(), 3);
        const QChart* chart = trend->chartView()->chart();
        const auto* times = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).value(0));
        QVERIFY(times->min() <= w.form.trend().sample(0).time); // not started again
        // Stopped and disconnected by hand: no failure, still a gap, and the
        // last value not passed off as live meanwhile.
        w.click(w.button("transmite"));
        w.click(w.button("btConectar"));
        QCOMPARE(trend->findChild<QLabel*>("last")->text(),
                 "Último: 23,5 °C\nsem leitura desde " +
                     w.form.trend().sample(6).time.toString("HH:mm:ss"));
        QTest::qSleep(1100);
        w.connectAndRead();
        QCOMPARE(counts->text(), "Leituras: 6\nFalhas: 2");
        QCOMPARE(trend->runCount(), 4);

        // A TRV-C in its place: its own line and figures, marked with its
        // name from the value axis' bottom to its top at its first reading.
        w.device.setRegister(quorva::transmitter::Register::ModelCode, 10);
        w.poll();
        QCOMPARE(counts->text(), "Leituras: 1\nFalhas: 0");
        QCOMPARE(trend->runCount(), 5);
        const auto* values = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
        const double at = double(w.form.trend().sample(8).time.toMSecsSinceEpoch());
        const QList<QPointF> across{{at, values->min()}, {at, values->max()}};
        QStringList marks; // the TRV-C's range drawn from its mark on
        for (const QLineSeries* line : linesIn(*trend, Qt::DashLine))
            marks << line->name() + (line->at(0).x() == at ? " from it" : " elsewhere");
        for (const QLineSeries* line : linesIn(*trend, Qt::DashDotLine))
            marks << line->pointLabelsFormat() + (line->points() == across ? " across" : " off");
        QCOMPARE(marks, QStringList(
                            {"V. Mín. -200 °C from it", "V. Máx. 650 °C from it", "TRV-C across"}));

        // "Limpar" asks first; "Não" keeps everything.
        auto* clear = trend->findChild<QPushButton*>("clearButton");
        w.click(clear);
        QCOMPARE(w.messages.told.last(),
                 "? Limpar a tendência? As leituras mostradas serão descartadas.");
        QCOMPARE(w.form.trend().size(), 9);
        w.messages.answer = true;
        w.click(clear);
        QCOMPARE(counts->text(), "Leituras: 0\nFalhas: 0");
        QCOMPARE(trend->runCount(), 0);
        QVERIFY(!clear->isEnabled());
        w.poll();
        QCOMPARE(counts->text(), "Leituras: 1\nFalhas: 0");
        // Closing the main window closes this one.
        w.form.close();
        QVERIFY(!trend->isVisible());
    }

    // Before any reading the value axis is a bench's temperatures in °C,
    // not 0 to 1 of no unit; failures alone leave it so.
    void emptyAxis()
    {
        TrendSeries series;
        RecordingMessages messages;
        quorva::ui::TrendWindow trend(series, messages);
        const auto* values =
            qobject_cast<QValueAxis*>(trend.chartView()->chart()->axes(Qt::Vertical).value(0));
        for (const char* events : {"", "x x"}) {
            feed(series, events);
            trend.follow();
            QCOMPARE(values->titleText(), "°C");
            QCOMPARE(QList<qreal>({values->min(), values->max()}), QList<qreal>({0, 50}));
        }
    }

    // Every reading counted in the figures is on the chart: one between two
    // failures as a marker; a line broken by failures, a pause and another
    // model, whose start is marked with its name; "Último" says when the
    // readings since have failed or stopped.
    void drawn_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("more"); // fed after the window drew the first
        QTest::addColumn<QList<qreal>>("markers");
        QTest::addColumn<int>("runs");
        QTest::addColumn<QStringList>("marks");
        QTest::addColumn<QString>("last");
        const auto row = [](const char* name, const char* events, const char* more,
                            const QList<qreal>& markers, int runs, const char* last,
                            const QStringList& marks = {}) {
            QTest::newRow(name) << QString(events) << QString(more) << markers << runs << marks
                                << "Último: " + QString(last);
        };
        row("between failures", "235 236 x 240 x 250 251", "", {24.0}, 3, "25,1 °C");
        row("failing since", "235 x 240 x x", "", {23.5, 24.0}, 2,
            "24,0 °C\nsem leitura desde 09:15:04");
        row("joined by the next", "x 235", "236 x", {}, 1, "23,6 °C\nsem leitura desde 09:15:04");
        row("failing again", "x 235", "x 236", {23.5, 23.6}, 2, "23,6 °C");
        row("stopped and read again", "235 236 |", "240 241", {}, 2, "24,1 °C");
        row("stopped", "235 236 |", "", {}, 1, "23,6 °C\nsem leitura desde 09:15:03");
        row("another model", "235 236 C240", "C241 C242 243 244", {}, 3, "24,4 °C",
            {"TRV-C", "TRV-A"});
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
        for (QAbstractSeries* s : trend.chartView()->chart()->series())
            if (auto* dots = qobject_cast<QScatterSeries*>(s))
                for (const QPointF& p : dots->points())
                    shown << p.y();
        QFETCH(QList<qreal>, markers);
        QCOMPARE(shown, markers);
        QFETCH(int, runs);
        QCOMPARE(trend.runCount(), runs);
        const auto names = [&trend](Qt::PenStyle style) {
            QStringList found;
            for (const QLineSeries* line : linesIn(trend, style))
                found << line->name();
            return found;
        };
        QFETCH(QStringList, marks);
        QCOMPARE(names(Qt::DashDotLine), marks);
        QCOMPARE(names(Qt::DashLine), QStringList({"V. Mín. -200 °C", "V. Máx. 650 °C"}));
        QSet<qreal> drawn(markers.begin(), markers.end()), read;
        for (const QLineSeries* line : linesIn(trend, Qt::SolidLine))
            for (const QPointF& p : line->points())
                if (line->count() > 1) // a point alone is no line: a marker shows it
                    drawn << p.y();
        for (qint64 s = series.firstSerial(); s < series.endSerial(); ++s)
            if (series.sample(s).ok)
                read << series.sample(s).value;
        QCOMPARE(drawn, read);
        QFETCH(QString, last);
        QCOMPARE(trend.findChild<QLabel*>("last")->text(), last);
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
