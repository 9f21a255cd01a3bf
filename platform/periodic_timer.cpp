#include "platform/periodic_timer.h"

#include <linux/futex.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>
#include <system_error>
#include <utility>

namespace platform {
namespace {

// The timer whose thread this is, so that Stop can tell a call from its own callback.
thread_local const PeriodicTimer* t_runningTimer = nullptr;

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

timespec ToTimespec(int64_t ns) {
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

bool QueryTimerCaps(TimerCaps* caps) {
    timespec resolution{};
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return false;
    uint64_t ns = static_cast<uint64_t>(resolution.tv_sec) * 1000000000u +
                  static_cast<uint64_t>(resolution.tv_nsec);
    uint64_t ms = (ns + 999999u) / 1000000u;
    caps->periodMin = static_cast<uint32_t>(ms < 1 ? 1 : ms);
    caps->periodMax = 1000000;
    return true;
}

PeriodicTimer::~PeriodicTimer() {
    Stop();
}

bool PeriodicTimer::Start(uint32_t periodMs, std::function<void()> callback) {
    if (m_running || periodMs == 0 || !callback) return false;
    if (m_thread.joinable()) m_thread.join();  // a thread that was asked to end from inside
    m_stop = 0;
    m_callback = std::move(callback);
    m_calls = 0;
    try {
        m_thread = std::thread(&PeriodicTimer::Run, this, periodMs);
    } catch (const std::system_error&) {
        return false;
    }
    m_running = true;
    return true;
}

bool PeriodicTimer::Stop() {
    if (t_runningTimer == this) {
        // From the callback: m_thread belongs to the owner's thread, and joining is impossible.
        m_stop = 1;
        m_running = false;
        return false;
    }
    if (!m_thread.joinable()) return false;
    m_stop = 1;
    syscall(SYS_futex, &m_stop, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    m_thread.join();
    const bool wasRunning = m_running.exchange(false);
    return wasRunning;
}

void PeriodicTimer::Run(uint32_t periodMs) {
    t_runningTimer = this;
    // The least timer slack the kernel allows: the wake-ups are not put off by up to 50 us to
    // gather them with others.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const int64_t period = int64_t{periodMs} * 1000000;
    int64_t deadline = MonotonicNs() + period;
    while (m_stop.load() == 0) {
        // Sleeps until the absolute deadline on the monotonic clock, or until Stop changes the
        // word and wakes it. Any other wake-up (a signal, a spurious one) just sleeps again.
        const timespec until = ToTimespec(deadline);
        syscall(SYS_futex, &m_stop, FUTEX_WAIT_BITSET_PRIVATE, 0, &until, nullptr,
                FUTEX_BITSET_MATCH_ANY);
        if (m_stop.load() != 0) break;
        if (MonotonicNs() < deadline) continue;
        m_callback();
        ++m_calls;
        deadline += period;
        const int64_t now = MonotonicNs();
        // Overran: the next deadline of the same grid that still lies ahead.
        if (deadline <= now) deadline += ((now - deadline) / period + 1) * period;
    }
}

}  // namespace platform
