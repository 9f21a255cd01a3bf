#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The power spectral density of a stretch of readings by Welch's method: segments of a chosen
// length overlapping by half, each segment's mean removed and a Hann window applied, the squared
// magnitudes averaged, one-sided, in PSI²/Hz. The sampling rate comes from the readings' own
// times; Welch assumes even spacing, so the spread of the spacing is given with it. Plain C++
// over FFTW; streaming, so that a file of any length needs only a few segments of memory.
namespace device {

inline constexpr int kShortestSegment = 256;
inline constexpr int kLongestSegment = 4096;
inline constexpr int kWantedSegments = 8;

// How many segments of `length` readings, half overlapping, `count` readings give.
long SegmentCount(long count, int length);
// The longest power of two from 256 to 4096 that gives at least 8 segments; 256 when none does.
int DefaultSegment(long count);

struct SpectrumPeak {
    double hz = 0;
    double amplitudePsi = 0;  // of a sine: the root of twice the power under the peak
};

// How evenly the readings came: the mean spacing and its spread.
struct Spacing {
    double meanSeconds = 0;
    double stdSeconds = 0;  // sample deviation of the spacing
    double minSeconds = 0, maxSeconds = 0;
};

struct Spectrum {
    long readings = 0;
    int segment = 0;  // readings a segment
    long segments = 0;
    double rateHz = 0;  // (readings − 1) / (last time − first time)
    Spacing spacing;
    std::vector<double> hz;   // 0 .. rate / 2, rate / segment apart
    std::vector<double> psd;  // PSI²/Hz at each hz
    // The median of the density's root from 1 Hz to 0.4 × the rate: the white-noise floor.
    std::optional<double> noiseDensity;  // PSI/√Hz
    std::vector<SpectrumPeak> peaks;     // the three largest, largest first
};

// Readings in time order, fed one at a time; Finish gives the spectrum. With segment 0 the
// length is chosen at the end by DefaultSegment, so every candidate length is kept meanwhile
// (five FFTs of each half segment: cheap). A cancel flag set from another thread ends the work
// at the next segment.
class WelchSpectrum {
public:
    explicit WelchSpectrum(int segment = 0, const std::atomic<bool>* cancel = nullptr);
    ~WelchSpectrum();
    WelchSpectrum(const WelchSpectrum&) = delete;
    WelchSpectrum& operator=(const WelchSpectrum&) = delete;

    // A reading with no number as its pressure is left out.
    void Add(double seconds, double psi);
    // Nullopt with `error` when there are fewer readings than a segment, no time passes between
    // them, or the work was cancelled.
    std::optional<Spectrum> Finish(std::string* error) const;

private:
    struct Accumulator;
    std::vector<Accumulator*> m_lengths;
    const std::atomic<bool>* m_cancel;
    long m_count = 0;
    double m_first = 0, m_last = 0;
    long double m_spacingMean = 0, m_spacingM2 = 0;  // Welford over the spacing
    double m_spacingMin = 0, m_spacingMax = 0;
};

// All at once: `seconds` and `psi` of the same length.
std::optional<Spectrum> WelchOf(std::span<const double> seconds, std::span<const double> psi,
                                int segment, std::string* error,
                                const std::atomic<bool>* cancel = nullptr);

// The root of the density's integral from `fromHz` to `toHz` (the bins whose frequency lies
// there, both ends included): the RMS of the readings' variation in that band, PSI.
double BandRms(const Spectrum& spectrum, double fromHz, double toHz);

// "hz,psd_psi2_per_hz" and a line a bin, numbers in the shortest form that reads back exactly.
std::string SpectrumCsv(const Spectrum& spectrum);

}  // namespace device
