// The readings formats as pure functions: times, the exact lines, the tags.

#include "cli/reading_formats.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace std::chrono_literals;
using cli::ReadingTime;

// 2026-12-09T06:20:41.123456789Z, 0.25 s into the run.
ReadingTime SomeStep() {
    return {std::chrono::system_clock::time_point(1796797241123456789ns), 250ms};
}

TEST(ReadingFormats, Spreads_a_steps_readings_evenly_up_to_the_step_within_one_tick) {
    const ReadingTime step = SomeStep();
    struct Case {
        std::chrono::nanoseconds sincePrevious, expectedGap;
    };
    for (Case c : {Case{60ms, 20ms}, Case{2s, 30ms}}) {  // a pause spreads over one tick
        const ReadingTime previous{step.wall - c.sincePrevious, step.sinceStart - c.sincePrevious};
        const auto times = cli::SpreadOverStep(previous, step, 3, 90ms);
        ASSERT_EQ(times.size(), 3u);
        EXPECT_EQ(times[2].sinceStart, step.sinceStart);
        EXPECT_EQ(times[2].wall, step.wall);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(times[i + 1].sinceStart - times[i].sinceStart, c.expectedGap);
            EXPECT_EQ(times[i + 1].wall - times[i].wall, c.expectedGap);
        }
    }
}

TEST(ReadingFormats, Each_format_writes_one_exact_line_a_reading) {
    const std::vector<device::Reading> readings = {{6.2987718, 3670016, 32767}};
    const std::vector<ReadingTime> times = {SomeStep()};
    const cli::InfluxTags tags = {"/dev/ttyUSB0", "1234567"};
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Csv, readings, times, tags),
              "2026-12-09T06:20:41.123Z,0.250000,6.298772,3670016,32767\n");
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Ndjson, readings, times, tags),
              R"({"time":"2026-12-09T06:20:41.123Z","seconds":0.25,"psi":6.298772,)"
              R"("raw_p":3670016,"raw_t":32767})"
              "\n");
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Influx, readings, times, tags),
              "zel_pressure,port=/dev/ttyUSB0,serial=1234567 "
              "psi=6.298772,raw_p=3670016i,raw_t=32767i 1796797241123456789\n");
}

TEST(ReadingFormats, Influx_escapes_tags_leaves_out_empty_ones_and_a_pressure_that_is_no_number) {
    const std::vector<device::Reading> readings = {{std::nan(""), 1, 2}};
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Influx, readings, {SomeStep()},
                             {"/tmp/my port,a=b\n", ""}),
              "zel_pressure,port=/tmp/my\\ port\\,a\\=b_ raw_p=1i,raw_t=2i 1796797241123456789\n");
    EXPECT_EQ(FormatReadings(cli::ReadingsFormat::Ndjson, readings, {SomeStep()}, {}),
              R"({"time":"2026-12-09T06:20:41.123Z","seconds":0.25,"psi":null,"raw_p":1,)"
              R"("raw_t":2})"
              "\n");
}

TEST(ReadingFormats, The_serial_number_is_row_43_as_a_big_endian_number) {
    struct Case {
        std::vector<std::string> bytes;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{{{"00", "12", "D6", "87"}, "1234567"},
                                           {{"FF", "FF", "FF", "FF"}, "4294967295"},
                                           {{"00", "12C", "D6", "87"}, ""},
                                           {{"00", "-1", "D6", "87"}, ""}}) {
        std::vector<std::vector<std::string>> table(64, {"x", "00", "00", "00", "00", "00"});
        table[43] = {"Serial No", "AC"};
        table[43].insert(table[43].end(), c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(cli::SerialNumberText(table), c.expected) << c.bytes[1];
    }
}

}  // namespace
