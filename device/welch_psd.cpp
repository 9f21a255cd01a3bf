#include "device/welch_psd.h"

#include <fftw3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <numbers>

namespace device {
namespace {

// FFTW's planner is not thread-safe; executing a plan is.
std::mutex g_planMutex;

// Bins on either side of a peak whose power is the peak's: a Hann window spreads a sine over its
// main lobe (two bins each side), and over the five bins a sine between two bins keeps 99.95 %
// of its power.
constexpr int kPeakHalfWidth = 2;

}  // namespace

long SegmentCount(long count, int length) {
    if (length <= 0 || count < length) return 0;
    return (count - length) / (length / 2) + 1;
}

int DefaultSegment(long count) {
    for (int length = kLongestSegment; length > kShortestSegment; length /= 2) {
        if (SegmentCount(count, length) >= kWantedSegments) return length;
    }
    return kShortestSegment;
}

// One segment length: the readings not yet in a whole segment, and the sum of the segments'
// squared magnitudes.
struct WelchSpectrum::Accumulator {
    explicit Accumulator(int readings)
        : length(readings), window(readings), sum(readings / 2 + 1, 0.0) {
        for (int i = 0; i < length; ++i)
            window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / length);
        buffer.reserve(length);
        std::lock_guard lock(g_planMutex);
        in = fftw_alloc_real(length);
        out = fftw_alloc_complex(length / 2 + 1);
        plan = fftw_plan_dft_r2c_1d(length, in, out, FFTW_ESTIMATE);
    }
    ~Accumulator() {
        std::lock_guard lock(g_planMutex);
        fftw_destroy_plan(plan);
        fftw_free(in);
        fftw_free(out);
    }

    void Add(double psi) {
        buffer.push_back(psi);
        if (static_cast<int>(buffer.size()) < length) return;
        double mean = 0;
        for (double x : buffer) mean += x;
        mean /= length;
        for (int i = 0; i < length; ++i) in[i] = (buffer[i] - mean) * window[i];
        fftw_execute(plan);
        for (size_t k = 0; k < sum.size(); ++k)
            sum[k] += out[k][0] * out[k][0] + out[k][1] * out[k][1];
        ++segments;
        buffer.erase(buffer.begin(), buffer.begin() + length / 2);
    }

    int length;
    std::vector<double> window;
    std::vector<double> buffer;
    std::vector<double> sum;
    long segments = 0;
    double* in = nullptr;
    fftw_complex* out = nullptr;
    fftw_plan plan = nullptr;
};

WelchSpectrum::WelchSpectrum(int segment, const std::atomic<bool>* cancel) : m_cancel(cancel) {
    if (segment > 0) {
        m_lengths.push_back(new Accumulator(segment));
    } else {
        for (int length = kShortestSegment; length <= kLongestSegment; length *= 2)
            m_lengths.push_back(new Accumulator(length));
    }
}

WelchSpectrum::~WelchSpectrum() {
    for (Accumulator* a : m_lengths) delete a;
}

void WelchSpectrum::Add(double seconds, double psi) {
    if (!std::isfinite(psi)) return;
    if (m_cancel && (m_count & 0xff) == 0 && m_cancel->load(std::memory_order_relaxed)) return;
    if (m_count == 0) {
        m_first = seconds;
    } else {
        const double spacing = seconds - m_last;
        if (m_count == 1) m_spacingMin = m_spacingMax = spacing;
        m_spacingMin = std::min(m_spacingMin, spacing);
        m_spacingMax = std::max(m_spacingMax, spacing);
        const long double delta = spacing - m_spacingMean;
        m_spacingMean += delta / m_count;
        m_spacingM2 += delta * (spacing - m_spacingMean);
    }
    m_last = seconds;
    ++m_count;
    for (Accumulator* a : m_lengths) a->Add(psi);
}

