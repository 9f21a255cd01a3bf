#include "cli/reading_formats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "device/c_numbers.h"

namespace cli {
namespace {

std::string SecondsText(std::chrono::nanoseconds sinceStart) {
    return device::FormatFixed6(std::chrono::duration<double>(sinceStart).count());
}

// The JSON number that a "%f" text reads as, so that the JSON shows the same digits; null for
// "nan" and "inf", which JSON lacks.
nlohmann::ordered_json JsonNumber(const std::string& text) {
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || !std::isfinite(value)) return nullptr;
    return value;
}

// Tag values escape comma, equals sign and blank with a backslash; a line break has no escape,
// so control characters become "_".
std::string InfluxTagValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == ',' || c == '=' || c == ' ') out += '\\';
        out += static_cast<unsigned char>(c) < 0x20 ? '_' : c;
    }
    return out;
}

}  // namespace

bool ReadingsFormatNamed(std::string_view name, ReadingsFormat* format) {
    static constexpr std::pair<std::string_view, ReadingsFormat> kNames[] = {
        {"text", ReadingsFormat::Text},
        {"csv", ReadingsFormat::Csv},
        {"ndjson", ReadingsFormat::Ndjson},
        {"influx", ReadingsFormat::Influx},
    };
    for (const auto& [n, f] : kNames) {
        if (n == name) {
            *format = f;
            return true;
        }
    }
    return false;
}

std::string FormatReadings(ReadingsFormat format,
                           const std::vector<device::TimedReading>& readings,
                           const InfluxTags& tags) {
    std::string influxPrefix = "zel_pressure";
    if (!tags.port.empty()) influxPrefix += ",port=" + InfluxTagValue(tags.port);
    if (!tags.serial.empty()) influxPrefix += ",serial=" + InfluxTagValue(tags.serial);

    std::string out;
    for (const device::TimedReading& r : readings) {
        const std::string& psi = r.psiText;
        const std::string rawP = std::to_string(r.rawPressure);
        const std::string rawT = std::to_string(r.rawTemperature);
        switch (format) {
            case ReadingsFormat::Text:
                out += psi + "\n";
                break;
            case ReadingsFormat::Csv:
                out += device::CsvLine(r);
                break;
            case ReadingsFormat::Ndjson: {
                const nlohmann::ordered_json line = {
                    {"time", device::IsoUtcMillis(r.utc)},
                    {"seconds", JsonNumber(SecondsText(r.sinceStart))},
                    {"psi", JsonNumber(psi)},
                    {"raw_p", r.rawPressure},
                    {"raw_t", r.rawTemperature},
                };
                out += line.dump() + "\n";
                break;
            }
            case ReadingsFormat::Influx: {
                const auto ns =
                    std::chrono::duration_cast<std::chrono::nanoseconds>(r.utc.time_since_epoch());
                out += influxPrefix + " ";
                if (std::isfinite(r.psi)) out += "psi=" + psi + ",";
                out +=
                    "raw_p=" + rawP + "i,raw_t=" + rawT + "i " + std::to_string(ns.count()) + "\n";
                break;
            }
        }
    }
    return out;
}

}  // namespace cli
