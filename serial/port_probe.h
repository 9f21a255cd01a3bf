#pragma once

#include <string>
#include <vector>

#include "platform/serial_device.h"

// Finding the ports that can be opened, in the order the port dialog lists them.
namespace serial {

struct DeniedPort {
    std::string name;    // as it would be listed
    std::string reason;  // a sentence for the user
};

struct ProbeResult {
    std::vector<std::string> names;  // openable now, in probing order
    std::vector<DeniedPort> denied;  // exist, but this user may not open them
};

struct ProbeConfig {
    std::vector<std::string> extraPorts;  // probed first, listed by the path as given
    std::string devDir = "/dev";          // elsewhere (tests), names are listed as full paths
    std::string sysClassTty = "/sys/class/tty";
};

// The device families probed after the extra ports, each with numbers 0 to 255 ascending.
extern const std::vector<std::string> kDeviceFamilies;

// Ports given on the command line (--port PATH) and the built-in simulated transducer's port.
// Set once at start-up on the user-interface thread, before any probe.
void SetExtraPorts(std::vector<std::string> paths);
const std::vector<std::string>& ExtraPorts();

// Opens and at once closes every candidate; never configures or writes to one. A port that this
// program or another already holds fails to open and is not listed.
ProbeResult ProbePorts(const ProbeConfig& config);
ProbeResult ProbePorts();  // with ExtraPorts() and the real /dev

// A sentence for the user about why `name` could not be opened; `holder` names the process that
// holds a port in use ("PID 4242 (minicom)"), when known.
std::string DescribeOpenError(platform::OpenError error, const std::string& name,
                              const std::string& holder = "");

}  // namespace serial
