#include "device/reading_statistics.h"

#include <charconv>
#include <cmath>

#include "device/c_numbers.h"

namespace device {
namespace {

// Full scale of the 24-bit pressure count.
constexpr double kFullScaleCounts = 16777215.0;

double ValueOfText(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

std::optional<double> Rate(long long timed, int64_t firstMicros, int64_t lastMicros) {
    if (timed < 2 || lastMicros <= firstMicros) return std::nullopt;
    return static_cast<double>(timed - 1) * 1e6 / static_cast<double>(lastMicros - firstMicros);
}

// max − min of two "%f" values as the nearest double to their exact decimal difference.
double PeakToPeak(double min, double max) {
    if (std::fabs(min) < 1e12 && std::fabs(max) < 1e12)
        return static_cast<double>(std::llround(max * 1e6) - std::llround(min * 1e6)) / 1e6;
    return max - min;
}

void SetResolutions(Figures& f) {
    if (f.stdCounts && *f.stdCounts > 0)
        f.effectiveBits = std::log2(kFullScaleCounts / *f.stdCounts);
    if (f.ppCounts && *f.ppCounts > 0) f.noiseFreeBits = std::log2(kFullScaleCounts / *f.ppCounts);
}

}  // namespace

int64_t MicrosOfSeconds(double seconds) {
    return std::llround(seconds * 1e6);
}

StatsReading AsWritten(const Reading& reading, std::chrono::nanoseconds sinceStart) {
    const double seconds = std::chrono::duration<double>(sinceStart).count();
    StatsReading r;
    r.micros = MicrosOfSeconds(ValueOfText(FormatFixed6(seconds)));
    r.psi = ValueOfText(FormatFixed6(reading.psi));
    r.raw = RawCounts{reading.rawPressure, reading.rawTemperature};
    return r;
}

void RunningMoments::Add(long double x) {
    ++n_;
    const long double delta = x - mean_;
    mean_ += delta / static_cast<long double>(n_);
    m2_ += delta * (x - mean_);
}

std::optional<double> RunningMoments::SampleStdDev() const {
    if (n_ < 2) return std::nullopt;
    return static_cast<double>(std::sqrt(m2_ / static_cast<long double>(n_ - 1)));
}

void RunStatistics::AllanBlocks::Add(int64_t micros, double psi) {
    const int64_t k = FloorDiv(micros, tau);
    if (open && k > index) {
        const long double mean = anchor + sum / static_cast<long double>(count);
        if (hasPrevious && previousIndex == index - 1) {
            const long double d = mean - previousMean;
            sumSquares += d * d;
            ++pairs;
        }
        hasPrevious = true;
        previousIndex = index;
        previousMean = mean;
        open = false;
    }
    if (!open) {  // a time that goes back stays in the open block
        open = true;
        index = k;
        anchor = psi;
        sum = 0;
        count = 0;
    }
    sum += static_cast<long double>(psi) - anchor;
    ++count;
}

std::optional<double> RunStatistics::AllanBlocks::Deviation() const {
    long double squares = sumSquares;
    long n = pairs;
    if (open && hasPrevious && previousIndex == index - 1) {
        const long double d = anchor + sum / static_cast<long double>(count) - previousMean;
        squares += d * d;
        ++n;
    }
    if (n == 0) return std::nullopt;
    return static_cast<double>(std::sqrt(squares / (2.0L * static_cast<long double>(n))));
}

void RunStatistics::Add(const StatsReading& r) {
    ++count_;
    if (std::isfinite(r.psi)) {
        if (psi_.Count() == 0 || r.psi < minPsi_) minPsi_ = r.psi;
        if (psi_.Count() == 0 || r.psi > maxPsi_) maxPsi_ = r.psi;
        psi_.Add(r.psi);
        if (r.micros) {
            for (AllanBlocks& blocks : allan_) blocks.Add(*r.micros, r.psi);
        }
    }
    if (r.raw) {
        if (counts_.Count() == 0 || r.raw->pressure < minCounts_) minCounts_ = r.raw->pressure;
        if (counts_.Count() == 0 || r.raw->pressure > maxCounts_) maxCounts_ = r.raw->pressure;
        counts_.Add(static_cast<long double>(r.raw->pressure));
        temperature_.Add(static_cast<long double>(r.raw->temperature));
    }
    if (r.micros) {
        if (timed_ == 0) firstMicros_ = *r.micros;
        lastMicros_ = *r.micros;
        ++timed_;
    }
}

Figures RunStatistics::Current() const {
    Figures f;
    f.count = count_;
    if (psi_.Count() > 0) {
        f.meanPsi = static_cast<double>(psi_.Mean());
        f.stdPsi = psi_.SampleStdDev();
        f.minPsi = minPsi_;
        f.maxPsi = maxPsi_;
        f.ppPsi = PeakToPeak(minPsi_, maxPsi_);
    }
    if (counts_.Count() > 0) {
        f.stdCounts = counts_.SampleStdDev();
        f.ppCounts = static_cast<double>(maxCounts_ - minCounts_);
        f.meanRawTemperature = static_cast<double>(temperature_.Mean());
    }
    SetResolutions(f);
    f.ratePerSecond = Rate(timed_, firstMicros_, lastMicros_);
    f.hasAllan = true;
    for (size_t i = 0; i < allan_.size(); ++i) f.allanPsi[i] = allan_[i].Deviation();
    return f;
}

void WindowStatistics::ShiftedSums::Add(long double x) {
    if (n == 0) {
        shift = x;
        s1 = s2 = 0;
    }
    const long double d = x - shift;
    s1 += d;
    s2 += d * d;
    ++n;
}

void WindowStatistics::ShiftedSums::Remove(long double x) {
    const long double d = x - shift;
    s1 -= d;
    s2 -= d * d;
    --n;
}

bool WindowStatistics::ShiftedSums::Drifted() const {
    if (n < 2) return false;
    const long double offset = s1 / static_cast<long double>(n);
    const long double spread = s2 / static_cast<long double>(n) - offset * offset;
    return offset * offset > 1e4L * spread;
}

std::optional<double> WindowStatistics::ShiftedSums::SampleStdDev() const {
    if (n < 2) return std::nullopt;
    const long double squares = s2 - s1 * s1 / static_cast<long double>(n);
    return static_cast<double>(
        std::sqrt(std::max(squares, 0.0L) / static_cast<long double>(n - 1)));
}

WindowStatistics::WindowStatistics(std::chrono::microseconds span) : span_(span.count()) {}

void WindowStatistics::Clear() {
    *this = WindowStatistics(std::chrono::microseconds(span_));
}

const StatsReading& WindowStatistics::At(uint64_t sequence) const {
    return entries_[sequence - entries_.front().sequence].reading;
}

void WindowStatistics::Add(const StatsReading& r) {
    if (!r.micros) return;
    const uint64_t sequence = nextSequence_++;
    entries_.push_back({r, sequence});
    // Monotonic deques: an older entry that can no longer be the extreme leaves at once.
    if (std::isfinite(r.psi)) {
        psi_.Add(r.psi);
        auto& lo = psiExtremes_.minimum;
        while (!lo.empty() && At(lo.back()).psi >= r.psi) lo.pop_back();
        lo.push_back(sequence);
        auto& hi = psiExtremes_.maximum;
        while (!hi.empty() && At(hi.back()).psi <= r.psi) hi.pop_back();
        hi.push_back(sequence);
    }
    if (r.raw) {
        counts_.Add(static_cast<long double>(r.raw->pressure));
        temperature_.Add(static_cast<long double>(r.raw->temperature));
        auto& lo = countExtremes_.minimum;
        while (!lo.empty() && At(lo.back()).raw->pressure >= r.raw->pressure) lo.pop_back();
        lo.push_back(sequence);
        auto& hi = countExtremes_.maximum;
        while (!hi.empty() && At(hi.back()).raw->pressure <= r.raw->pressure) hi.pop_back();
        hi.push_back(sequence);
    }
    while (entries_.size() > 1 && *r.micros - *entries_.front().reading.micros >= span_)
        RemoveOldest();
    // A window whose mean has left its shift far behind its spread (a step of the pressure)
    // loses digits with every operation. Looked at only once a 16th of the window has left
    // since the last rebuild, so that a test that keeps firing (equal values, no spread) still
    // costs O(1) a reading.
    if (removedSinceRebuild_ >= entries_.size() ||
        (removedSinceRebuild_ * 16 >= entries_.size() && (psi_.Drifted() || counts_.Drifted())))
        Rebuild();
}

void WindowStatistics::RemoveOldest() {
    const Entry& oldest = entries_.front();
    const StatsReading& r = oldest.reading;
    if (std::isfinite(r.psi)) psi_.Remove(r.psi);
    if (r.raw) {
        counts_.Remove(static_cast<long double>(r.raw->pressure));
        temperature_.Remove(static_cast<long double>(r.raw->temperature));
    }
    for (Extremes* e : {&psiExtremes_, &countExtremes_}) {
        for (std::deque<uint64_t>* q : {&e->minimum, &e->maximum}) {
            if (!q->empty() && q->front() == oldest.sequence) q->pop_front();
        }
    }
    entries_.pop_front();
    ++removedSinceRebuild_;
}

void WindowStatistics::Rebuild() {
    ShiftedSums psi, counts, temperature;
    if (psi_.n > 0) psi = {static_cast<double>(psi_.Mean()), 0, 0, 0};
    if (counts_.n > 0) {
        counts = {std::round(counts_.Mean()), 0, 0, 0};
        temperature = {std::round(temperature_.Mean()), 0, 0, 0};
    }
    // Add sets the shift only on an empty sum; these start with theirs and n == 0.
    auto take = [](ShiftedSums& s, long double x) {
        const long double d = x - s.shift;
        s.s1 += d;
        s.s2 += d * d;
        ++s.n;
    };
    for (const Entry& e : entries_) {
        if (std::isfinite(e.reading.psi)) take(psi, e.reading.psi);
        if (e.reading.raw) {
            take(counts, static_cast<long double>(e.reading.raw->pressure));
            take(temperature, static_cast<long double>(e.reading.raw->temperature));
        }
    }
    psi_ = psi;
    counts_ = counts;
    temperature_ = temperature;
    removedSinceRebuild_ = 0;
}

Figures WindowStatistics::Current() const {
    Figures f;
    f.count = static_cast<long long>(entries_.size());
    if (psi_.n > 0) {
        f.meanPsi = static_cast<double>(psi_.Mean());
        f.stdPsi = psi_.SampleStdDev();
        f.minPsi = At(psiExtremes_.minimum.front()).psi;
        f.maxPsi = At(psiExtremes_.maximum.front()).psi;
        f.ppPsi = PeakToPeak(*f.minPsi, *f.maxPsi);
    }
    if (counts_.n > 0) {
        f.stdCounts = counts_.SampleStdDev();
        f.ppCounts = static_cast<double>(At(countExtremes_.maximum.front()).raw->pressure -
                                         At(countExtremes_.minimum.front()).raw->pressure);
        f.meanRawTemperature = static_cast<double>(temperature_.Mean());
    }
    SetResolutions(f);
    if (!entries_.empty()) {
        f.ratePerSecond =
            Rate(f.count, *entries_.front().reading.micros, *entries_.back().reading.micros);
    }
    return f;
}

Figures FiguresOf(std::span<const StatsReading> readings) {
    RunStatistics statistics;
    for (const StatsReading& r : readings) statistics.Add(r);
    Figures f = statistics.Current();
    f.hasAllan = false;
    f.allanPsi = {};
    return f;
}

}  // namespace device
