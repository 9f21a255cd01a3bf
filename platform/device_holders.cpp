#include "platform/device_holders.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace platform {
namespace {

std::string ReadSmallFile(const std::string& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The node a path leads to, links followed; the path itself when that fails.
std::string Resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

// A lock file holds the PID as ASCII digits and a newline, or as a 4-byte int (older tools).
int LockFilePid(const std::string& text) {
    if (text.size() == sizeof(int32_t) && text.find_first_not_of(" 0123456789\n") != text.npos) {
        int32_t pid = 0;
        std::memcpy(&pid, text.data(), sizeof pid);
        return pid;
    }
    const long pid = std::strtol(text.c_str(), nullptr, 10);
    return pid > 0 && pid <= INT_MAX ? static_cast<int>(pid) : 0;
}

// EPERM: the process exists but belongs to another user.
bool IsAlive(int pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

std::string CommandOf(const std::string& procDir, int pid) {
    std::string name = ReadSmallFile(procDir + "/" + std::to_string(pid) + "/comm", 64);
    const size_t end = name.find('\n');
    if (end != std::string::npos) name.resize(end);
    return name;
}

bool IsNumber(const char* text) {
    if (!*text) return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

}  // namespace

std::string DescribeHolder(const DeviceHolder& holder) {
    if (holder.pid <= 0) return "";
    std::string text = "PID " + std::to_string(holder.pid);
    if (!holder.command.empty()) text += " (" + holder.command + ")";
    return text;
}

std::optional<DeviceHolder> LockFileHolder(const std::string& path, const HolderSearch& search) {
    std::vector<std::string> names = {BaseName(path)};
    const std::string target = BaseName(Resolved(path));
    if (target != names.front()) names.push_back(target);
    for (const std::string& dir : search.lockDirs) {
        for (const std::string& name : names) {
            const int pid = LockFilePid(ReadSmallFile(dir + "/LCK.." + name, 64));
            if (pid != ::getpid() && IsAlive(pid)) {
                return DeviceHolder{pid, CommandOf(search.procDir, pid)};
            }
        }
    }
    return std::nullopt;
}

DeviceUsers::DeviceUsers(HolderSearch search) : m_search(std::move(search)) {}

std::optional<DeviceHolder> DeviceUsers::Holder(const std::string& path, bool descriptors) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    if (!m_haveLocks) ReadLocks();
    for (const Lock& lock : m_locks) {
        if (lock.devMajor == major(st.st_dev) && lock.devMinor == minor(st.st_dev) &&
            lock.inode == st.st_ino) {
            // An open-file-description lock shows PID -1: held, holder unknown.
            return lock.pid > 0 ? Named(lock.pid) : DeviceHolder{};
        }
    }
    if (auto holder = LockFileHolder(path, m_search)) return holder;
    if (!descriptors) return std::nullopt;
    if (!m_haveDescriptors) ReadDescriptors();
    const auto it = m_openBy.find(Resolved(path));
    if (it == m_openBy.end()) return std::nullopt;
    return Named(it->second);
}

// Lines such as "2: FLOCK  ADVISORY  WRITE 4242 00:05:87 0 EOF": the inode's file system as hex
// major:minor, then the inode number. "->" marks a process waiting for the lock.
void DeviceUsers::ReadLocks() {
    m_haveLocks = true;
    std::ifstream in(m_search.procDir + "/locks");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, kind, mode, access, where;
        int pid = 0;
        if (!(fields >> id >> kind) || kind == "->") continue;
        if (!(fields >> mode >> access >> pid >> where)) continue;
        Lock lock;
        lock.pid = pid;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &lock.devMajor, &lock.devMinor, &lock.inode) !=
            3) {
            continue;
        }
        m_locks.push_back(lock);
    }
}

// Every descriptor's link target; another user's processes stay unreadable, and so unseen.
void DeviceUsers::ReadDescriptors() {
    m_haveDescriptors = true;
    DIR* proc = ::opendir(m_search.procDir.c_str());
    if (!proc) return;
    const int self = ::getpid();
    while (const dirent* process = ::readdir(proc)) {
        if (!IsNumber(process->d_name)) continue;
        const int pid = std::atoi(process->d_name);
        if (pid == self) continue;
        const std::string fdDir = m_search.procDir + "/" + process->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) continue;
        while (const dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.') continue;
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(::dirfd(fds), fd->d_name, target, sizeof target);
            // Sockets, pipes and anonymous inodes read as "socket:[...]" and the like.
            if (n <= 0 || n >= static_cast<ssize_t>(sizeof target) || target[0] != '/') continue;
            m_openBy.emplace(std::string(target, static_cast<size_t>(n)), pid);
        }
        ::closedir(fds);
    }
    ::closedir(proc);
}

DeviceHolder DeviceUsers::Named(int pid) const {
    return DeviceHolder{pid, CommandOf(m_search.procDir, pid)};
}

}  // namespace platform
