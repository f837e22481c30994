#include "trendseries.h"

#include <cmath>
#include <utility>

namespace quorva::transmitter {

void TrendSeries::clear()
{
    m_samples.clear();
    m_firstSerial = 0;
    ++m_generation;
    m_modelChanges.clear();
    m_paused = false;
    m_segmentFirst = 0;
    resetFigures();
    m_started = false;
    m_unit.clear();
    m_rangeLower.reset();
    m_rangeUpper.reset();
}

void TrendSeries::startSegment(const QDateTime& time, const QString& model)
{
    m_segmentFirst = endSerial();
    m_modelChanges.push_back({m_segmentFirst, time, model});
    resetFigures();
}

void TrendSeries::resetFigures()
{
    m_readings = 0;
    m_failures = 0;
    m_rawSum = 0;
    m_minCandidates.clear();
    m_maxCandidates.clear();
    m_lastReading = -1;
}

void TrendSeries::pause()
{
    m_paused = !m_samples.empty();
}

bool TrendSeries::addReading(const QDateTime& time, const ReadingReport& reading)
{
    const bool restart =
        m_started && (reading.measured.unit != m_unit || reading.measured.inTenths != m_inTenths);
    if (restart)
        clear();
    if (m_started && reading.modelCode != m_modelCode)
        startSegment(time, reading.model.isEmpty()
                               ? QStringLiteral("modelo %1").arg(reading.modelCode)
                               : reading.model);
    m_started = true;
    m_modelCode = reading.modelCode;
    m_sensorTypeIndex = reading.sensorTypeIndex;
    m_inTenths = reading.measured.inTenths;
    m_unit = reading.measured.unit;
    // The range is kept in tenths of the setting unit: the same scale as the
    // value only where the value is in tenths of °C too.
    if (m_inTenths) {
        m_rangeLower = reading.lowerTenths / 10.0;
        m_rangeUpper = reading.upperTenths / 10.0;
    } else {
        m_rangeLower.reset();
        m_rangeUpper.reset();
    }
    append({time, true, false, reading.measuredRaw, inUnit(reading.measuredRaw),
            reading.measured.value, QString()});
    return restart;
}

void TrendSeries::addFailure(const QDateTime& time, const QString& error)
{
    append({time, false, false, 0, 0, QString(), error});
}

void TrendSeries::append(TrendSample sample)
{
    const qint64 serial = endSerial();
    sample.afterPause = std::exchange(m_paused, false);
    if (sample.ok) {
        ++m_readings;
        const qint32 raw = sample.raw;
        m_rawSum += raw;
        while (!m_minCandidates.empty() && this->sample(m_minCandidates.back()).raw >= raw)
            m_minCandidates.pop_back();
        m_minCandidates.push_back(serial);
        while (!m_maxCandidates.empty() && this->sample(m_maxCandidates.back()).raw <= raw)
            m_maxCandidates.pop_back();
        m_maxCandidates.push_back(serial);
        m_lastReading = serial;
    } else {
        ++m_failures;
    }
    m_samples.push_back(std::move(sample));
    expire();
}

void TrendSeries::expire()
{
    const QDateTime newest = m_samples.back().time;
    while (int(m_samples.size()) > kMaxSamples ||
           m_samples.front().time.msecsTo(newest) > kKeptMs) {
        // An earlier model's samples were never in the figures.
        if (m_firstSerial >= m_segmentFirst)
            forget(m_firstSerial);
        m_samples.pop_front();
        ++m_firstSerial;
    }
    // A change whose first reading is gone marks nothing left on the chart.
    while (!m_modelChanges.empty() && m_modelChanges.front().serial < m_firstSerial)
        m_modelChanges.pop_front();
}

void TrendSeries::forget(qint64 serial)
{
    const TrendSample& oldest = sample(serial);
    if (oldest.ok) {
        m_rawSum -= oldest.raw;
        --m_readings;
    } else {
        --m_failures;
    }
    if (!m_minCandidates.empty() && m_minCandidates.front() == serial)
        m_minCandidates.pop_front();
    if (!m_maxCandidates.empty() && m_maxCandidates.front() == serial)
        m_maxCandidates.pop_front();
    if (m_lastReading == serial)
        m_lastReading = -1;
}

std::optional<double> TrendSeries::minimum() const
{
    if (m_minCandidates.empty())
        return std::nullopt;
    return inUnit(sample(m_minCandidates.front()).raw);
}

std::optional<double> TrendSeries::maximum() const
{
    if (m_maxCandidates.empty())
        return std::nullopt;
    return inUnit(sample(m_maxCandidates.front()).raw);
}

std::optional<double> TrendSeries::mean() const
{
    if (readings() == 0)
        return std::nullopt;
    return inUnit(m_rawSum) / readings();
}

std::optional<QDateTime> TrendSeries::staleSince() const
{
    if (m_lastReading < 0 || (m_lastReading == endSerial() - 1 && !m_paused))
        return std::nullopt;
    return sample(m_lastReading).time;
}

std::optional<double> TrendSeries::last() const
{
    if (m_lastReading < 0)
        return std::nullopt;
    return sample(m_lastReading).value;
}

QString TrendSeries::valueText(double value) const
{
    // Back to the register's resolution, then the window's own format.
    const double raw = m_inTenths ? value * 10 : value;
    return measuredValueText(m_sensorTypeIndex, qint32(std::lround(raw))).value;
}

} // namespace quorva::transmitter
