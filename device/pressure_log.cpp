#include "device/pressure_log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "device/device_state.h"
#include "platform/clock.h"

namespace device {
namespace {

// What g_logFile was opened as, beside it: its lock, its path and time-stamp choice, and the
// bytes known to be in it. There is one log file, so there is one of these.
struct OpenedLog {
    std::mutex mutex;
    std::string path;
    bool timeStamps = false;
    size_t size = 0;
};

OpenedLog& Opened() {
    static OpenedLog opened;
    return opened;
}

// The write of `attempted` (or the close) failed with `error`: closes the file and cuts off
// the part of a line that reached it, so that nothing ends in half a number. Returns what the
// user is told.
std::string FailLocked(OpenedLog& log, int error, const std::string& attempted) {
    g_logFile.close();
    g_logFile.clear();
    std::error_code ec;
    const auto size = std::filesystem::file_size(log.path, ec);
    if (!ec && size > log.size) {
        const size_t written = std::min<size_t>(size - log.size, attempted.size());
        const size_t lineEnd =
            written < 2 ? std::string::npos : attempted.rfind("\r\n", written - 2);
        const size_t keep = lineEnd == std::string::npos ? 0 : lineEnd + 2;
        std::filesystem::resize_file(log.path, log.size + keep, ec);
    }
    return "The log file " + log.path + " could not be written: " +
           (error != 0 ? std::strerror(error) : "input/output error") +
           ". It has been closed and keeps every whole line written before.";
}

void AppendTwoDigits(std::string& out, unsigned value) {
    // "%.2u": at least two digits.
    std::string digits = std::to_string(value);
    if (digits.size() < 2) out += '0';
    out += digits;
}

}  // namespace

std::string TimeStampLine(unsigned hour, unsigned minute, unsigned second) {
    std::string line;
    AppendTwoDigits(line, hour);
    line += ':';
    AppendTwoDigits(line, minute);
    line += ':';
    AppendTwoDigits(line, second);
    line += "\r\n";
    return line;
}

bool OpenLog(const std::string& path, bool timeStamps, LogOpen mode) {
    OpenedLog& log = Opened();
    std::lock_guard lock(log.mutex);
    if (!g_logFile.is_open()) {
        g_logFile.clear();
        log.path = path;
        log.timeStamps = timeStamps;
        // Binary: the CR LF line ends are written as they are.
        const auto kept = mode == LogOpen::kAppend ? std::ios::app : std::ios::trunc;
        g_logFile.open(path, std::ios::out | kept | std::ios::binary);
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        log.size = mode == LogOpen::kAppend && !ec ? size : 0;
    }
    g_logActive = true;
    return g_logFile.is_open();
}

bool OpenLog() {
    return OpenLog(g_logPath, g_timeStampChecked);
}

bool WriteLogText(const std::string& text, std::string* failure) {
    if (!g_logActive) return true;
    OpenedLog& log = Opened();
    std::lock_guard lock(log.mutex);
    if (!g_logFile.is_open()) return true;
    std::string out;
    if (log.timeStamps) {
        platform::TimeOfDay now = platform::LocalTime();
        out = TimeStampLine(now.hour, now.minute, now.second);
    }
    out += text;
    errno = 0;
    g_logFile.write(out.data(), static_cast<std::streamsize>(out.size()));
    g_logFile.flush();
    if (g_logFile) {
        log.size += out.size();
        return true;
    }
    std::string why = FailLocked(log, errno, out);
    if (failure) *failure = std::move(why);
    return false;
}

bool CloseLog(std::string* failure) {
    OpenedLog& log = Opened();
    std::lock_guard lock(log.mutex);
    g_logActive = false;
    if (!g_logFile.is_open()) return true;
    errno = 0;
    g_logFile.close();
    if (g_logFile) return true;
    std::string why = FailLocked(log, errno, {});
    if (failure) *failure = std::move(why);
    return false;
}

}  // namespace device
