#include "device/acq_timer.h"

#include <utility>

#include "device/tick.h"

namespace device {

CAcqTimer::CAcqTimer(CapsQuery caps) : m_capsQuery(std::move(caps)) {}

CAcqTimer::~CAcqTimer() {
    m_timer.Stop();
}

bool CAcqTimer::Start() {
    if (m_running) return false;
    // Only whether the timer device answers matters: the monotonic clock's timers meet a 1 ms
    // resolution, so there is no resolution to pick and no system-wide request to make.
    platform::TimerCaps caps;
    const bool haveCaps = m_capsQuery ? m_capsQuery(&caps) : platform::QueryTimerCaps(&caps);
    m_noTimerDevice = !haveCaps;
    if (!haveCaps) return false;
    if (m_timer.Start(m_period, [] { OnTick(); })) m_running = true;
    return true;
}

bool CAcqTimer::Stop() {
    if (!m_running) return false;
    m_running = false;
    return m_timer.Stop();
}

}  // namespace device
