#pragma once

#include <string>
#include <vector>

namespace platform {

// Sleeps until something appears in a set of folders (a device node, a udev link, a symlink
// renamed into place, or a node whose access rights udev has just set), a time-out, or a cancel.
// Uses no CPU while it waits (inotify and an eventfd).
//
// To wait for a device: Watch its folders, look for it, and only then Wait, so that nothing made
// between the look and the wait is missed; after each wake-up look again (and Watch again: a
// folder such as /dev/serial/by-id may have appeared meanwhile).
class DeviceWatch {
public:
    enum class WaitResult { Created, TimedOut, Cancelled, Error };

    DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;
    ~DeviceWatch();

    // Adds the folders that exist to the watch; those already watched stay. False when none of
    // `dirs` can be watched.
    bool Watch(const std::vector<std::string>& dirs);
    // Until something is created in a watched folder, `timeoutMs` has passed (-1: no limit) or
    // Cancel is called. Events that arrived since the last Wait count. One thread at a time.
    WaitResult Wait(int timeoutMs);
    // Ends the Wait in progress, or the next one. Any thread; async-signal-safe.
    void Cancel();

private:
    int m_inotifyFd = -1;
    int m_cancelFd = -1;
};

}  // namespace platform
