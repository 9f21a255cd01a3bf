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

std::mutex& LogMutex() {
    static std::mutex mutex;
    return mutex;
}

// Guarded by the log mutex: the file's path and time-stamp choice as opened, the bytes known to
// be in the file, and the last failure's text.
std::string g_openPath;
bool g_openTimeStamps = false;
size_t g_logSize = 0;
std::string g_logFailure;

// The write of `attempted` (or the close) failed with `error`: closes the file and cuts off
// the part of a line that reached it, so that nothing ends in half a number.
void FailLocked(int error, const std::string& attempted) {
    g_logFile.close();
    g_logFile.clear();
    std::error_code ec;
    const auto size = std::filesystem::file_size(g_openPath, ec);
    if (!ec && size > g_logSize) {
        const size_t written = std::min<size_t>(size - g_logSize, attempted.size());
        const size_t lineEnd =
            written < 2 ? std::string::npos : attempted.rfind("\r\n", written - 2);
        const size_t keep = lineEnd == std::string::npos ? 0 : lineEnd + 2;
        std::filesystem::resize_file(g_openPath, g_logSize + keep, ec);
    }
    g_logFailure = "The log file " + g_openPath + " could not be written: " +
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
    std::lock_guard lock(LogMutex());
    if (!g_logFile.is_open()) {
        g_logFile.clear();
        g_openPath = path;
        g_openTimeStamps = timeStamps;
        // Binary: the CR LF line ends are written as they are.
        const auto kept = mode == LogOpen::kAppend ? std::ios::app : std::ios::trunc;
        g_logFile.open(path, std::ios::out | kept | std::ios::binary);
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        g_logSize = mode == LogOpen::kAppend && !ec ? size : 0;
    }
    g_logActive = true;
    return g_logFile.is_open();
}

bool OpenLog() {
    return OpenLog(g_logPath, g_timeStampChecked);
}

bool WriteLogText(const std::string& text) {
    if (!g_logActive) return true;
    std::lock_guard lock(LogMutex());
    if (!g_logFile.is_open()) return true;
    std::string out;
    if (g_openTimeStamps) {
        platform::TimeOfDay now = platform::LocalTime();
        out = TimeStampLine(now.hour, now.minute, now.second);
    }
    out += text;
    errno = 0;
    g_logFile.write(out.data(), static_cast<std::streamsize>(out.size()));
    g_logFile.flush();
    if (g_logFile) {
        g_logSize += out.size();
        return true;
    }
    FailLocked(errno, out);
    return false;
}

bool CloseLog() {
    std::lock_guard lock(LogMutex());
    g_logActive = false;
    if (!g_logFile.is_open()) return true;
    errno = 0;
    g_logFile.close();
    if (g_logFile) return true;
    FailLocked(errno, {});
    return false;
}

std::string LogFailureMessage() {
    std::lock_guard lock(LogMutex());
    return g_logFailure;
}

}  // namespace device
