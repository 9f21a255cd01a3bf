#include "serial/port_return.h"

namespace serial {

std::optional<std::string> WaitForPortReturn(
    const PortIdentity& identity, const ProbeConfig& config, platform::DeviceWatch& watch,
    std::chrono::steady_clock::time_point deadline,
    const std::function<bool(const std::string&)>& usable) {
    using Clock = std::chrono::steady_clock;
    // Watch first, then look: nothing made between the look and the wait is missed.
    watch.Watch(PortFolders(identity, config));
    for (;;) {
        if (const auto found = FindPortByIdentity(identity, config); found && usable(*found))
            return found;
        int timeoutMs = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) return std::nullopt;
            timeoutMs =
                static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        }
        if (watch.Wait(timeoutMs) != platform::DeviceWatch::WaitResult::Created &&
            Clock::now() < deadline) {
            return std::nullopt;  // cancelled, or the watch failed
        }
        watch.Watch(PortFolders(identity, config));  // by-id may have appeared meanwhile
    }
}

}  // namespace serial
