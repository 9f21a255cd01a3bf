#include "device/recorded_readings.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

namespace device {
namespace {

constexpr std::string_view kCsvHeader = "time,seconds,psi,raw_p,raw_t";

// The whole text as a number, "C" rules; "nan", "-nan" and "inf" are numbers here, as "%f"
// writes them.
template <typename T>
bool WholeNumber(std::string_view text, T* value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

bool IsTimeOfDay(std::string_view line) {
    if (line.size() != 8 || line[2] != ':' || line[5] != ':') return false;
    for (size_t i : {0, 1, 3, 4, 6, 7}) {
        if (line[i] < '0' || line[i] > '9') return false;
    }
    return true;
}

}  // namespace

LineResult RecordedReadingsReader::Fail(const std::string& why) {
    error_ = "line " + std::to_string(lineNumber_) + ": " + why;
    return LineResult::Bad;
}

LineResult RecordedReadingsReader::TakeLine(std::string_view line, StatsReading* reading) {
    ++lineNumber_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return LineResult::NoReading;
    if (format_ == RecordedFormat::Unknown) {
        if (line == kCsvHeader) {
            format_ = RecordedFormat::Csv;
            return LineResult::NoReading;
        }
        if (line.front() == '\t' || IsTimeOfDay(line)) {
            format_ = RecordedFormat::PressureLog;
        } else if (line.front() == '{') {
            format_ = RecordedFormat::Ndjson;
        } else {
            return Fail("neither a pressure log nor zelctl's CSV (header " +
                        std::string(kCsvHeader) + ") nor its NDJSON");
        }
    }
    LineResult result = LineResult::Bad;
    switch (format_) {
        case RecordedFormat::PressureLog:
            return TakePressureLogLine(line, reading);
        case RecordedFormat::Csv:
            result = TakeCsvLine(line, reading);
            break;
        case RecordedFormat::Ndjson:
            result = TakeNdjsonLine(line, reading);
            break;
        case RecordedFormat::Unknown:
            break;
    }
    if (result != LineResult::Reading) return result;
    // Windows and blocks take the readings in time; several runs appended to one file are not.
    if (lastMicros_ && *reading->micros < *lastMicros_)
        return Fail("the seconds go back (a second run in the same file?)");
    lastMicros_ = reading->micros;
    return result;
}

LineResult RecordedReadingsReader::TakePressureLogLine(std::string_view line,
                                                       StatsReading* reading) {
    if (IsTimeOfDay(line)) return LineResult::NoReading;
    double psi = 0;
    if (line.front() != '\t' || !WholeNumber(line.substr(1), &psi))
        return Fail("not a pressure log line (TAB and a number, or hh:mm:ss)");
    *reading = StatsReading{std::nullopt, psi, std::nullopt};
    return LineResult::Reading;
}

LineResult RecordedReadingsReader::TakeCsvLine(std::string_view line, StatsReading* reading) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    double seconds = 0, psi = 0;
    long rawP = 0, rawT = 0;
    if (fields.size() != 5 || !WholeNumber(fields[1], &seconds) || !std::isfinite(seconds) ||
        !WholeNumber(fields[2], &psi) || !WholeNumber(fields[3], &rawP) ||
        !WholeNumber(fields[4], &rawT)) {
        return Fail("not a CSV reading (" + std::string(kCsvHeader) + ")");
    }
    *reading = StatsReading{MicrosOfSeconds(seconds), psi, RawCounts{rawP, rawT}};
    return LineResult::Reading;
}

LineResult RecordedReadingsReader::TakeNdjsonLine(std::string_view line, StatsReading* reading) {
    const auto json = nlohmann::json::parse(line, nullptr, false);
    auto has = [&json](const char* key, bool (nlohmann::json::*is)() const noexcept) {
        return json.is_object() && json.contains(key) && (json[key].*is)();
    };
    if (!has("seconds", &nlohmann::json::is_number) ||
        !(has("psi", &nlohmann::json::is_number) || has("psi", &nlohmann::json::is_null)) ||
        !has("raw_p", &nlohmann::json::is_number_integer) ||
        !has("raw_t", &nlohmann::json::is_number_integer)) {
        return Fail("not an NDJSON reading (an object with seconds, psi, raw_p and raw_t)");
    }
    const double seconds = json["seconds"].get<double>();
    if (!std::isfinite(seconds)) return Fail("the seconds are no number");
    // null is how the JSON writes a PSI that is no number.
    const double psi = json["psi"].is_null() ? std::nan("") : json["psi"].get<double>();
    *reading = StatsReading{MicrosOfSeconds(seconds), psi,
                            RawCounts{json["raw_p"].get<long>(), json["raw_t"].get<long>()}};
    return LineResult::Reading;
}

}  // namespace device
