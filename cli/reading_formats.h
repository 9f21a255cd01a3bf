#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "device/continuous_parser.h"

// The readings of `zelctl acquire --format` for other tools: pure functions from readings and
// their times to text. Every line ends in LF.
namespace cli {

enum class ReadingsFormat { Text, Csv, Ndjson, Influx };

// "text", "csv", "ndjson" or "influx".
bool ReadingsFormatNamed(std::string_view name, ReadingsFormat* format);

// When a reading was read: the host's wall clock, and the monotonic time since the run started.
struct ReadingTime {
    std::chrono::system_clock::time_point wall;
    std::chrono::nanoseconds sinceStart{0};
};

// The times of a step's `count` readings, spread evenly over the span since the previous step
// (at most `maxSpan`, so that a pause does not stretch them), the last one at the step itself.
std::vector<ReadingTime> SpreadOverStep(const ReadingTime& previousStep, const ReadingTime& step,
                                        size_t count, std::chrono::nanoseconds maxSpan);

// The tags of the line protocol; an empty one is left out.
struct InfluxTags {
    std::string port;
    std::string serial;
};

// The serial number for the tag from the EEPROM table (64 rows of description, address and four
// byte texts): row 43's ("Serial No") four bytes as one big-endian unsigned number in decimal,
// e.g. "1234567". Empty when the row is missing or a cell is not a byte of two hex digits.
std::string SerialNumberText(const std::vector<std::vector<std::string>>& eepromRows);

// "time,seconds,psi,raw_p,raw_t".
std::string CsvHeader();

// One line a reading (Text: the pressure alone, as the read-out shows it). `times` holds one
// entry a reading.
std::string FormatReadings(ReadingsFormat format, const std::vector<device::Reading>& readings,
                           const std::vector<ReadingTime>& times, const InfluxTags& tags);

}  // namespace cli
