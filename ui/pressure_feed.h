#pragma once

#include <QObject>
#include <mutex>
#include <vector>

#include "device/measurement_session.h"
#include "ui/pressure_trace.h"

namespace ui {

// The pressure plot's side of a run's readings: the tick hands over each step's timed readings,
// which join the trace on the user-interface thread. The tick never waits for that thread: it
// queues the readings under a small mutex, and at most one queued call is in flight. While no
// plot watches, readings are queued up to a few thousand before a call goes out.
class PressureFeed : public QObject, public device::SessionEvents {
    Q_OBJECT
public:
    // User-interface thread. A Run: what is queued still joins the old trace, then a new trace
    // begins.
    void OnRunStarted() override;
    // Tick thread, once per step that showed readings.
    void OnReadings(const std::vector<device::TimedReading>& readings) override;
    // User-interface thread: whether a plot is on screen (readings then join at every step).
    void SetWatched(bool watched);
    // User-interface thread: the queued readings join the trace now.
    void Flush();

    const PressureTrace& Trace() const { return m_trace; }  // user-interface thread

signals:
    void TraceChanged();  // readings joined, or a new trace began

private:
    void Post();  // with m_mutex held

    std::mutex m_mutex;
    std::vector<TracePoint> m_queued;
    std::chrono::system_clock::time_point m_wallStart{};
    bool m_watched = false;
    bool m_posted = false;

    PressureTrace m_trace;
};

}  // namespace ui
