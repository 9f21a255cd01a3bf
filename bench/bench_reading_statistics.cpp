// The statistics' cost a reading on one core: the whole run (with the three Allan deviations),
// a sliding window of 60 s, and a reading through its "%f" texts. The transducer sends about 150
// readings a second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "device/reading_statistics.h"

namespace {

using namespace std::chrono_literals;

// An hour at 150 a second: 14.7 psi with a noise of about 1e-4, counts near 8e6.
std::vector<device::StatsReading> Series() {
    std::vector<device::StatsReading> series;
    for (long i = 0; i < 150 * 3600; ++i) {
        const double psi = 14.7 + static_cast<double>((i * 7919) % 201 - 100) * 1e-6;
        series.push_back({i * 6667, std::round(psi * 1e6) / 1e6,
                          device::RawCounts{8'000'000 + (i * 31) % 101 - 50, 28000}});
    }
    return series;
}

template <typename Statistics>
void PerReading(benchmark::State& state, Statistics statistics) {
    static const auto series = Series();
    size_t next = 0;
    for (auto _ : state) {
        statistics.Add(series[next]);
        if (++next == series.size()) next = 0;
    }
    benchmark::DoNotOptimize(statistics.Current());
    state.SetItemsProcessed(state.iterations());
}

void WholeRun(benchmark::State& state) {
    PerReading(state, device::RunStatistics());
}

void Window60s(benchmark::State& state) {
    PerReading(state, device::WindowStatistics(60s));
}

void AsWritten(benchmark::State& state) {
    const device::Reading reading{14.70012345, 8000000, 28000};
    long i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(device::AsWritten(reading, ++i * 6'666'667ns));
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(WholeRun);
BENCHMARK(Window60s);
BENCHMARK(AsWritten);
