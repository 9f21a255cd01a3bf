#include "cli/reading_formats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "device/c_numbers.h"
#include "tsdb/line_protocol.h"

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

std::string FormatReadings(ReadingsFormat format, const std::vector<device::TimedReading>& readings,
                           const InfluxTags& tags) {
    if (format == ReadingsFormat::Influx) return tsdb::LineProtocol(readings, tags);
    std::string out;
    for (const device::TimedReading& r : readings) {
        const std::string& psi = r.psiText;
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
            case ReadingsFormat::Influx:
                break;  // above
        }
    }
    return out;
}

}  // namespace cli
