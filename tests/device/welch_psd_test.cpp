// The Welch spectrum against generated series of known content, and against the textbook
// computation written out with a plain DFT.

#include "device/welch_psd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

struct Series {
    std::vector<double> seconds, psi;
};

// `n` readings at `rate` a second, their spacing jittered by `jitter` of a period; white noise of
// `sigma` and a sine of `amplitude` at `hz` on 14.7 psi.
Series Generated(size_t n, double rate, double sigma, double amplitude = 0, double hz = 0,
                 double jitter = 0, unsigned seed = 11) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    std::uniform_real_distribution<double> wobble(-jitter / 2, jitter / 2);
    Series s;
    for (size_t i = 0; i < n; ++i) {
        const double t = (static_cast<double>(i) + wobble(random)) / rate;
        s.seconds.push_back(t);
        s.psi.push_back(14.7 + amplitude * std::sin(2 * kPi * hz * t + 0.3) +
                        (sigma > 0 ? noise(random) : 0.0));
    }
    return s;
}

device::Spectrum Welch(const Series& s, int segment = 0) {
    std::string error;
    auto spectrum = device::WelchOf(s.seconds, s.psi, segment, &error);
    EXPECT_TRUE(spectrum) << error;
    return spectrum.value_or(device::Spectrum{});
}

TEST(WelchSpectrum, The_default_segment_is_the_longest_that_gives_eight) {
    struct Case {
        long count;
        int segment;
    };
    for (const Case& c : {Case{100, 256}, Case{1151, 256}, Case{1152, 256}, Case{2304, 512},
                          Case{18431, 2048}, Case{18432, 4096}, Case{9'000'000, 4096}}) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(device::DefaultSegment(c.count), c.segment);
        if (c.count >= 1152) {
            EXPECT_GE(device::SegmentCount(c.count, c.segment), 8);
        }
    }
}

TEST(WelchSpectrum, White_noise_gives_its_density_within_ten_percent) {
    for (double sigma : {1e-4, 0.02}) {
        SCOPED_TRACE(sigma);
        const double rate = 150;
        const auto spectrum = Welch(Generated(150 * 120, rate, sigma, 0, 0, 0.2));
        ASSERT_TRUE(spectrum.noiseDensity);
        const double expected = sigma / std::sqrt(rate / 2);
        EXPECT_NEAR(*spectrum.noiseDensity, expected, 0.10 * expected);
        // Parseval: the whole band holds the variance.
        EXPECT_NEAR(device::BandRms(spectrum, 0, rate / 2), sigma, 0.05 * sigma);
    }
}

TEST(WelchSpectrum, A_tone_is_found_within_a_bin_with_its_amplitude_within_five_percent) {
    struct Case {
        double amplitude, hz;
        int segment;
    };
    for (const Case& c : {Case{0.01, 50, 0}, Case{0.002, 60, 1024}, Case{0.05, 12.34, 256},
                          Case{0.001, 71.1, 4096}}) {
        SCOPED_TRACE(c.hz);
        const auto spectrum = Welch(Generated(150 * 180, 150, 1e-4, c.amplitude, c.hz), c.segment);
        ASSERT_FALSE(spectrum.peaks.empty());
        const double bin = spectrum.rateHz / spectrum.segment;
        EXPECT_NEAR(spectrum.peaks.front().hz, c.hz, bin);
        EXPECT_NEAR(spectrum.peaks.front().amplitudePsi, c.amplitude, 0.05 * c.amplitude);
    }
}

TEST(WelchSpectrum, The_three_largest_peaks_come_largest_first) {
    Series s = Generated(150 * 120, 150, 1e-5, 0.01, 50);
    for (size_t i = 0; i < s.psi.size(); ++i) {
        s.psi[i] += 0.004 * std::sin(2 * kPi * 20 * s.seconds[i]) +
                    0.002 * std::sin(2 * kPi * 7 * s.seconds[i]) +
                    0.0005 * std::sin(2 * kPi * 33 * s.seconds[i]);
    }
    const auto spectrum = Welch(s);
    ASSERT_EQ(spectrum.peaks.size(), 3u);
    const double bin = spectrum.rateHz / spectrum.segment;
    EXPECT_NEAR(spectrum.peaks[0].hz, 50, bin);
    EXPECT_NEAR(spectrum.peaks[1].hz, 20, bin);
    EXPECT_NEAR(spectrum.peaks[2].hz, 7, bin);
    EXPECT_NEAR(spectrum.peaks[2].amplitudePsi, 0.002, 0.05 * 0.002);
}

