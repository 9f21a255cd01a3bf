#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "platform/device_watch.h"
#include "serial/port_identity.h"

namespace serial {

// Blocks until the device `identity` was read from is there again (FindPortByIdentity, also
// under another name) and `usable` takes its path, until `deadline`, or until `watch` is
// cancelled; returns the path, or nothing. Sleeps in `watch` between looks: no polling. A path
// found but not usable yet (udev still setting its rights) is looked at again at the next change.
std::optional<std::string> WaitForPortReturn(
    const PortIdentity& identity, const ProbeConfig& config, platform::DeviceWatch& watch,
    std::chrono::steady_clock::time_point deadline,
    const std::function<bool(const std::string&)>& usable);

}  // namespace serial
