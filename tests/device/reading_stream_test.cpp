// The one rule that times a run's readings, which the plot, the CSV and every other format share.

#include "device/reading_stream.h"

#include <gtest/gtest.h>

#include "device/c_numbers.h"

namespace {

using namespace std::chrono_literals;

TEST(ReadingClock, Spreads_each_steps_readings_up_to_the_step_and_times_them_alike_everywhere) {
    device::ReadingClock clock;
    const auto start = device::ReadingClock::Steady::time_point(10s);
    const auto wall = std::chrono::system_clock::time_point(1796797241123456789ns);
    clock.Start(start, wall);
    const std::vector<device::Reading> four = {{1.0, 1, 9}, {2.0, 2, 9}, {3.0, 3, 9}, {4.5, 4, 9}};
    struct Step {
        std::chrono::nanoseconds at, expectedGap;
    };
    // The first step after 120 ms; then one 5 s after a pause, spread over 200 ms at most.
    std::chrono::nanoseconds previous{0};
    for (Step step : {Step{120ms, 30ms}, Step{5120ms, 50ms}}) {
        const auto timed = clock.Stamp(four, start + step.at);
        ASSERT_EQ(timed.size(), 4u);
        EXPECT_EQ(timed[3].sinceStart, step.at);
        EXPECT_GT(timed[0].sinceStart, previous);
        previous = timed[3].sinceStart;
        for (size_t i = 0; i < timed.size(); ++i) {
            if (i > 0) {
                EXPECT_EQ(timed[i].sinceStart - timed[i - 1].sinceStart, step.expectedGap);
            }
            EXPECT_EQ(timed[i].utc, wall + timed[i].sinceStart);
            EXPECT_EQ(timed[i].psiText, device::FormatFixed6(four[i].psi));
            // The plot's time is the CSV's seconds column, read back.
            const std::string csv = device::CsvLine(timed[i]);
            const size_t comma = csv.find(',');
            EXPECT_EQ(csv.substr(comma + 1, csv.find(',', comma + 1) - comma - 1),
                      device::FormatFixed6(timed[i].Seconds()));
        }
    }
    EXPECT_EQ(device::CsvLine(clock.Stamp({{6.2987718, 3670016, 32767}}, start + 5340ms)[0]),
              "2026-12-09T06:20:46.463Z,5.340000,6.298772,3670016,32767\n");
}

// A late step then a quick one with a burst: in a database that keeps milliseconds two readings
// sharing one could not be told apart or kept in order.
TEST(ReadingClock, Gives_each_reading_a_later_millisecond_than_the_one_before) {
    device::ReadingClock clock;
    const auto start = device::ReadingClock::Steady::time_point(10s);
    const auto wall = std::chrono::system_clock::time_point(1796797241123956789ns);
    clock.Start(start, wall);
    const std::vector<device::Reading> five(5, device::Reading{1.0, 1, 9});
    auto timed = clock.Stamp(five, start + 100ms);
    const auto quick = clock.Stamp(five, start + 102ms);
    timed.insert(timed.end(), quick.begin(), quick.end());
    const auto later = clock.Stamp(five, start + 300ms);
    EXPECT_EQ(later.back().sinceStart, 300ms) << "the clock catches up with the steps";
    timed.insert(timed.end(), later.begin(), later.end());
    for (size_t i = 1; i < timed.size(); ++i) {
        EXPECT_LT(device::IsoUtcMillis(timed[i - 1].utc), device::IsoUtcMillis(timed[i].utc)) << i;
        EXPECT_EQ(timed[i].utc, wall + timed[i].sinceStart) << i;
    }
}

}  // namespace
