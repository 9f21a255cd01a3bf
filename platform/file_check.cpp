#include "platform/file_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


#include <cerrno>
#include <cstring>

namespace platform {

bool CanWriteFile(const std::string& path, std::string* reason) {
    // O_NONBLOCK: a FIFO without a reader must not hang the check.
    int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    bool created = false;
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        created = fd >= 0;
    }
    if (fd < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    ::close(fd);
    if (created) ::unlink(path.c_str());
    return true;
}

uint64_t SymlinkInode(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
    return static_cast<uint64_t>(info.st_ino);
}

}  // namespace platform
