#pragma once

#include "transmitter/reading.h"

#include <QDateTime>
#include <QString>
#include <deque>
#include <optional>

// The measured value over time, as the window reads it: kept in memory only,
// bounded, with the figures a technician looks at beside a trend.
namespace quorva::transmitter {

struct TrendSample
{
    QDateTime time;
    bool ok = false; // false: a failed reading, a gap in the trend
    // Readings stopped before this one (Parar Leitura, Desconectar, the
    // link lost): the line does not bridge the time without them.
    bool afterPause = false;
    qint32 raw = 0;   // the measured register as read
    double value = 0; // in the reading's unit
    QString text;     // the value as the window shows it
    QString error;    // why the reading failed
};

// Where the readings of another model begin: the trend keeps the last
// transmitter's readings and marks where this one's start.
struct TrendModelChange
{
    qint64 serial = 0; // of the new model's first reading
    QDateTime time;
    QString model; // as the transmitter names it ("TRV-C"), or its code ("modelo 999")
};

class TrendSeries
{
public:
    // Two hours at one reading a second; beyond either bound the oldest go.
    static constexpr qint64 kKeptMs = 2 * 3600 * 1000;
    static constexpr int kMaxSamples = 2 * 3600 * 2; // a clock set back still stays bounded

    // Everything goes: the technician's "Limpar".
    void clear();
    // A reading in another unit starts a new series: its values would not
    // belong on the same axis (true when it did). A reading of another model
    // starts a new segment: the readings before stay, the figures restart.
    bool addReading(const QDateTime& time, const ReadingReport& reading);
    void addFailure(const QDateTime& time, const QString& error);
    // Readings stopped: the next sample comes after a pause, and the last
    // value is no longer live.
    void pause();

    // Samples are numbered from the first ever added since the last clear,
    // so a view can tell which it has already drawn and which have expired.
    qint64 firstSerial() const { return m_firstSerial; }
    qint64 endSerial() const { return m_firstSerial + qint64(m_samples.size()); }
    const TrendSample& sample(qint64 serial) const
    {
        return m_samples[size_t(serial - m_firstSerial)];
    }
    bool isEmpty() const { return m_samples.empty(); }
    int size() const { return int(m_samples.size()); }
    // Changes at every clear: a view drawn for another generation starts over.
    int generation() const { return m_generation; }

    // The kept places where another model's readings begin, oldest first.
    const std::deque<TrendModelChange>& modelChanges() const { return m_modelChanges; }

    // The figures are the present model's: over its segment's kept samples.
    int failures() const { return m_failures; }
    int readings() const { return m_readings; }
    // Over the readings kept; empty without one.
    std::optional<double> minimum() const;
    std::optional<double> maximum() const;
    std::optional<double> mean() const;
    std::optional<double> last() const;
    // When the last reading was taken, if readings have failed or stopped
    // since: the last value is then no longer live. Empty while it is.
    std::optional<QDateTime> staleSince() const;
    // A value in the unit, written as the window writes the measured value.
    QString valueText(double value) const;

    QString unit() const { return m_unit; }
    // The configured range, in the measured unit, as the last reading gave
    // it; absent where the range is not in the measured unit (pressure).
    std::optional<double> rangeLower() const { return m_rangeLower; }
    std::optional<double> rangeUpper() const { return m_rangeUpper; }

private:
    void startSegment(const QDateTime& time, const QString& model);
    void resetFigures();
    void append(TrendSample sample);
    void expire();
    void forget(qint64 serial); // the oldest sample leaves the figures
    double inUnit(qint64 raw) const { return m_inTenths ? double(raw) / 10 : double(raw); }

    std::deque<TrendSample> m_samples;
    qint64 m_firstSerial = 0;
    int m_generation = 0;
    qint64 m_segmentFirst = 0; // the figures count from this serial on
    std::deque<TrendModelChange> m_modelChanges;
    bool m_paused = false; // since the last sample
    int m_readings = 0;
    int m_failures = 0;
    // The readings' sum stays exact in whole registers: the mean never drifts
    // however long the series runs.
    qint64 m_rawSum = 0;
    // Serials of candidate extremes, each run monotonic, so the minimum and
    // maximum over a sliding window cost no rescan.
    std::deque<qint64> m_minCandidates;
    std::deque<qint64> m_maxCandidates;
    qint64 m_lastReading = -1;
    bool m_started = false;
    qint32 m_modelCode = 0;
    int m_sensorTypeIndex = -1;
    bool m_inTenths = false;
    QString m_unit;
    std::optional<double> m_rangeLower;
    std::optional<double> m_rangeUpper;
};

} // namespace quorva::transmitter
