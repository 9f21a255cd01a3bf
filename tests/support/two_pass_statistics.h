#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "device/reading_statistics.h"

// Readings to check the statistics with, and the figures worked out the plain way: a first pass
// for the means, a second for the deviations, all in long double.
namespace test_stats {

// 150 readings a second: a slow swing and drift of the pressure with a noise of 1e-4 psi, counts
// near 8e6 with a noise of 30, and at the half a step of 50 psi (a pressure set anew). Through
// the "%f" texts, as they are written.
inline std::vector<device::StatsReading> DayLikeSeries(size_t n, unsigned seed = 7) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<device::StatsReading> series;
    series.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 150.0;
        const double step = i >= n / 2 ? 1.0 : 0.0;
        device::Reading r;
        r.psi = 14.7 + 50.0 * step + 0.002 * std::sin(t / 600.0) + 1e-6 * t + 1e-4 * noise(random);
        r.rawPressure =
            std::lround(8e6 + 2.5e6 * step + 1e3 * std::sin(t / 600.0) + 30.0 * noise(random));
        r.rawTemperature = std::lround(28000.0 + 40.0 * std::sin(t / 900.0));
        const auto jitter = std::chrono::nanoseconds(std::lround(2e5 * noise(random)));
        series.push_back(device::AsWritten(r, std::chrono::nanoseconds(std::llround(t * 1e9)) +
                                                  std::chrono::milliseconds(5) + jitter));
    }
    // The jitter must not put a reading before the one before it.
    for (size_t i = 1; i < n; ++i)
        series[i].micros = std::max(*series[i].micros, *series[i - 1].micros);
    return series;
}

// A few thousand readings built from integer patterns, no randomness.
inline std::vector<device::StatsReading> ConstructedSeries() {
    std::vector<device::StatsReading> series;
    for (long i = 0; i < 5000; ++i) {
        const device::Reading r{14.7 + static_cast<double>((i * 7919) % 201 - 100) * 1e-6,
                                8'000'000 + (i * 31) % 101 - 50, 28000 + i % 3};
        series.push_back(device::AsWritten(r, std::chrono::microseconds(i * 6667)));
    }
    return series;
}

inline device::Figures TwoPassFigures(std::span<const device::StatsReading> readings,
                                      bool withAllan) {
    device::Figures f;
    f.count = static_cast<long long>(readings.size());
    std::vector<long double> psi, counts, temperature;
    std::vector<int64_t> micros;
    for (const auto& r : readings) {
        if (std::isfinite(r.psi)) psi.push_back(r.psi);
        if (r.raw) {
            counts.push_back(r.raw->pressure);
            temperature.push_back(r.raw->temperature);
        }
        if (r.micros) micros.push_back(*r.micros);
    }
    auto mean = [](const std::vector<long double>& v) {
        long double sum = 0;
        for (long double x : v) sum += x;
        return sum / static_cast<long double>(v.size());
    };
    auto sampleStd = [&mean](const std::vector<long double>& v) -> std::optional<double> {
        if (v.size() < 2) return std::nullopt;
        const long double m = mean(v);
        long double squares = 0;
        for (long double x : v) squares += (x - m) * (x - m);
        return static_cast<double>(std::sqrt(squares / static_cast<long double>(v.size() - 1)));
    };
    if (!psi.empty()) {
        f.meanPsi = static_cast<double>(mean(psi));
        f.stdPsi = sampleStd(psi);
        f.minPsi = static_cast<double>(*std::min_element(psi.begin(), psi.end()));
        f.maxPsi = static_cast<double>(*std::max_element(psi.begin(), psi.end()));
        f.ppPsi = *f.maxPsi - *f.minPsi;
    }
    if (!counts.empty()) {
        f.stdCounts = sampleStd(counts);
        f.ppCounts = static_cast<double>(*std::max_element(counts.begin(), counts.end()) -
                                         *std::min_element(counts.begin(), counts.end()));
        f.meanRawTemperature = static_cast<double>(mean(temperature));
        if (*f.stdCounts > 0) f.effectiveBits = std::log2(16777215.0 / *f.stdCounts);
        if (*f.ppCounts > 0) f.noiseFreeBits = std::log2(16777215.0 / *f.ppCounts);
    }
    if (micros.size() >= 2 && micros.back() > micros.front()) {
        f.ratePerSecond = static_cast<double>(micros.size() - 1) /
                          (static_cast<double>(micros.back() - micros.front()) / 1e6);
    }
    if (!withAllan) return f;
    f.hasAllan = true;
    for (size_t t = 0; t < device::kAllanTauMicros.size(); ++t) {
        std::map<int64_t, std::vector<long double>> blocks;
        for (const auto& r : readings) {
            if (r.micros && std::isfinite(r.psi))
                blocks[*r.micros / device::kAllanTauMicros[t]].push_back(r.psi);
        }
        long double squares = 0;
        long pairs = 0;
        for (const auto& [k, values] : blocks) {
            const auto next = blocks.find(k + 1);
            if (next == blocks.end()) continue;
            const long double d = mean(next->second) - mean(values);
            squares += d * d;
            ++pairs;
        }
        if (pairs > 0) f.allanPsi[t] = static_cast<double>(std::sqrt(squares / (2.0L * pairs)));
    }
    return f;
}

inline void ExpectSameFigure(const char* name, std::optional<double> actual,
                             std::optional<double> expected, double relative = 1e-9) {
    ASSERT_EQ(actual.has_value(), expected.has_value()) << name;
    if (expected) {
        EXPECT_NEAR(*actual, *expected, std::fabs(*expected) * relative) << name;
    }
}

inline void ExpectSameFigures(const device::Figures& a, const device::Figures& e) {
    EXPECT_EQ(a.count, e.count);
    ExpectSameFigure("mean", a.meanPsi, e.meanPsi);
    ExpectSameFigure("std", a.stdPsi, e.stdPsi);
    ExpectSameFigure("min", a.minPsi, e.minPsi, 0);
    ExpectSameFigure("max", a.maxPsi, e.maxPsi, 0);
    ExpectSameFigure("pp", a.ppPsi, e.ppPsi);
    ExpectSameFigure("std counts", a.stdCounts, e.stdCounts);
    ExpectSameFigure("pp counts", a.ppCounts, e.ppCounts, 0);
    ExpectSameFigure("effective bits", a.effectiveBits, e.effectiveBits);
    ExpectSameFigure("noise-free bits", a.noiseFreeBits, e.noiseFreeBits);
    ExpectSameFigure("rate", a.ratePerSecond, e.ratePerSecond);
    ExpectSameFigure("mean raw T", a.meanRawTemperature, e.meanRawTemperature);
    EXPECT_EQ(a.hasAllan, e.hasAllan);
    for (size_t t = 0; t < a.allanPsi.size(); ++t)
        ExpectSameFigure("Allan", a.allanPsi[t], e.allanPsi[t]);
}

}  // namespace test_stats
