#include "tsdb/line_protocol.h"

#include <chrono>
#include <cmath>

namespace tsdb {
namespace {

// Tag values escape comma, equals sign and blank with a backslash; a line break has no escape,
// so control characters become "_".
std::string TagValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == ',' || c == '=' || c == ' ') out += '\\';
        out += static_cast<unsigned char>(c) < 0x20 ? '_' : c;
    }
    return out;
}

}  // namespace

std::string LineProtocol(const std::vector<device::TimedReading>& readings, const Tags& tags) {
    std::string prefix = "zel_pressure";
    if (!tags.port.empty()) prefix += ",port=" + TagValue(tags.port);
    if (!tags.serial.empty()) prefix += ",serial=" + TagValue(tags.serial);
    prefix += ' ';
    std::string out;
    for (const device::TimedReading& r : readings) {
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(r.utc.time_since_epoch());
        out += prefix;
        if (std::isfinite(r.psi)) out += "psi=" + r.psiText + ",";
        out += "raw_p=" + std::to_string(r.rawPressure) +
               "i,raw_t=" + std::to_string(r.rawTemperature) + "i " + std::to_string(ns.count()) +
               "\n";
    }
    return out;
}

}  // namespace tsdb
