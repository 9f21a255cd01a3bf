#include "device/pressure_log.h"

#include <mutex>

#include "device/device_state.h"
#include "platform/clock.h"

namespace device {
namespace {

std::mutex& LogMutex() {
    static std::mutex mutex;
    return mutex;
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

bool OpenLog() {
    std::lock_guard lock(LogMutex());
    if (!g_logFile.is_open()) {
        g_logFile.clear();
        // Binary: the CR LF line ends are written as they are.
        g_logFile.open(g_logPath, std::ios::out | std::ios::trunc | std::ios::binary);
    }
    g_logActive = true;
    return g_logFile.is_open();
}

void WriteLogText(const std::string& text) {
    if (!g_logActive) return;
    std::lock_guard lock(LogMutex());
    if (!g_logFile.is_open()) return;
    if (g_timeStampChecked) {
        platform::TimeOfDay now = platform::LocalTime();
        g_logFile << TimeStampLine(now.hour, now.minute, now.second);
    }
    g_logFile << text;
    g_logFile.flush();
}

void CloseLog() {
    std::lock_guard lock(LogMutex());
    if (g_logFile.is_open()) g_logFile.close();
    g_logActive = false;
}

}  // namespace device
