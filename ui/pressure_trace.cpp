#include "ui/pressure_trace.h"

#include <algorithm>
#include <cmath>

#include "device/c_numbers.h"

namespace ui {
namespace {

void Merge(PressureTrace::Column& into, const PressureTrace::Column& from) {
    if (!from.any) return;
    if (!into.any) {
        into = from;
        return;
    }
    into.lowest = std::min(into.lowest, from.lowest);
    into.highest = std::max(into.highest, from.highest);
    into.last = from.last;
}

void Merge(PressureTrace::Column& into, double psi) {
    Merge(into, PressureTrace::Column{psi, psi, psi, psi, true});
}

}  // namespace

void PressureTrace::Clear() {
    m_recent.clear();
    m_buckets.clear();
    m_bucketSeconds = kFirstBucketSeconds;
    m_count = 0;
}

void PressureTrace::Add(TracePoint point) {
    m_recent.push_back(point);
    const auto oldest = point.nanos - static_cast<std::int64_t>(kRecentSeconds * 1e9);
    while (m_recent.front().nanos < oldest) m_recent.pop_front();
    AddToBuckets(point);
    ++m_count;
}

void PressureTrace::AddToBuckets(const TracePoint& point) {
    size_t index = static_cast<size_t>(std::max(0.0, point.Seconds()) / m_bucketSeconds);
    while (index >= kMaxBuckets) {
        // Twice as wide: neighbours merge, and the time index halves.
        for (size_t i = 0; i < m_buckets.size(); i += 2) {
            Column merged = m_buckets[i];
            if (i + 1 < m_buckets.size()) Merge(merged, m_buckets[i + 1]);
            m_buckets[i / 2] = merged;
        }
        m_buckets.resize((m_buckets.size() + 1) / 2);
        m_bucketSeconds *= 2;
        index /= 2;
    }
    if (index >= m_buckets.size()) m_buckets.resize(index + 1);
    Merge(m_buckets[index], point.psi);
}

device::TimedReading PressureTrace::Reading(const TracePoint& point) const {
    const std::chrono::nanoseconds since(point.nanos);
    return {m_wallStart + std::chrono::duration_cast<std::chrono::system_clock::duration>(since),
            since,
            point.psi,
            device::FormatFixed6(point.psi),
            point.rawPressure,
            point.rawTemperature};
}

std::vector<device::TimedReading> PressureTrace::Readings(double from, double to) const {
    std::vector<device::TimedReading> readings;
    for (size_t i = IndexAt(from); i < m_recent.size() && m_recent[i].Seconds() <= to; ++i)
        readings.push_back(Reading(m_recent[i]));
    return readings;
}

size_t PressureTrace::IndexAt(double seconds) const {
    const auto it = std::lower_bound(m_recent.begin(), m_recent.end(), seconds,
                                     [](const TracePoint& p, double t) { return p.Seconds() < t; });
    return static_cast<size_t>(it - m_recent.begin());
}

size_t PressureTrace::Nearest(double seconds) const {
    if (m_recent.empty()) return 0;
    const size_t after = std::min(IndexAt(seconds), m_recent.size() - 1);
    if (after == 0) return 0;
    const bool earlier =
        seconds - m_recent[after - 1].Seconds() <= m_recent[after].Seconds() - seconds;
    return earlier ? after - 1 : after;
}

std::vector<PressureTrace::Column> PressureTrace::Columns(double from, double to, int count,
                                                          double until) const {
    std::vector<Column> columns(static_cast<size_t>(std::max(count, 0)));
    if (columns.empty() || !(to > from) || Empty()) return columns;
    const double perColumn = (to - from) / count;
    auto columnOf = [&](double seconds) {
        return std::clamp(static_cast<int>((seconds - from) / perColumn), 0, count - 1);
    };
    const size_t first = IndexAt(from);
    const bool kept = AllKept() || m_recent.front().Seconds() <= from;
    const bool few = IndexAt(std::nextafter(to, to + 1)) - first <=
                     kSinglesPerColumn * static_cast<size_t>(count);
    if (kept && few) {
        const double last = std::min(to, until);
        for (size_t i = first; i < m_recent.size() && m_recent[i].Seconds() <= last; ++i)
            Merge(columns[columnOf(m_recent[i].Seconds())], m_recent[i].psi);
        return columns;
    }
    const size_t firstBucket =
        static_cast<size_t>(std::max(0.0, std::floor(from / m_bucketSeconds)));
    for (size_t i = firstBucket; i < m_buckets.size(); ++i) {
        const double middle = (static_cast<double>(i) + 0.5) * m_bucketSeconds;
        if (middle > to || middle > until) break;
        if (middle >= from) Merge(columns[columnOf(middle)], m_buckets[i]);
    }
    return columns;
}

}  // namespace ui
