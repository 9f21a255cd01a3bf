#pragma once

#include <QObject>
#include <chrono>
#include <mutex>
#include <vector>

#include "device/continuous_parser.h"
#include "ui/pressure_trace.h"

namespace ui {

// The pressure plot's side of the readings the read-out shows: the tick hands over each step's
// readings, which join the trace on the user-interface thread. The tick never waits for that
// thread: it stamps and queues the readings under a small mutex, and at most one queued call is in
// flight. While no plot watches, readings are queued up to a few thousand before a call goes out.
class PressureFeed : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    // Tick thread, once per step that showed readings. A step's readings arrived since the step
    // before: they are spread evenly over that time (at most 200 ms), the last one now.
    void Push(const std::vector<device::Reading>& readings);
    void Push(const std::vector<device::Reading>& readings, Clock::time_point now);

    // User-interface thread. A Run: what is queued still joins the old trace, then a new trace
    // begins, its time 0 now.
    void StartRun(Clock::time_point now = Clock::now());
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
    Clock::time_point m_runStart = Clock::now();
    Clock::time_point m_previousStep = m_runStart;
    bool m_watched = false;
    bool m_posted = false;

    PressureTrace m_trace;
};

}  // namespace ui
