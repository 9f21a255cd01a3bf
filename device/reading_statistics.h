#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "device/continuous_parser.h"

// Statistics of the readings as they are written (the PSI of the "%f" text, the seconds of the
// CSV), so that a recorded file gives the same figures as the live run. Pure code, no I/O, no
// locks: one thread adds the readings and takes the Figures, which it can hand on by value.
namespace device {

struct RawCounts {
    long pressure = 0;
    long temperature = 0;
};

// One reading as written. A pressure log has neither time nor raw counts.
struct StatsReading {
    std::optional<int64_t> micros;  // time since the run started, µs: "%f" seconds are whole µs
    double psi = 0.0;               // a PSI that is no number counts, but not in the PSI figures
    std::optional<RawCounts> raw;
};

// A "%f" seconds value as whole microseconds.
int64_t MicrosOfSeconds(double seconds);

// A shown reading and its monotonic time as the CSV writes them: both through the "%f" text.
StatsReading AsWritten(const Reading& reading, std::chrono::nanoseconds sinceStart);

// The Allan deviation's averaging times.
inline constexpr std::array<int64_t, 3> kAllanTauMicros = {100'000, 1'000'000, 10'000'000};

// Absent (nullopt) where the readings do not define a figure: no readings, one reading for a
// deviation, no raw counts, no time, a zero deviation for the resolutions.
struct Figures {
    long long count = 0;
    std::optional<double> meanPsi, stdPsi, minPsi, maxPsi, ppPsi;
    std::optional<double> stdCounts, ppCounts;
    std::optional<double> effectiveBits, noiseFreeBits;
    std::optional<double> ratePerSecond;
    std::optional<double> meanRawTemperature;
    bool hasAllan = false;                          // whole run only
    std::array<std::optional<double>, 3> allanPsi;  // at kAllanTauMicros
};

// Mean and sum of squared deviations, Welford's update in long double: no cancellation however
// far the values drift over a run.
class RunningMoments {
public:
    void Add(long double x);
    long long Count() const { return n_; }
    long double Mean() const { return mean_; }
    std::optional<double> SampleStdDev() const;

private:
    long long n_ = 0;
    long double mean_ = 0;
    long double m2_ = 0;
};

// The whole run: O(1) a reading, fixed memory.
class RunStatistics {
public:
    void Add(const StatsReading& reading);
    Figures Current() const;

private:
    // Blocks k·τ <= t < (k+1)·τ. Each block's sum is taken from its first value, so that a
    // block mean keeps the digits that tell it from its neighbour's.
    struct AllanBlocks {
        int64_t tau = 0;
        bool open = false;
        int64_t index = 0;
        double anchor = 0;
        long double sum = 0;
        long count = 0;
        bool hasPrevious = false;
        int64_t previousIndex = 0;
        long double previousMean = 0;
        long double sumSquares = 0;
        long pairs = 0;
        void Add(int64_t micros, double psi);
        std::optional<double> Deviation() const;
    };

    long long count_ = 0;
    RunningMoments psi_, counts_, temperature_;
    double minPsi_ = 0, maxPsi_ = 0;
    long minCounts_ = 0, maxCounts_ = 0;
    long long timed_ = 0;
    int64_t firstMicros_ = 0, lastMicros_ = 0;
    std::array<AllanBlocks, 3> allan_{
        {{kAllanTauMicros[0]}, {kAllanTauMicros[1]}, {kAllanTauMicros[2]}}};
};

// The readings of the last `span`: a reading stays while newest − it < span. Readings without a
// time are not taken. O(1) amortised a reading, memory bounded by the readings in the window.
//
// Sums are of the deviations from a shift, in long double: adding and removing then never
// cancels the mean away (14.7 psi against a noise of 1e-4), and whole raw counts stay exact.
// What rounding remains would build up over a day of adds and removes, and readings far from the
// shift cost digits in proportion to (distance / spread)²; so the sums are taken afresh from the
// window around its current mean once as many readings have left as the window holds, and
// sooner when its mean has moved 100 deviations from the shift (a step of the pressure). That
// costs O(window) at most every 16th of a window's readings, and bounds the error to what one
// window's operations near its mean can round.
class WindowStatistics {
public:
    explicit WindowStatistics(std::chrono::microseconds span);
    void Add(const StatsReading& reading);
    void Clear();
    Figures Current() const;

private:
    struct ShiftedSums {
        long double shift = 0, s1 = 0, s2 = 0;
        long long n = 0;
        void Add(long double x);
        void Remove(long double x);
        long double Mean() const { return shift + s1 / n; }
        std::optional<double> SampleStdDev() const;
        bool Drifted() const;  // the mean 100 deviations or more from the shift
    };
    struct Entry {
        StatsReading reading;
        uint64_t sequence;
    };
    // Sequence numbers of the entries that hold the window's extreme, oldest first.
    struct Extremes {
        std::deque<uint64_t> minimum, maximum;
    };

    void RemoveOldest();
    void Rebuild();
    const StatsReading& At(uint64_t sequence) const;

    int64_t span_;
    std::deque<Entry> entries_;
    uint64_t nextSequence_ = 0;
    ShiftedSums psi_, counts_, temperature_;
    Extremes psiExtremes_, countExtremes_;
    size_t removedSinceRebuild_ = 0;
};

// The figures of any stretch of readings (the plot's markers), without the Allan deviation.
Figures FiguresOf(std::span<const StatsReading> readings);

}  // namespace device
