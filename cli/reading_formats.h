#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "device/reading_stream.h"
#include "tsdb/settings.h"

// The readings of `zelctl acquire --format` for other tools: pure functions from timed readings
// to text. Every line ends in LF.
namespace cli {

enum class ReadingsFormat { Text, Csv, Ndjson, Influx };

// "text", "csv", "ndjson" or "influx".
bool ReadingsFormatNamed(std::string_view name, ReadingsFormat* format);

// The tags of the line protocol; an empty one is left out.
using InfluxTags = tsdb::Tags;

// One line a reading (Text: the pressure alone, as the read-out shows it).
std::string FormatReadings(ReadingsFormat format, const std::vector<device::TimedReading>& readings,
                           const InfluxTags& tags);

}  // namespace cli
