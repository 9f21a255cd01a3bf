#include "ui/pressure_trace.h"

#include <algorithm>
#include <cmath>

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
    while (m_recent.front().seconds < point.seconds - kRecentSeconds) m_recent.pop_front();
    AddToBuckets(point);
    ++m_count;
}

void PressureTrace::AddToBuckets(const TracePoint& point) {
    size_t index = static_cast<size_t>(std::max(0.0, point.seconds) / m_bucketSeconds);
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

std::vector<PressureTrace::Column> PressureTrace::Columns(double from, double to, int count) const {
    std::vector<Column> columns(static_cast<size_t>(std::max(count, 0)));
    if (columns.empty() || !(to > from) || Empty()) return columns;
    const double perColumn = (to - from) / count;
    auto columnOf = [&](double seconds) {
        return std::clamp(static_cast<int>((seconds - from) / perColumn), 0, count - 1);
    };
    const bool singleReadings = m_count == m_recent.size() || m_recent.front().seconds <= from;
    if (singleReadings) {
        auto it = std::lower_bound(m_recent.begin(), m_recent.end(), from,
                                   [](const TracePoint& p, double t) { return p.seconds < t; });
        for (; it != m_recent.end() && it->seconds <= to; ++it)
            Merge(columns[columnOf(it->seconds)], it->psi);
        return columns;
    }
    const size_t firstBucket =
        static_cast<size_t>(std::max(0.0, std::floor(from / m_bucketSeconds)));
    for (size_t i = firstBucket; i < m_buckets.size(); ++i) {
        const double middle = (static_cast<double>(i) + 0.5) * m_bucketSeconds;
        if (middle > to) break;
        if (middle >= from) Merge(columns[columnOf(middle)], m_buckets[i]);
    }
    return columns;
}

}  // namespace ui
