#include "ui/pressure_feed.h"

#include <algorithm>

namespace ui {
namespace {

constexpr size_t kQueuedUnwatched = 4096;
constexpr std::chrono::milliseconds kLongestSpread{200};

}  // namespace

void PressureFeed::Push(const std::vector<device::Reading>& readings) {
    Push(readings, Clock::now());
}

void PressureFeed::Push(const std::vector<device::Reading>& readings, Clock::time_point now) {
    if (readings.empty()) return;
    std::lock_guard lock(m_mutex);
    const auto spread = std::min<Clock::duration>(now - m_previousStep, kLongestSpread);
    m_previousStep = now;
    const double end = std::chrono::duration<double>(now - m_runStart).count();
    const double each = std::chrono::duration<double>(spread).count() / readings.size();
    for (size_t i = 0; i < readings.size(); ++i) {
        m_queued.push_back(
            {end - each * static_cast<double>(readings.size() - 1 - i), readings[i].psi});
    }
    if (m_watched || m_queued.size() >= kQueuedUnwatched) Post();
}

void PressureFeed::Post() {
    if (m_posted) return;
    m_posted = true;
    QMetaObject::invokeMethod(
        this, [this] { Flush(); }, Qt::QueuedConnection);
}

void PressureFeed::StartRun(Clock::time_point now) {
    Flush();
    {
        std::lock_guard lock(m_mutex);
        m_runStart = now;
        m_previousStep = now;
    }
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
