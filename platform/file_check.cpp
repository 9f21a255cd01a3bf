#include "platform/file_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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

bool WriteWholeFile(const std::string& path, const std::string& content, std::string* reason) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    // Like a new file made by open(): the user's umask, not mkstemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
    for (size_t done = 0; ok && done < content.size();) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        *reason = std::strerror(error != 0 ? error : EIO);
    }
    return ok;
}

}  // namespace platform
