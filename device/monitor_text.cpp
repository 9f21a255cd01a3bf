#include "device/monitor_text.h"

#include "device/command_frames.h"

namespace device {

bool AppendResponseText(std::string& monitor, std::string_view received, size_t* dropped) {
    if (dropped) *dropped = 0;
    if (received.empty()) return false;
    const size_t length = received.size();  // before CR becomes CR LF
    std::string text = CrToCrLf(received);
    if (monitor.size() > kMonitorTrimThreshold) {
        size_t lineFeed = monitor.find('\n', length);
        if (lineFeed != std::string::npos) {
            monitor.erase(0, lineFeed + 1);
            if (dropped) *dropped = lineFeed + 1;
        }
    }
    monitor += text;
    return true;
}

std::string AppendEchoText(std::string& monitor, std::string_view text) {
    std::string echo = ">>" + std::string(text);
    monitor += echo;
    return echo;
}

}  // namespace device
