#include "ui/pressure_feed.h"

namespace ui {
namespace {

constexpr size_t kQueuedUnwatched = 4096;

}  // namespace

void PressureFeed::OnReadings(const std::vector<device::TimedReading>& readings) {
    if (readings.empty()) return;
    std::lock_guard lock(m_mutex);
    for (const device::TimedReading& r : readings) m_queued.push_back({r.Seconds(), r.psi});
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
    }
    if (points.empty()) return;
    for (const TracePoint& p : points) m_trace.Add(p);
    emit TraceChanged();
}

}  // namespace ui
