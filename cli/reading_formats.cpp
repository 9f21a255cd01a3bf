#include "cli/reading_formats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "device/c_numbers.h"

namespace cli {
namespace {

using std::chrono::nanoseconds;

// ISO 8601 in UTC with milliseconds: 2026-12-09T06:20:41.123Z.
std::string IsoUtcMillis(std::chrono::system_clock::time_point wall) {
    const auto millis = std::chrono::floor<std::chrono::milliseconds>(wall);
    const auto seconds = std::chrono::floor<std::chrono::seconds>(millis);
    const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ",
                  static_cast<int>((millis - seconds).count()));
    return text;
}

std::string SecondsText(nanoseconds sinceStart) {
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

std::vector<ReadingTime> SpreadOverStep(const ReadingTime& previousStep, const ReadingTime& step,
                                        size_t count, nanoseconds maxSpan) {
    const nanoseconds span =
        std::clamp(step.sinceStart - previousStep.sinceStart, nanoseconds(0), maxSpan);
    std::vector<ReadingTime> times;
    times.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const nanoseconds before =
            span * static_cast<long>(count - 1 - i) / static_cast<long>(count);
        times.push_back(
            {step.wall - std::chrono::duration_cast<std::chrono::system_clock::duration>(before),
             step.sinceStart - before});
    }
    return times;
}

std::string SerialNumberText(const std::vector<std::vector<std::string>>& eepromRows) {
    constexpr size_t kSerialNumberRow = 43;
    if (eepromRows.size() <= kSerialNumberRow || eepromRows[kSerialNumberRow].size() < 6) return "";
    const std::vector<std::string>& rowCells = eepromRows[kSerialNumberRow];
    uint32_t number = 0;
    for (size_t i = 2; i < 6; ++i) {
        const std::string& cell = rowCells[i];
        unsigned byte = 0;
        const auto [ptr, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), byte, 16);
        if (cell.size() != 2 || ec != std::errc() || ptr != cell.data() + cell.size()) return "";
        number = number << 8 | byte;
    }
    return std::to_string(number);
}

std::string CsvHeader() {
    return "time,seconds,psi,raw_p,raw_t\n";
}

std::string FormatReadings(ReadingsFormat format, const std::vector<device::Reading>& readings,
                           const std::vector<ReadingTime>& times, const InfluxTags& tags) {
    std::string influxPrefix = "zel_pressure";
    if (!tags.port.empty()) influxPrefix += ",port=" + InfluxTagValue(tags.port);
    if (!tags.serial.empty()) influxPrefix += ",serial=" + InfluxTagValue(tags.serial);

    std::string out;
    for (size_t i = 0; i < readings.size() && i < times.size(); ++i) {
        const device::Reading& r = readings[i];
        const std::string psi = device::FormatFixed6(r.psi);
        const std::string rawP = std::to_string(r.rawPressure);
        const std::string rawT = std::to_string(r.rawTemperature);
        switch (format) {
            case ReadingsFormat::Text:
                out += psi + "\n";
                break;
            case ReadingsFormat::Csv:
                out += IsoUtcMillis(times[i].wall) + "," + SecondsText(times[i].sinceStart) + "," +
                       psi + "," + rawP + "," + rawT + "\n";
                break;
            case ReadingsFormat::Ndjson: {
                const nlohmann::ordered_json line = {
                    {"time", IsoUtcMillis(times[i].wall)},
                    {"seconds", JsonNumber(SecondsText(times[i].sinceStart))},
                    {"psi", JsonNumber(psi)},
                    {"raw_p", r.rawPressure},
                    {"raw_t", r.rawTemperature},
                };
                out += line.dump() + "\n";
                break;
            }
            case ReadingsFormat::Influx: {
                const auto ns =
                    std::chrono::duration_cast<nanoseconds>(times[i].wall.time_since_epoch());
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
