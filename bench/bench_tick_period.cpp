// The acquisition tick's period: the acquisition timer's own thread and deadlines, the tick
// dispatch on top (with nothing wired it returns at once). Prints the mean period and the mean,
// 99th percentile and largest deviation from 100 ms. Usage: bench_tick_period [seconds], 30 by
// default.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "device/tick.h"
#include "platform/periodic_timer.h"

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    std::mutex mutex;
    std::vector<Clock::time_point> times;
    times.reserve(static_cast<size_t>(seconds) * 10 + 10);
    platform::PeriodicTimer timer;
    timer.Start(100, [&] {
        const auto now = Clock::now();
        device::OnTick();
        std::lock_guard lock(mutex);
        times.push_back(now);
    });
    std::this_thread::sleep_for(std::chrono::seconds(seconds) + std::chrono::milliseconds(50));
    timer.Stop();

    std::lock_guard lock(mutex);
    if (times.size() < 3) {
        std::printf("too few ticks: %zu\n", times.size());
        return 0;
    }
    std::vector<double> deviations;
    double sum = 0;
    for (size_t i = 1; i < times.size(); ++i) {
        const double period =
            std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count();
        sum += period;
        deviations.push_back(std::fabs(period - 100.0));
    }
    std::vector<double> sorted = deviations;
    std::sort(sorted.begin(), sorted.end());
    double meanDeviation = 0;
    for (double d : deviations) meanDeviation += d;
    meanDeviation /= static_cast<double>(deviations.size());
    const size_t p99 = std::min(sorted.size() - 1, static_cast<size_t>(0.99 * sorted.size()));
    const double drift =
        std::chrono::duration<double, std::milli>(times.back() - times.front()).count() -
        100.0 * static_cast<double>(times.size() - 1);
    std::printf("ticks: %zu over %d s\n", times.size(), seconds);
    std::printf("mean period: %.3f ms\n", sum / static_cast<double>(deviations.size()));
    std::printf("deviation from 100 ms: mean %.3f ms, p99 %.3f ms, max %.3f ms\n", meanDeviation,
                sorted[p99], sorted.back());
    std::printf("drift of the last tick against the grid: %.3f ms\n", drift);
    return 0;
}
