// The acquisition tick's period against this machine's floor, in one run: the acquisition
// timer's own thread and deadlines with the tick dispatch on top (with nothing wired it returns
// at once), and beside it a bare loop of absolute-deadline sleeps on the monotonic clock with the
// least timer slack, half a period out of step. Prints, for both, the mean period and the mean,
// 99th percentile and largest deviation from 100 ms. Usage: bench_tick_period [seconds], 30 by
// default.
#include <sys/prctl.h>
#include <time.h>

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

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double meanPeriod = 0, meanDeviation = 0, p99 = 0, max = 0, drift = 0;
};

Figures Analyse(const std::vector<Clock::time_point>& times) {
    Figures f;
    std::vector<double> deviations;
    double sum = 0;
    for (size_t i = 1; i < times.size(); ++i) {
        const double period =
            std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count();
        sum += period;
        deviations.push_back(std::fabs(period - 100.0));
    }
    f.meanPeriod = sum / static_cast<double>(deviations.size());
    for (double d : deviations) f.meanDeviation += d;
    f.meanDeviation /= static_cast<double>(deviations.size());
    std::sort(deviations.begin(), deviations.end());
    f.p99 = deviations[std::min(
        deviations.size() - 1, static_cast<size_t>(0.99 * static_cast<double>(deviations.size())))];
    f.max = deviations.back();
    f.drift = std::chrono::duration<double, std::milli>(times.back() - times.front()).count() -
              100.0 * static_cast<double>(times.size() - 1);
    return f;
}

void Print(const char* name, size_t count, const Figures& f) {
    std::printf(
        "%s: %zu wake-ups, mean period %.3f ms; deviation from 100 ms: mean %.3f ms, "
        "p99 %.3f ms, max %.3f ms; last one %.3f ms off the grid\n",
        name, count, f.meanPeriod, f.meanDeviation, f.p99, f.max, f.drift);
}

// The floor: nothing but absolute-deadline sleeps, starting `offset` after `start`.
void SleepLoop(Clock::time_point start, std::chrono::milliseconds offset, int count,
               std::vector<Clock::time_point>* times) {
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const auto first = start + offset;
    for (int k = 0; k < count; ++k) {
        const auto deadline = std::chrono::duration_cast<std::chrono::nanoseconds>(
            (first + std::chrono::milliseconds(100) * k).time_since_epoch());
        const timespec until{static_cast<time_t>(deadline.count() / 1000000000),
                             static_cast<long>(deadline.count() % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
        }
        times->push_back(Clock::now());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    std::mutex mutex;
    std::vector<Clock::time_point> ticks, floor;
    ticks.reserve(static_cast<size_t>(seconds) * 10 + 10);
    floor.reserve(static_cast<size_t>(seconds) * 10 + 10);
    platform::PeriodicTimer timer;
    const auto start = Clock::now();
    timer.Start(100, [&] {
        const auto now = Clock::now();
        device::OnTick();
        std::lock_guard lock(mutex);
        ticks.push_back(now);
    });
    std::thread bare(SleepLoop, start, std::chrono::milliseconds(150), seconds * 10, &floor);
    bare.join();
    timer.Stop();

    std::lock_guard lock(mutex);
    if (ticks.size() < 3 || floor.size() < 3) {
        std::printf("too few wake-ups: %zu ticks, %zu bare sleeps\n", ticks.size(), floor.size());
        return 0;
    }
    std::printf("over %d s, side by side:\n", seconds);
    const Figures tick = Analyse(ticks), bareFigures = Analyse(floor);
    Print("  the tick     ", ticks.size(), tick);
    Print("  floor (bare) ", floor.size(), bareFigures);
    std::printf("p99 deviation of the tick above the floor's: %.3f ms\n",
                tick.p99 - bareFigures.p99);
    return 0;
}