// Welch as the textbook has it: each segment's mean off, a periodic Hann window, a plain DFT,
// |X|² / (fs Σw²) averaged, doubled except at DC and Nyquist.
std::vector<double> PlainWelch(const Series& s, int length, double rate) {
    const size_t hop = length / 2;
    std::vector<double> w(length);
    double power = 0;
    for (int i = 0; i < length; ++i) {
        w[i] = 0.5 - 0.5 * std::cos(2 * kPi * i / length);
        power += w[i] * w[i];
    }
    std::vector<double> psd(length / 2 + 1, 0.0);
    size_t segments = 0;
    for (size_t start = 0; start + length <= s.psi.size(); start += hop, ++segments) {
        double mean = 0;
        for (int i = 0; i < length; ++i) mean += s.psi[start + i];
        mean /= length;
        for (int k = 0; k <= length / 2; ++k) {
            std::complex<double> x = 0;
            for (int i = 0; i < length; ++i) {
                x += (s.psi[start + i] - mean) * w[i] *
                     std::polar(1.0, -2 * kPi * static_cast<double>(k) * i / length);
            }
            psd[k] += std::norm(x) / (rate * power) * (k == 0 || k == length / 2 ? 1 : 2);
        }
    }
    for (double& p : psd) p /= static_cast<double>(segments);
    return psd;
}

TEST(WelchSpectrum, Equals_the_plain_DFT_computation) {
    const Series s = Generated(3000, 149.3, 3e-4, 0.001, 41, 0.5);
    const auto spectrum = Welch(s, 256);
    const double rate = (s.psi.size() - 1) / (s.seconds.back() - s.seconds.front());
    EXPECT_DOUBLE_EQ(spectrum.rateHz, rate);
    const auto expected = PlainWelch(s, 256, rate);
    ASSERT_EQ(spectrum.psd.size(), expected.size());
    EXPECT_EQ(spectrum.segments, device::SegmentCount(3000, 256));
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_NEAR(spectrum.psd[k], expected[k], 1e-9 * expected[k]) << "bin " << k;
        EXPECT_DOUBLE_EQ(spectrum.hz[k], k * rate / 256);
    }
}

TEST(WelchSpectrum, States_the_spread_of_the_spacing) {
    const auto even = Welch(Generated(2000, 150, 1e-4));
    EXPECT_NEAR(even.spacing.meanSeconds, 1 / 150.0, 1e-12);
    EXPECT_NEAR(even.spacing.stdSeconds, 0, 1e-12);
    const auto jittered = Welch(Generated(2000, 150, 1e-4, 0, 0, 0.6));
    // Adjacent times each uniform over 0.6 of a period: spacing spread √2 · 0.6/√12 periods.
    EXPECT_NEAR(jittered.spacing.stdSeconds * 150, std::sqrt(2.0) * 0.6 / std::sqrt(12.0), 0.02);
    EXPECT_LT(jittered.spacing.minSeconds, jittered.spacing.maxSeconds);
}

TEST(WelchSpectrum, Streaming_with_the_length_left_open_equals_the_whole_at_once) {
    const Series s = Generated(5000, 150, 1e-3, 0.01, 30);
    device::WelchSpectrum streaming;
    for (size_t i = 0; i < s.psi.size(); ++i) streaming.Add(s.seconds[i], s.psi[i]);
    std::string error;
    const auto streamed = streaming.Finish(&error);
    ASSERT_TRUE(streamed) << error;
    const auto whole = Welch(s);
    EXPECT_EQ(streamed->segment, 1024);
    EXPECT_EQ(streamed->psd, whole.psd);
}

TEST(WelchSpectrum, Refuses_too_few_readings_no_time_and_a_cancelled_run) {
    std::string error;
    const Series few = Generated(200, 150, 1e-3);
    EXPECT_FALSE(device::WelchOf(few.seconds, few.psi, 0, &error));
    EXPECT_NE(error.find("fewer readings (200)"), std::string::npos) << error;

    const std::vector<double> still(600, 1.0), psi(600, 2.0);
    EXPECT_FALSE(device::WelchOf(still, psi, 256, &error));
    EXPECT_NE(error.find("no time"), std::string::npos) << error;

    const std::atomic<bool> cancel = true;
    const Series s = Generated(3000, 150, 1e-3);
    EXPECT_FALSE(device::WelchOf(s.seconds, s.psi, 256, &error, &cancel));
    EXPECT_EQ(error, "cancelled");
}

TEST(WelchSpectrum, Writes_the_density_as_CSV_that_reads_back_exactly) {
    const auto spectrum = Welch(Generated(2000, 150, 1e-4));
    const std::string csv = device::SpectrumCsv(spectrum);
    ASSERT_EQ(csv.rfind("hz,psd_psi2_per_hz\n", 0), 0u);
    const size_t second = csv.find('\n') + 1;
    const size_t comma = csv.find(',', second);
    const std::string hz = csv.substr(second, comma - second);
    const std::string psd = csv.substr(comma + 1, csv.find('\n', comma) - comma - 1);
    EXPECT_EQ(std::stod(hz), spectrum.hz[0]);
    EXPECT_EQ(std::stod(psd), spectrum.psd[0]);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + static_cast<long>(spectrum.hz.size()));
}

}  // namespace
