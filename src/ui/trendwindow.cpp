#include "trendwindow.h"

#include "link/systemerror.h"
#include "transmitter/configfields.h"
#include "transmitter/readingcsv.h"
#include "transmitter/savedfile.h"
#include "transmitter/trendseries.h"
#include "ui/messagesink.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cerrno>

namespace quorva::ui {

namespace {

const QColor kReadingColour(0, 90, 170);
const QColor kRangeColour(200, 60, 40);
const QColor kModelChangeColour(20, 120, 60);
// The value axis before any reading: a bench's temperatures, in the unit of
// every sensor but the pressure input.
constexpr double kEmptyBottom = 0;
constexpr double kEmptyTop = 50;
const QString kEmptyUnit = QStringLiteral("°C");
const QString kClearQuestion =
    QStringLiteral("Limpar a tendência? As leituras mostradas serão descartadas.");
// A trend of a few seconds still shows a minute, so the first points are not a smear.
constexpr qint64 kShortestSpanMs = 60 * 1000;
// The most time slices a span is drawn in: two points each at most, few
// enough that the chart's geometry, redone at each change, stays cheap.
constexpr qint64 kMostBuckets = 200;
constexpr qint64 kBucketLadderMs[] = {1000, 2000, 5000, 10000, 15000, 20000, 30000, 60000};
const QString kNoValue = QStringLiteral("—");
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");
const QString kPngFilter = QStringLiteral("Imagem PNG (*.png)");

QLabel* figure(QWidget* parent, const char* name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

void setRangeLine(QLineSeries* line, double fromMs, double toMs, std::optional<double> value)
{
    line->setVisible(value.has_value());
    if (!value)
        return;
    line->replace({{fromMs, *value}, {toMs, *value}});
}

// The file whole or not at all, or the system's reason.
bool saveWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    int number = 0;
    if (transmitter::saveWhole(path, bytes, &number))
        return true;
    *error = number != 0 ? link::systemErrorText(number) : QStringLiteral("a gravação falhou");
    return false;
}

} // namespace

TrendWindow::TrendWindow(const transmitter::TrendSeries& series, MessageSink& messages,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), m_series(series), m_messages(messages), m_chart(new QChart),
      m_view(new QChartView(m_chart, this)), m_timeAxis(new QDateTimeAxis),
      m_valueAxis(new QValueAxis), m_lowerLine(new QLineSeries), m_upperLine(new QLineSeries),
      m_lonePoints(new QScatterSeries), m_minimum(figure(this, "minimum")),
      m_maximum(figure(this, "maximum")), m_mean(figure(this, "mean")),
      m_last(figure(this, "last")), m_counts(figure(this, "counts")),
      m_fitToValues(new QCheckBox(QStringLiteral("Ajustar à medição"), this)),
      m_clear(new QPushButton(QStringLiteral("Limpar"), this)),
      m_export(new QPushButton(QStringLiteral("Exportar"), this))
{
    setObjectName(QStringLiteral("trendWindow"));
    setWindowTitle(QStringLiteral("Tendência"));
    m_view->setObjectName(QStringLiteral("chart"));
    m_fitToValues->setObjectName(QStringLiteral("fitToValues"));
    m_clear->setObjectName(QStringLiteral("clearButton"));
    m_export->setObjectName(QStringLiteral("exportButton"));

    m_timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    m_timeAxis->setTitleText(QStringLiteral("Hora"));
    m_timeAxis->setTickCount(6);
    m_valueAxis->setLabelFormat(QStringLiteral("%.1f"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    m_chart->setLocalizeNumbers(true);
    m_chart->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->legend()->setAlignment(Qt::AlignTop);
    for (QLineSeries* line : {m_lowerLine, m_upperLine}) {
        QPen pen(kRangeColour, 1.5, Qt::DashLine);
        line->setPen(pen);
        m_chart->addSeries(line);
        line->attachAxis(m_timeAxis);
        line->attachAxis(m_valueAxis);
    }
    m_lonePoints->setColor(kReadingColour);
    m_lonePoints->setBorderColor(kReadingColour);
    m_lonePoints->setMarkerSize(5);
    m_chart->addSeries(m_lonePoints);
    m_lonePoints->attachAxis(m_timeAxis);
    m_lonePoints->attachAxis(m_valueAxis);
    for (QLegendMarker* marker : m_chart->legend()->markers(m_lonePoints))
        marker->setVisible(false);
    m_view->setRenderHint(QPainter::Antialiasing, false);
    m_view->setMinimumSize(560, 340);

    auto* figures = new QVBoxLayout;
    for (QLabel* l : {m_last, m_minimum, m_maximum, m_mean, m_counts})
        figures->addWidget(l);
    figures->addSpacing(12);
    figures->addWidget(m_fitToValues);
    figures->addStretch();
    figures->addWidget(m_clear);
    figures->addWidget(m_export);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(figures);
    QFont big = m_last->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    m_last->setFont(big);

    connect(m_fitToValues, &QCheckBox::toggled, this, [this] { rescale(); });
    connect(m_clear, &QPushButton::clicked, this, [this] { askClear(); });
    connect(m_export, &QPushButton::clicked, this, [this] { chooseExport(); });
    resize(820, 420);
    follow();
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::restart()
{
    for (const Run& run : m_runs) {
        m_chart->removeSeries(run.line);
        delete run.line;
    }
    m_runs.clear();
    for (const Mark& mark : m_marks) {
        m_chart->removeSeries(mark.line);
        delete mark.line;
    }
    m_marks.clear();
    m_rangeShown = false;
    m_runOpen = false;
    m_breakPending = false;
    m_generation = m_series.generation();
    m_drawnEnd = m_series.firstSerial();
}

qint64 TrendWindow::bucketMsFor(qint64 spanMs) const
{
    for (qint64 ms : kBucketLadderMs)
        if (spanMs / ms < kMostBuckets)
            return ms;
    return std::end(kBucketLadderMs)[-1];
}

void TrendWindow::follow()
{
    if (m_generation != m_series.generation())
        restart();
    // A longer span takes wider slices: drawn again, once per step of the ladder.
    if (!m_series.isEmpty()) {
        const qint64 span = m_series.sample(m_series.firstSerial())
                                .time.msecsTo(m_series.sample(m_series.endSerial() - 1).time);
        if (const qint64 ms = bucketMsFor(span); ms != m_bucketMs) {
            restart();
            m_bucketMs = ms;
        }
    }
    // The unit is known from the first reading on.
    const QString unit = m_series.unit().isEmpty() ? kEmptyUnit : m_series.unit();
    if (m_valueAxis->titleText() != unit)
        m_valueAxis->setTitleText(unit);
    for (qint64 s = std::max(m_drawnEnd, m_series.firstSerial()); s < m_series.endSerial(); ++s)
        plot(s);
    m_drawnEnd = m_series.endSerial();
    dropExpired();
    followModelChanges();
    markLonePoints();
    rescale();
    showFigures();
}

void TrendWindow::plot(qint64 serial)
{
    const transmitter::TrendSample& sample = m_series.sample(serial);
    // The time readings were stopped is no more bridged than a failure.
    if (!sample.ok || sample.afterPause)
        m_breakPending = true;
    if (!sample.ok)
        return;
    const qint64 ms = sample.time.toMSecsSinceEpoch();
    const double value = sample.value;
    // A failure breaks the line where its slice ends: the gap shows at the
    // slice's resolution, and a line that fails often is never more lines
    // than slices. Another model's first reading never joins the last one's.
    if (!m_runOpen || (m_breakPending && ms / m_bucketMs != m_bucket.index) ||
        startsSegment(serial))
        openRun();
    const Bucket before = m_bucket;
    if (ms / m_bucketMs != m_bucket.index) {
        m_bucket = {ms / m_bucketMs, value, value, ms, ms, 0};
    } else if (value < m_bucket.low) {
        m_bucket.low = value;
        m_bucket.lowMs = ms;
    } else if (value > m_bucket.high) {
        m_bucket.high = value;
        m_bucket.highMs = ms;
    } else {
        return; // within what the slice already shows
    }
    plotBucket(m_runs.back().line, before);
}

void TrendWindow::openRun()
{
    m_breakPending = false;
    auto* line = new QLineSeries;
    line->setPen(QPen(kReadingColour, 1.5));
    m_chart->addSeries(line);
    line->attachAxis(m_timeAxis);
    line->attachAxis(m_valueAxis);
    for (QLegendMarker* marker : m_chart->legend()->markers(line))
        marker->setVisible(false);
    m_runs.push_back({line});
    m_runOpen = true;
    m_bucket = Bucket{};
}

bool TrendWindow::startsSegment(qint64 serial) const
{
    // Changes of model are a handful, each a transmitter swapped on the cable.
    const auto& changes = m_series.modelChanges();
    return std::any_of(
        changes.rbegin(), changes.rend(),
        [serial](const transmitter::TrendModelChange& c) { return c.serial == serial; });
}

void TrendWindow::followModelChanges()
{
    const auto& changes = m_series.modelChanges();
    // A mark goes with its first reading.
    while (!m_marks.empty() &&
           (changes.empty() || m_marks.front().serial < changes.front().serial)) {
        m_chart->removeSeries(m_marks.front().line);
        delete m_marks.front().line;
        m_marks.pop_front();
        m_rangeShown = false;
    }
    for (const transmitter::TrendModelChange& change : changes) {
        if (!m_marks.empty() && change.serial <= m_marks.back().serial)
            continue;
        auto* line = new QLineSeries;
        line->setPen(QPen(kModelChangeColour, 1.5, Qt::DashDotLine));
        line->setName(change.model);
        const double x = double(change.time.toMSecsSinceEpoch());
        line->append({{x, 0}, {x, 0}});
        // The model's name above the line's top, where it meets the plot's edge.
        line->setPointLabelsFormat(change.model);
        line->setPointLabelsColor(kModelChangeColour);
        QFont bold = line->pointLabelsFont();
        bold.setBold(true);
        line->setPointLabelsFont(bold);
        line->setPointLabelsClipping(false);
        line->setPointLabelsVisible(true);
        line->setPointConfiguration(0, QXYSeries::PointConfiguration::LabelVisibility, false);
        m_chart->addSeries(line);
        line->attachAxis(m_timeAxis);
        line->attachAxis(m_valueAxis);
        for (QLegendMarker* marker : m_chart->legend()->markers(line))
            marker->setVisible(false);
        m_marks.push_back({change.serial, line});
        m_rangeShown = false;
    }
}

void TrendWindow::placeMarks()
{
    // From the bottom of the value axis to its top, however it moves.
    for (const Mark& mark : m_marks) {
        const double x = mark.line->at(0).x();
        const QPointF bottom(x, m_valueAxis->min());
        const QPointF top(x, m_valueAxis->max());
        if (mark.line->at(0) != bottom || mark.line->at(1) != top) {
            mark.line->replace(0, bottom);
            mark.line->replace(1, top);
        }
    }
}

void TrendWindow::plotBucket(QLineSeries* line, const Bucket& before)
{
    // The slice's extremes in the order they came.
    QList<QPointF> points{{double(m_bucket.lowMs), m_bucket.low}};
    if (m_bucket.highMs != m_bucket.lowMs)
        points.insert(m_bucket.highMs < m_bucket.lowMs ? 0 : 1,
                      QPointF(double(m_bucket.highMs), m_bucket.high));
    const bool sameSlice = before.index == m_bucket.index;
    const int kept = line->count() - (sameSlice ? before.points : 0);
    m_bucket.points = int(points.size());
    // One change to the line per reading: each makes the chart lay it out again.
    if (!sameSlice) {
        line->append(points);
    } else if (before.points == int(points.size())) {
        for (int i = 0; i < points.size(); ++i)
            if (line->at(kept + i) != points[i])
                line->replace(kept + i, points[i]);
    } else {
        QList<QPointF> all = line->points().mid(0, kept);
        line->replace(all + points);
    }
}

void TrendWindow::dropExpired()
{
    if (m_series.isEmpty())
        return;
    const double first = double(m_series.sample(m_series.firstSerial()).time.toMSecsSinceEpoch());
    while (!m_runs.empty()) {
        QLineSeries* line = m_runs.front().line;
        int gone = 0;
        while (gone < line->count() && line->at(gone).x() < first)
            ++gone;
        if (gone == 0)
            break;
        if (gone < line->count() || (m_runs.size() == 1 && m_runOpen)) {
            if (gone == line->count())
                m_bucket = Bucket{}; // its points are gone: the next reading starts a slice
            line->removePoints(0, gone);
            break;
        }
        m_chart->removeSeries(line);
        delete line;
        m_runs.pop_front();
    }
    if (m_runs.empty())
        m_runOpen = false;
}

void TrendWindow::markLonePoints()
{
    // Runs are at most one per slice of the span: a look at each is cheap,
    // and the markers change only when a run is born, grows or goes.
    QList<QPointF> lone;
    for (const Run& run : m_runs)
        if (run.line->count() == 1)
            lone << run.line->at(0);
    if (lone != m_lonePoints->points())
        m_lonePoints->replace(lone);
}

void TrendWindow::rescale()
{
    // The time axis moves a slice at a time, not at every reading: a new
    // range lays every line out again.
    QDateTime from = QDateTime::currentDateTime();
    QDateTime to = from.addMSecs(kShortestSpanMs);
    if (!m_series.isEmpty()) {
        const qint64 first = m_series.sample(m_series.firstSerial()).time.toMSecsSinceEpoch();
        const qint64 last = m_series.sample(m_series.endSerial() - 1).time.toMSecsSinceEpoch();
        const qint64 step = m_bucketMs * 5;
        from = QDateTime::fromMSecsSinceEpoch(first / step * step);
        to = QDateTime::fromMSecsSinceEpoch(
            std::max((last / step + 1) * step, from.toMSecsSinceEpoch() + kShortestSpanMs));
    }
    if (m_timeAxis->min() != from || m_timeAxis->max() != to) {
        m_timeAxis->setRange(from, to);
        m_rangeShown = false;
    }

    // The range is shown with the values unless the technician zooms to the values.
    const bool withRange = !m_fitToValues->isChecked();
    std::optional<double> low = m_series.minimum();
    std::optional<double> high = m_series.maximum();
    for (std::optional<double> bound : {m_series.rangeLower(), m_series.rangeUpper()}) {
        if (!bound || !withRange)
            continue;
        low = low ? std::min(*low, *bound) : *bound;
        high = high ? std::max(*high, *bound) : *bound;
    }
    // Without a value, a bench's temperatures rather than 0 to 1 of no unit.
    double bottom = kEmptyBottom;
    double top = kEmptyTop;
    if (low && high) {
        const double margin = std::max((*high - *low) * 0.05, 0.5);
        bottom = *low - margin;
        top = *high + margin;
    }
    // Round ticks; the axis is set again only when the values ask for another range.
    if (bottom != m_valuesBottom || top != m_valuesTop) {
        m_valuesBottom = bottom;
        m_valuesTop = top;
        m_valueAxis->setRange(bottom, top);
        m_valueAxis->applyNiceNumbers();
    }
    placeMarks();
    if (!m_rangeShown || m_lowerShown != m_series.rangeLower() ||
        m_upperShown != m_series.rangeUpper()) {
        // The range is the present model's: drawn from where its readings begin.
        double from = double(m_timeAxis->min().toMSecsSinceEpoch());
        if (!m_marks.empty())
            from = std::max(from, m_marks.back().line->at(0).x());
        const double to = double(m_timeAxis->max().toMSecsSinceEpoch());
        setRangeLine(m_lowerLine, from, to, m_series.rangeLower());
        setRangeLine(m_upperLine, from, to, m_series.rangeUpper());
        m_lowerShown = m_series.rangeLower();
        m_upperShown = m_series.rangeUpper();
        m_rangeShown = true;
    }
}

void TrendWindow::showFigures()
{
    const QString unit = m_series.unit();
    const auto text = [&](std::optional<double> value) {
        return value ? m_series.valueText(*value) + u' ' + unit : kNoValue;
    };
    // A value read before the failures since is not passed off as live.
    QString last = QStringLiteral("Último: %1").arg(text(m_series.last()));
    const std::optional<QDateTime> stale = m_series.staleSince();
    if (stale)
        last += QStringLiteral("\nsem leitura desde %1").arg(stale->toString(u"HH:mm:ss"));
    m_last->setText(last);
    m_last->setEnabled(!stale);
    m_minimum->setText(QStringLiteral("Mínimo: %1").arg(text(m_series.minimum())));
    m_maximum->setText(QStringLiteral("Máximo: %1").arg(text(m_series.maximum())));
    m_mean->setText(QStringLiteral("Média: %1").arg(text(m_series.mean())));
    m_counts->setText(QStringLiteral("Leituras: %1\nFalhas: %2")
                          .arg(m_series.readings())
                          .arg(m_series.failures()));
    m_clear->setEnabled(!m_series.isEmpty());
    // The range as the range fields write it: "-200", not "-200,0".
    const auto range = [&](std::optional<double> value) {
        return value ? transmitter::rangeValueText(qRound(*value * 10)) + u' ' + unit : kNoValue;
    };
    m_lowerLine->setName(QStringLiteral("%1 %2").arg(
        transmitter::fieldCaption(transmitter::Slot::RangeLower), range(m_series.rangeLower())));
    m_upperLine->setName(QStringLiteral("%1 %2").arg(
        transmitter::fieldCaption(transmitter::Slot::RangeUpper), range(m_series.rangeUpper())));
}

void TrendWindow::askClear()
{
    // Two hours of a loop check are not lost to a slip of the mouse.
    if (m_messages.ask(kClearQuestion))
        emit clearRequested();
}

void TrendWindow::chooseExport()
{
    QString filter = kCsvFilter;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Exportar"), QStringLiteral("tendencia.csv"),
        kCsvFilter + QStringLiteral(";;") + kPngFilter, &filter);
    if (path.isEmpty())
        return;
    // A name without a suffix takes the one of the type chosen.
    if (QFileInfo(path).suffix().isEmpty())
        path += filter == kPngFilter ? QStringLiteral(".png") : QStringLiteral(".csv");
    exportTo(path);
}

bool TrendWindow::exportTo(const QString& path)
{
    QString error;
    const bool png =
        QFileInfo(path).suffix().compare(QStringLiteral("png"), Qt::CaseInsensitive) == 0;
    if (png ? writePng(path, &error) : writeCsv(path, &error))
        return true;
    m_messages.showMessageWithReason(
        QStringLiteral("Não foi possível salvar \"%1\".").arg(QDir::toNativeSeparators(path)),
        error);
    return false;
}

bool TrendWindow::writeCsv(const QString& path, QString* error) const
{
    QByteArray text = QByteArray(transmitter::kMonitorCsvHeader) + '\n';
    for (qint64 s = m_series.firstSerial(); s < m_series.endSerial(); ++s) {
        const transmitter::TrendSample& sample = m_series.sample(s);
        text += transmitter::monitorCsvRow(transmitter::isoTimestamp(sample.time),
                                           sample.ok ? sample.text : QString(),
                                           sample.ok ? m_series.unit() : QString(), sample.error)
                    .toUtf8() +
                '\n';
    }
    return saveWhole(path, text, error);
}

bool TrendWindow::writePng(const QString& path, QString* error) const
{
    QByteArray image;
    QBuffer buffer(&image);
    if (!buffer.open(QIODevice::WriteOnly) || !m_view->grab().save(&buffer, "PNG")) {
        *error = QStringLiteral("a imagem não pôde ser gerada");
        return false;
    }
    return saveWhole(path, image, error);
}

} // namespace quorva::ui
