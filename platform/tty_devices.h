#pragma once

#include <string>
#include <vector>

namespace platform {

// A tty that sysfs shows with hardware behind it (/sys/class/tty/NAME/device). Virtual consoles
// and the pseudo-terminals of terminal windows have none.
struct TtyDevice {
    std::string name;
    bool placeholder =
        false;  // a ttyS slot with no UART: it opens, then every read and write fails
};

// Every such tty under `sysClassTty`, in no particular order. Reads sysfs only.
std::vector<TtyDevice> ListTtyDevices(const std::string& sysClassTty);

enum class NodeAccess { Missing, NotCharacterDevice, Denied, Allowed };

// What this user may do with the node at `path`, from its type and access rights (read and
// write, as an open for the line would need). Never opens it.
NodeAccess CheckNodeAccess(const std::string& path);

}  // namespace platform
