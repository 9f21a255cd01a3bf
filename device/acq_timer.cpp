#include "device/acq_timer.h"

#include <utility>

#include "device/tick.h"
#include "platform/message_box.h"

namespace device {

CAcqTimer::CAcqTimer(uintptr_t userData, CapsQuery caps)
    : m_userData(userData), m_capsQuery(std::move(caps)) {}

CAcqTimer::~CAcqTimer() {
    m_timer.Stop();
}

bool CAcqTimer::Start() {
    if (m_running) return false;
    const bool haveCaps = m_capsQuery ? m_capsQuery(&m_caps) : platform::QueryTimerCaps(&m_caps);
    if (!haveCaps) {
        platform::AppMessageBox("Error 01", platform::MessageIcon::None);
        return false;
    }
    m_resolution = m_requestedResolution;
    if (m_resolution < m_caps.periodMin) m_resolution = m_caps.periodMin;
    if (m_resolution > m_caps.periodMax) m_resolution = m_caps.periodMax;
    // The monotonic clock's timers already meet a 1 ms resolution here: the resolution is only
    // kept, there is no system-wide request to make.
    if (m_timer.Start(m_period, [] { OnTick(); })) m_running = true;
    return true;
}

bool CAcqTimer::Stop() {
    if (!m_running) return false;
    m_running = false;
    return m_timer.Stop();
}

}  // namespace device
