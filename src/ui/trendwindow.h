#pragma once

#include <QWidget>
#include <deque>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace quorva::transmitter {
class TrendSeries;
} // namespace quorva::transmitter

namespace quorva::ui {

class MessageSink;

// The measured value over time, drawn from the series the main window fills:
// one line per unbroken run of readings, so a failed reading or a pause is a
// gap and never a zero, and a run of one point a marker; where another model's
// readings begin, a dash-dot line named after it; the configured range as
// dashed lines; the figures beside.
class TrendWindow : public QWidget
{
    Q_OBJECT

public:
    TrendWindow(const transmitter::TrendSeries& series, MessageSink& messages,
                QWidget* parent = nullptr);
    ~TrendWindow() override;

    // Draws what the series gained (and drops what it let go) since the last call.
    void follow();
    // The series as CSV (the monitor's format) or, for a ".png" name, the
    // chart as an image; a failure is told by a message naming the file.
    bool exportTo(const QString& path);
    QChartView* chartView() const { return m_view; }
    int runCount() const { return int(m_runs.size()); }

signals:
    // "Limpar", confirmed: the series' owner clears it.
    void clearRequested();

private:
    // The readings of one time slice, drawn as their lowest and highest
    // (one point when they are the same reading): an hour's noise keeps its
    // width on the chart without a point per reading.
    struct Bucket
    {
        qint64 index = -1;
        double low = 0, high = 0;
        qint64 lowMs = 0, highMs = 0;
        int points = 0; // how many of the run's last points are this bucket's
    };
    struct Run
    {
        QLineSeries* line;
    };
    // Where another model's readings begin.
    struct Mark
    {
        qint64 serial;
        QLineSeries* line;
    };
    void restart();
    void plot(qint64 serial);
    void openRun();
    bool startsSegment(qint64 serial) const;
    void followModelChanges();
    void placeMarks();
    void plotBucket(QLineSeries* line, const Bucket& before);
    qint64 bucketMsFor(qint64 spanMs) const;
    void dropExpired();
    void markLonePoints();
    void rescale();
    void showFigures();
    void askClear();
    void chooseExport();
    bool writeCsv(const QString& path, QString* error) const;
    bool writePng(const QString& path, QString* error) const;

    const transmitter::TrendSeries& m_series;
    MessageSink& m_messages;
    QChart* m_chart;
    QChartView* m_view;
    QDateTimeAxis* m_timeAxis;
    QValueAxis* m_valueAxis;
    QLineSeries* m_lowerLine;
    QLineSeries* m_upperLine;
    QScatterSeries* m_lonePoints; // the runs a line of one point would not draw
    QLabel* m_minimum;
    QLabel* m_maximum;
    QLabel* m_mean;
    QLabel* m_last;
    QLabel* m_counts;
    QCheckBox* m_fitToValues;
    QPushButton* m_clear;
    QPushButton* m_export;
    std::deque<Run> m_runs;
    std::deque<Mark> m_marks;
    bool m_runOpen = false;      // a run takes the next reading
    bool m_breakPending = false; // a failure since the open run's last reading
    Bucket m_bucket;             // the open run's last
    qint64 m_bucketMs = 1000;
    qint64 m_drawnEnd = 0; // serial after the last sample drawn
    int m_generation = -1;
    // The range lines as drawn, redrawn when the range or the time axis moves.
    bool m_rangeShown = false;
    double m_valuesBottom = 0, m_valuesTop = 0; // the value axis' range before rounding
    std::optional<double> m_lowerShown;
    std::optional<double> m_upperShown;
};

} // namespace quorva::ui
