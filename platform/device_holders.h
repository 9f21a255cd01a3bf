#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Where Linux shows who uses a device node without the node being opened. Tests point these at
// directories of their own.
struct HolderSearch {
    std::string procDir = "/proc";
    std::vector<std::string> lockDirs = {"/run/lock", "/var/lock"};  // UUCP lock files LCK..NAME
};

// A process that holds a device. pid 0: held, but the holder cannot be seen.
struct DeviceHolder {
    int pid = 0;
    std::string command;  // /proc/PID/comm, empty when unreadable
};

// "PID 4242 (minicom)", "PID 4242", or empty for a holder that cannot be seen.
std::string DescribeHolder(const DeviceHolder& holder);

// A live process named by the UUCP lock file LCK..NAME of the device at `path`, NAME being the
// node's own name or, for a link, the name of the node it leads to. Stale files (the process is
// gone) and this process's own PID do not count.
std::optional<DeviceHolder> LockFileHolder(const std::string& path, const HolderSearch& search);

// The users of device nodes as one look at the system shows them: the lock table (/proc/locks),
// the UUCP lock files and the open descriptors of every process whose /proc/PID/fd this user may
// read. Nothing here opens a device. Each table is read once, when first needed.
class DeviceUsers {
public:
    explicit DeviceUsers(HolderSearch search = {});

    // The first holder found of the node at `path`: a lock on it (flock or a record lock, this
    // process's own included), a live UUCP lock file, and, when `descriptors`, another process
    // that has it open.
    std::optional<DeviceHolder> Holder(const std::string& path, bool descriptors);

private:
    struct Lock {
        unsigned devMajor = 0, devMinor = 0;  // of the file system holding the locked inode
        unsigned long inode = 0;
        int pid = 0;
    };
    void ReadLocks();
    void ReadDescriptors();
    DeviceHolder Named(int pid) const;

    HolderSearch m_search;
    bool m_haveLocks = false;
    std::vector<Lock> m_locks;
    bool m_haveDescriptors = false;
    std::map<std::string, int> m_openBy;  // resolved path -> a process (not this one) holding it
};

}  // namespace platform
