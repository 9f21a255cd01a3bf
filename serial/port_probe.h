#pragma once

#include <string>
#include <vector>

#include "platform/device_holders.h"
#include "platform/serial_device.h"

// Finding the ports that can be opened, in the order the port dialog lists them.
namespace serial {

struct DeniedPort {
    std::string name;    // as it would be listed
    std::string reason;  // a sentence for the user
};

struct ProbeResult {
    std::vector<std::string> names;  // openable now, in probing order
    // Beside each name, what identifies a USB adapter ("FT232R USB UART (A10K3XYZ)"), else empty.
    std::vector<std::string> adapters;
    std::vector<DeniedPort> denied;  // exist, but this user may not open them
    std::vector<DeniedPort> inUse;   // exist, but another program (or another port here) has them
};

struct ProbeConfig {
    std::vector<std::string> extraPorts;  // probed first, listed by the path as given
    // The port this program holds, as it was listed: listed first and never probed.
    std::string heldPort;
    std::string devDir = "/dev";  // elsewhere (tests), names are listed as full paths
    std::string sysClassTty = "/sys/class/tty";
    platform::HolderSearch holders;  // /proc and the UUCP lock directories
};

// The device families listed first, in this order, each in ascending number order; other serial
// devices that sysfs shows follow, by name.
extern const std::vector<std::string> kDeviceFamilies;

// The held port first; then the extra ports, each opened and at once closed (never configured or
// written to); then the serial devices that sysfs shows, none of them opened: whether one may
// be opened comes from its access rights, whether it is in use from the lock table, UUCP lock
// files and the descriptors of other processes. A ttyS placeholder without a UART is left out.
// Each listed port's adapter comes from sysfs (see port_identity.h).
ProbeResult ProbePorts(const ProbeConfig& config);

// A sentence for the user about why `name` could not be opened; `holder` names the process that
// holds a port in use ("PID 4242 (minicom)"), when known.
std::string DescribeOpenError(platform::OpenError error, const std::string& name,
                              const std::string& holder = "");

}  // namespace serial
