// The statistics against the plain two-pass computation, and where each figure is absent.

#include "device/reading_statistics.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/two_pass_statistics.h"

namespace {

using device::StatsReading;
using namespace std::chrono_literals;

TEST(ReadingStatistics, The_whole_run_equals_the_two_pass_computation) {
    // Two hours at 150 a second, and a few thousand readings of a fixed pattern.
    for (const auto& series :
         {test_stats::DayLikeSeries(150 * 7200), test_stats::ConstructedSeries()}) {
        device::RunStatistics run;
        for (const StatsReading& r : series) run.Add(r);
        test_stats::ExpectSameFigures(run.Current(), test_stats::TwoPassFigures(series, true));
    }
}

TEST(ReadingStatistics, A_sliding_window_equals_the_two_pass_computation_over_its_tail) {
    const auto series = test_stats::DayLikeSeries(150 * 7200);
    for (auto span : {1s, 10s, 60s}) {
        SCOPED_TRACE(span.count());
        device::WindowStatistics window(span);
        size_t first = 0;
        for (size_t i = 0; i < series.size(); ++i) {
            window.Add(series[i]);
            while (*series[i].micros - *series[first].micros >=
                   std::chrono::microseconds(span).count())
                ++first;
            // Now and then, and right after the step of 50 psi has filled the window.
            if (i % 150'000 == 149'999 || i == series.size() / 2 + 150 * span.count()) {
                test_stats::ExpectSameFigures(
                    window.Current(), test_stats::TwoPassFigures(
                                          {series.begin() + first, series.begin() + i + 1}, false));
            }
        }
    }
}

TEST(ReadingStatistics, Allan_deviation_pairs_adjacent_non_empty_blocks_split_at_k_tau) {
    // τ = 1 s: block 0 {10.0, 10.2}, block 1 {10.3, 10.3} from exactly 1 s on, block 2 empty,
    // block 3 {10.0}, block 4 {10.1}. Pairs (0,1) and (3,4): sqrt(½·(0.2² + 0.1²)/2).
    const std::vector<StatsReading> series = {
        {0, 10.0, {}},         {500'000, 10.2, {}},   {1'000'000, 10.3, {}},
        {1'500'000, 10.3, {}}, {3'000'000, 10.0, {}}, {4'999'999, 10.1, {}},
    };
    device::RunStatistics run;
    for (const StatsReading& r : series) run.Add(r);
    const device::Figures f = run.Current();
    ASSERT_TRUE(f.allanPsi[1]);
    EXPECT_NEAR(*f.allanPsi[1], std::sqrt(0.0125), 1e-12);
    EXPECT_FALSE(f.allanPsi[0]);  // no two readings in adjacent 0.1 s blocks
    EXPECT_FALSE(f.allanPsi[2]);  // one block
}

TEST(ReadingStatistics, A_figure_the_readings_do_not_define_is_absent) {
    const StatsReading csv{6667, 6.298772, device::RawCounts{3670016, 28103}};
    const StatsReading csv2{13333, 6.298792, device::RawCounts{3670026, 28104}};
    const StatsReading log{std::nullopt, 6.298772, std::nullopt};
    const StatsReading log2{std::nullopt, 6.298792, std::nullopt};
    struct Case {
        std::vector<StatsReading> readings;
        bool std, counts, stdCounts, resolutions, rate;
    };
    for (const Case& c : {
             Case{{}, false, false, false, false, false},
             Case{{csv}, false, true, false, false, false},
             Case{{csv, csv}, true, true, true, false, false},  // σ and pp of 0, no time between
             Case{{csv, csv2}, true, true, true, true, true},
             Case{{log, log2}, true, false, false, false, false},
         }) {
        device::RunStatistics run;
        for (const StatsReading& r : c.readings) run.Add(r);
        const device::Figures f = run.Current();
        EXPECT_EQ(f.count, static_cast<long long>(c.readings.size()));
        EXPECT_EQ(f.meanPsi.has_value(), !c.readings.empty());
        EXPECT_EQ(f.stdPsi.has_value(), c.std);
        EXPECT_EQ(f.ppCounts.has_value(), c.counts);
        EXPECT_EQ(f.stdCounts.has_value(), c.stdCounts);
        EXPECT_EQ(f.effectiveBits.has_value(), c.resolutions);
        EXPECT_EQ(f.noiseFreeBits.has_value(), c.resolutions);
        EXPECT_EQ(f.ratePerSecond.has_value(), c.rate);
        EXPECT_FALSE(f.allanPsi[1]);
    }
}

}  // namespace
