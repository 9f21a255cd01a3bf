#include "ui/pressure_feed.h"

#include <algorithm>
#include <climits>

namespace ui {
namespace {

constexpr size_t kQueuedUnwatched = 4096;

std::int32_t Count32(long count) {
    return static_cast<std::int32_t>(std::clamp<long>(count, INT32_MIN, INT32_MAX));
}

}  // namespace

void PressureFeed::OnReadings(const std::vector<device::TimedReading>& readings) {
    if (readings.empty()) return;
    std::lock_guard lock(m_mutex);
    // Every reading of a run has the same wall-clock start: its UTC less its time since then.
    const device::TimedReading& first = readings.front();
    m_wallStart = first.utc -
                  std::chrono::duration_cast<std::chrono::system_clock::duration>(first.sinceStart);
    for (const device::TimedReading& r : readings) {
        m_queued.push_back(
            {r.sinceStart.count(), r.psi, Count32(r.rawPressure), Count32(r.rawTemperature)});
    }
    if (m_watched || m_queued.size() >= kQueuedUnwatched) Post();
}

void PressureFeed::Post() {
    if (m_posted) return;
    m_posted = true;
    QMetaObject::invokeMethod(
        this, [this] { Flush(); }, Qt::QueuedConnection);
}

void PressureFeed::OnRunStarted() {
    Flush();
    m_trace.Clear();
    emit TraceChanged();
}

void PressureFeed::SetWatched(bool watched) {
    std::lock_guard lock(m_mutex);
    m_watched = watched;
}

void PressureFeed::Flush() {
    std::vector<TracePoint> points;
    {
        std::lock_guard lock(m_mutex);
        m_posted = false;
        points.swap(m_queued);
        m_trace.SetWallStart(m_wallStart);
    }
    if (points.empty()) return;
    for (const TracePoint& p : points) m_trace.Add(p);
    emit TraceChanged();
}

}  // namespace ui
