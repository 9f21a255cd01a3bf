#include "platform/device_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace platform {
namespace {

// Created, renamed into the folder (an atomic symlink replacement) or given new access rights
// (udev sets the group and mode of a node just after the kernel made it).
constexpr uint32_t kAppeared = IN_CREATE | IN_MOVED_TO | IN_ATTRIB;

// Reads every queued event; true when one of them tells of something that appeared.
bool DrainAppeared(int fd) {
    bool appeared = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return appeared;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & kAppeared) appeared = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

}  // namespace

DeviceWatch::DeviceWatch()
    : m_inotifyFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      m_cancelFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

DeviceWatch::~DeviceWatch() {
    if (m_inotifyFd >= 0) ::close(m_inotifyFd);
    if (m_cancelFd >= 0) ::close(m_cancelFd);
}

bool DeviceWatch::Watch(const std::vector<std::string>& dirs) {
    if (m_inotifyFd < 0) return false;
    bool any = false;
    for (const std::string& dir : dirs) {
        if (::inotify_add_watch(m_inotifyFd, dir.c_str(), kAppeared | IN_ONLYDIR) >= 0) any = true;
    }
    return any;
}

DeviceWatch::WaitResult DeviceWatch::Wait(int timeoutMs) {
    if (m_inotifyFd < 0 || m_cancelFd < 0) return WaitResult::Error;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::max<int64_t>(left.count(), 0));
        }
        pollfd fds[2] = {{m_cancelFd, POLLIN, 0}, {m_inotifyFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 && errno != EINTR) return WaitResult::Error;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t n = ::read(m_cancelFd, &count, sizeof count);
            return WaitResult::Cancelled;
        }
        // Events that only tell of removals (a by-id folder gone with its last link) wait on.
        if ((fds[1].revents & POLLIN) && DrainAppeared(m_inotifyFd)) return WaitResult::Created;
        if (ready == 0 && timeoutMs >= 0 && Clock::now() >= deadline) return WaitResult::TimedOut;
    }
}

void DeviceWatch::Cancel() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_cancelFd, &one, sizeof one);
}

}  // namespace platform
