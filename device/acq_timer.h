#pragma once

#include <cstdint>
#include <functional>

#include "platform/periodic_timer.h"

namespace device {

// The acquisition timer: calls OnTick every 100 ms on a thread of its own. Start and Stop on the
// user-interface thread.
class CAcqTimer {
public:
    using CapsQuery = std::function<bool(platform::TimerCaps*)>;

    // `caps` stands in for the timer device (tests); empty means platform::QueryTimerCaps.
    explicit CAcqTimer(CapsQuery caps = {});
    CAcqTimer(const CAcqTimer&) = delete;
    CAcqTimer& operator=(const CAcqTimer&) = delete;
    // Joins a running timer's thread: a thread must never outlive the object it calls through.
    virtual ~CAcqTimer();

    // False when already running, or when the caps cannot be queried (NoTimerDevice then, for
    // the caller's "Error 01"). True otherwise, also when the thread could not be started (then
    // IsRunning stays false).
    bool Start();
    bool NoTimerDevice() const { return m_noTimerDevice; }
    // True only when a timer was running and has been stopped. Returns after a tick in progress
    // has finished; never call it from inside a tick.
    bool Stop();
    bool IsRunning() const { return m_running; }

    uint32_t Period() const { return m_period; }  // ms
    uint64_t Ticks() const { return m_timer.Calls(); }

private:
    uint32_t m_period = 100;
    bool m_running = false;
    bool m_noTimerDevice = false;
    CapsQuery m_capsQuery;
    platform::PeriodicTimer m_timer;
};

}  // namespace device
