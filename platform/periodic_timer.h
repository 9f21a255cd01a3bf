#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace platform {

// What the timer device supports, in milliseconds.
struct TimerCaps {
    uint32_t periodMin = 0;
    uint32_t periodMax = 0;
};

// The caps of this machine's timer: the monotonic clock's resolution rounded up to whole
// milliseconds (at least 1), up to 1000000 ms. False when the clock cannot be queried.
bool QueryTimerCaps(TimerCaps* caps);

// Calls a function periodically on a thread of its own, on absolute deadlines of the monotonic
// clock (start + k x period), so calls never drift and never overlap. A call that overruns makes
// the timer skip the deadlines it missed instead of firing in a burst. The thread sleeps until
// each deadline with the least timer slack the kernel allows it.
class PeriodicTimer {
public:
    PeriodicTimer() = default;
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;
    ~PeriodicTimer();  // stops

    // False when already running, the period is 0, or the thread cannot be started.
    bool Start(uint32_t periodMs, std::function<void()> callback);
    // Returns after a call in progress has finished. False when not running. Called from the
    // callback itself it only asks the thread to end (a thread cannot join itself) and returns
    // false.
    bool Stop();
    bool IsRunning() const { return m_running.load(); }
    // Calls made since Start.
    uint64_t Calls() const { return m_calls.load(); }

private:
    void Run(uint32_t periodMs);

    std::function<void()> m_callback;
    std::thread m_thread;
    std::atomic<uint32_t> m_stop{0};  // the futex word the thread sleeps on: 1 ends it
    std::atomic<bool> m_running{false};
    std::atomic<uint64_t> m_calls{0};
};

}  // namespace platform
