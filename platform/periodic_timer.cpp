#include "platform/periodic_timer.h"

#include <chrono>
#include <ctime>
#include <system_error>
#include <utility>

namespace platform {
namespace {

// The timer whose thread this is, so that Stop can tell a call from its own callback.
thread_local const PeriodicTimer* t_runningTimer = nullptr;

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
    {
        std::lock_guard lock(m_mutex);
        m_stop = false;
    }
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
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_running = false;
        return false;
    }
    if (!m_thread.joinable()) return false;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    const bool wasRunning = m_running.exchange(false);
    return wasRunning;
}

void PeriodicTimer::Run(uint32_t periodMs) {
    using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC
    const auto period = std::chrono::milliseconds(periodMs);
    t_runningTimer = this;
    auto deadline = Clock::now() + period;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_wake.wait_until(lock, deadline, [this] { return m_stop; })) break;
        lock.unlock();
        m_callback();
        ++m_calls;
        lock.lock();
        deadline += period;
        const auto now = Clock::now();
        if (deadline <= now) {
            // Overran: the next deadline of the same grid that still lies ahead.
            deadline += ((now - deadline) / period + 1) * period;
        }
    }
}

}  // namespace platform
