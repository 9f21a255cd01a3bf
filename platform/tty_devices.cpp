#include "platform/tty_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace platform {
namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// A ttyS node with no UART behind it has the sysfs "type" 0 (PORT_UNKNOWN).
bool IsPlaceholderUart(const std::string& sysClassTty, const std::string& name) {
    if (name.rfind("ttyS", 0) != 0) return false;
    std::ifstream type(sysClassTty + "/" + name + "/type");
    int value = -1;
    return type >> value && value == 0;
}

}  // namespace

std::vector<TtyDevice> ListTtyDevices(const std::string& sysClassTty) {
    std::vector<TtyDevice> found;
    DIR* dir = ::opendir(sysClassTty.c_str());
    if (!dir) return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;
        if (!Exists(sysClassTty + "/" + name + "/device")) continue;
        found.push_back({name, IsPlaceholderUart(sysClassTty, name)});
    }
    ::closedir(dir);
    return found;
}

NodeAccess CheckNodeAccess(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return NodeAccess::Missing;
    if (!S_ISCHR(st.st_mode)) return NodeAccess::NotCharacterDevice;
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0 ? NodeAccess::Allowed
                                                                             : NodeAccess::Denied;
}

}  // namespace platform