std::optional<Spectrum> WelchSpectrum::Finish(std::string* error) const {
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    if (m_cancel && m_cancel->load()) return fail("cancelled");
    const int wanted = m_lengths.size() == 1 ? m_lengths.front()->length : DefaultSegment(m_count);
    const Accumulator* a = nullptr;
    for (const Accumulator* candidate : m_lengths) {
        if (candidate->length == wanted) a = candidate;
    }
    if (!a || a->segments == 0) {
        return fail("fewer readings (" + std::to_string(m_count) + ") than a segment holds (" +
                    std::to_string(wanted) + ")");
    }
    if (!(m_last > m_first)) return fail("no time passes between the readings");

    Spectrum s;
    s.readings = m_count;
    s.segment = a->length;
    s.segments = a->segments;
    s.rateHz = static_cast<double>(m_count - 1) / (m_last - m_first);
    s.spacing.meanSeconds = static_cast<double>(m_spacingMean);
    s.spacing.stdSeconds =
        m_count > 2 ? std::sqrt(static_cast<double>(m_spacingM2 / (m_count - 2))) : 0.0;
    s.spacing.minSeconds = m_spacingMin;
    s.spacing.maxSeconds = m_spacingMax;

    double windowPower = 0;
    for (double w : a->window) windowPower += w * w;
    const double scale = 1.0 / (s.rateHz * windowPower * static_cast<double>(a->segments));
    const size_t bins = a->sum.size();
    s.hz.resize(bins);
    s.psd.resize(bins);
    for (size_t k = 0; k < bins; ++k) {
        s.hz[k] = static_cast<double>(k) * s.rateHz / a->length;
        // One-sided: the negative frequencies' power folded onto the positive ones, all but DC
        // and (for an even length) the Nyquist bin.
        const bool folded = k > 0 && !(a->length % 2 == 0 && k == bins - 1);
        s.psd[k] = a->sum[k] * scale * (folded ? 2.0 : 1.0);
    }

    std::vector<double> floor;
    for (size_t k = 0; k < bins; ++k) {
        if (s.hz[k] >= 1.0 && s.hz[k] <= 0.4 * s.rateHz) floor.push_back(std::sqrt(s.psd[k]));
    }
    if (!floor.empty()) {
        std::sort(floor.begin(), floor.end());
        const size_t mid = floor.size() / 2;
        s.noiseDensity = floor.size() % 2 ? floor[mid] : (floor[mid - 1] + floor[mid]) / 2;
    }

    std::vector<size_t> maxima;
    for (size_t k = 1; k < bins; ++k) {
        if (s.psd[k] > s.psd[k - 1] && (k + 1 == bins || s.psd[k] >= s.psd[k + 1]))
            maxima.push_back(k);
    }
    std::sort(maxima.begin(), maxima.end(),
              [&s](size_t x, size_t y) { return s.psd[x] > s.psd[y]; });
    const double binHz = s.rateHz / a->length;
    std::vector<size_t> taken;
    for (size_t k : maxima) {
        if (taken.size() == 3) break;
        const bool near = std::any_of(taken.begin(), taken.end(), [k](size_t t) {
            return (k > t ? k - t : t - k) <= static_cast<size_t>(kPeakHalfWidth);
        });
        if (near) continue;
        taken.push_back(k);
        double power = 0;
        const size_t from = k > static_cast<size_t>(kPeakHalfWidth) ? k - kPeakHalfWidth : 1;
        const size_t to = std::min(bins - 1, k + kPeakHalfWidth);
        for (size_t j = from; j <= to; ++j) power += s.psd[j] * binHz;
        s.peaks.push_back({s.hz[k], std::sqrt(2 * power)});
    }
    return s;
}

std::optional<Spectrum> WelchOf(std::span<const double> seconds, std::span<const double> psi,
                                int segment, std::string* error, const std::atomic<bool>* cancel) {
    WelchSpectrum welch(segment > 0 ? segment : DefaultSegment(static_cast<long>(psi.size())),
                        cancel);
    for (size_t i = 0; i < psi.size() && i < seconds.size(); ++i) welch.Add(seconds[i], psi[i]);
    return welch.Finish(error);
}

double BandRms(const Spectrum& spectrum, double fromHz, double toHz) {
    if (fromHz > toHz) std::swap(fromHz, toHz);
    if (spectrum.segment == 0) return 0;
    const double binHz = spectrum.rateHz / spectrum.segment;
    double power = 0;
    for (size_t k = 0; k < spectrum.hz.size(); ++k) {
        if (spectrum.hz[k] >= fromHz && spectrum.hz[k] <= toHz) power += spectrum.psd[k] * binHz;
    }
    return std::sqrt(power);
}

std::string SpectrumCsv(const Spectrum& spectrum) {
    std::string text = "hz,psd_psi2_per_hz\n";
    char buffer[64];
    for (size_t k = 0; k < spectrum.hz.size(); ++k) {
        char* end = std::to_chars(buffer, buffer + sizeof buffer, spectrum.hz[k]).ptr;
        *end++ = ',';
        end = std::to_chars(end, buffer + sizeof buffer, spectrum.psd[k]).ptr;
        *end++ = '\n';
        text.append(buffer, end);
    }
    return text;
}

}  // namespace device
