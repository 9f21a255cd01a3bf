// The readings formats as pure functions: times, the exact lines, the tags.

#include "cli/reading_formats.h"

#include <gtest/gtest.h>

#include <cmath>

#include "device/c_numbers.h"

namespace {

using namespace std::chrono_literals;

// 2026-12-09T06:20:41.123456789Z, 0.25 s into the run.
device::TimedReading SomeReading(double psi, long rawP, long rawT) {
    return {std::chrono::system_clock::time_point(1796797241123456789ns), 250ms, psi,
            device::FormatFixed6(psi), rawP, rawT};
}

TEST(ReadingFormats, Each_format_writes_one_exact_line_a_reading) {
    const std::vector<device::TimedReading> readings = {SomeReading(6.2987718, 3670016, 32767)};
    const cli::InfluxTags tags = {"/dev/ttyUSB0", "1234567"};
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Csv, readings, tags),
              "2026-12-09T06:20:41.123Z,0.250000,6.298772,3670016,32767\n");
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Ndjson, readings, tags),
              R"({"time":"2026-12-09T06:20:41.123Z","seconds":0.25,"psi":6.298772,)"
              R"("raw_p":3670016,"raw_t":32767})"
              "\n");
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Influx, readings, tags),
              "zel_pressure,port=/dev/ttyUSB0,serial=1234567 "
              "psi=6.298772,raw_p=3670016i,raw_t=32767i 1796797241123456789\n");
}

TEST(ReadingFormats, Influx_escapes_tags_leaves_out_empty_ones_and_a_pressure_that_is_no_number) {
    const std::vector<device::TimedReading> readings = {SomeReading(std::nan(""), 1, 2)};
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Influx, readings, {"/tmp/my port,a=b\n", ""}),
              "zel_pressure,port=/tmp/my\\ port\\,a\\=b_ raw_p=1i,raw_t=2i 1796797241123456789\n");
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Ndjson, readings, {}),
              R"({"time":"2026-12-09T06:20:41.123Z","seconds":0.25,"psi":null,"raw_p":1,)"
              R"("raw_t":2})"
              "\n");
}

}  // namespace
