#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "sim/simulator.h"

namespace {

float BigEndianFloat(const std::array<uint8_t, 256>& image, int address) {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word = word << 8 | image[address + i];
    return std::bit_cast<float>(word);
}

std::string Fixed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

TEST(HostFormula, Normalises_in_single_precision_like_the_host) {
    // A = 1.5, a1 = 100, b1 = 10: in double P and T the result would be 54.000041.
    std::array<float, 37> c{};
    c[0] = 1.5f;
    c[1] = 100.0f;
    c[7] = 10.0f;
    EXPECT_EQ(Fixed(sim::HostPressure(c, 8388608, 32768)), "54.000044");
}

TEST(HostFormula, Uses_every_term_of_every_coefficient_row) {
    const auto base = sim::DefaultCoefficients();
    const double reference = sim::HostPressure(base, 9000000, 30000);
    for (int k = 0; k < 37; ++k) {
        auto changed = base;
        changed[k] += 1.0f;
        EXPECT_NE(sim::HostPressure(changed, 9000000, 30000), reference) << "row " << k;
    }
}

// The worst error over the whole range, also with the host's raw temperature a few counts off.
double WorstInversionError(int temperatureOffset) {
    const auto c = sim::DefaultCoefficients();
    double worst = 0;
    auto check = [&](double p, double t) {
        const long rawT = static_cast<long>(sim::RawTemperatureFor(t)) + temperatureOffset;
        if (rawT < 0 || rawT > 65535) return;
        const double got =
            sim::HostPressure(c, sim::RawPressureFor(p, t), static_cast<uint32_t>(rawT));
        worst = std::max(worst, std::fabs(got - p));
    };
    for (double t = sim::kTminC; t <= sim::kTmaxC; t += 2.5) {
        for (double p = sim::kPminPsi; p <= sim::kPmaxPsi; p += 0.125) check(p, t);
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<double> pressure(sim::kPminPsi, sim::kPmaxPsi);
    std::uniform_real_distribution<double> temperature(sim::kTminC, sim::kTmaxC);
    for (int i = 0; i < 20000; ++i) check(pressure(random), temperature(random));
    return worst;
}

TEST(Sensor, Inverts_the_calibration_within_the_stated_error_over_the_whole_range) {
    for (int offset : {0, -sim::kTemperatureCountSlack, sim::kTemperatureCountSlack}) {
        const double worst = WorstInversionError(offset);
        EXPECT_LE(worst, sim::kStatedErrorPsi) << "temperature counts off: " << offset;
        std::printf("worst inversion error, temperature %+d counts: %.3g PSI (stated %.3g)\n",
                    offset, worst, sim::kStatedErrorPsi);
    }
}

TEST(Sensor, Depends_on_temperature_modestly_and_within_the_stated_slope) {
    const auto c = sim::DefaultCoefficients();
    const uint32_t raw = sim::RawPressureFor(7.5, 25.0);
    const double at25 = sim::HostPressure(c, raw, sim::RawTemperatureFor(25.0));
    const double at35 = sim::HostPressure(c, raw, sim::RawTemperatureFor(35.0));
    EXPECT_GT(std::fabs(at35 - at25), 100 * sim::kStatedErrorPsi);
    EXPECT_LE(std::fabs(at35 - at25), 10 * sim::kMaxPsiPerCelsius);
}

TEST(EepromImage, Rows_0_to_36_hold_the_coefficients_big_endian) {
    const auto image = sim::DefaultEeprom();
    const auto c = sim::DefaultCoefficients();
    for (int row = 0; row < 37; ++row) EXPECT_EQ(BigEndianFloat(image, 4 * row), c[row]) << row;
}

TEST(EepromImage, Identity_rows_are_plausible_and_unused_rows_blank) {
    const auto image = sim::DefaultEeprom();
    EXPECT_EQ(BigEndianFloat(image, 0x94), 15.0f);  // FS
    EXPECT_EQ(static_cast<int8_t>(image[0x98]), -20);
    EXPECT_EQ(static_cast<int8_t>(image[0x99]), 85);
    EXPECT_EQ(BigEndianFloat(image, 0x9C), static_cast<float>(sim::kPminPsi));
    EXPECT_EQ(BigEndianFloat(image, 0xA0), static_cast<float>(sim::kPmaxPsi));
    unsigned sum = 0;
    for (int a = 0; a < 0xB4; ++a) sum += image[a];
    EXPECT_EQ(image[0xB4] << 8 | image[0xB5], static_cast<int>(sum & 0xFFFF));
    EXPECT_EQ((sum + image[0xB6]) & 0xFF, 0u);
    for (int a = 0xB8; a < 256; ++a) EXPECT_EQ(image[a], 0xFF) << a;
}

}  // namespace
