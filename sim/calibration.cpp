#include "sim/calibration.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// A span of about 18.75 PSI over the normalised pressure with an offset (0 PSI near P = 0.1,
// 15 PSI near P = 0.9), a mild curvature and a modest temperature dependence in every term, so
// that each of the 37 rows matters.
constexpr std::array<float, 37> kCoefficients = {
    -1.875f,                                                              // A
    18.75f,   0.62f,     -0.41f,    0.153f,     -0.052f,    0.011f,       // a1..a6
    0.025f,   -0.011f,   0.0047f,   -0.0021f,   0.00083f,   -0.00021f,    // b1..b6
    -0.015f,  0.0052f,   -0.0023f,  0.00097f,   -0.00041f,  0.00012f,     // c1..c6
    0.0061f,  -0.0024f,  0.00105f,  -0.00047f,  0.00019f,   -0.000061f,   // d1..d6
    -0.0022f, 0.00091f,  -0.00044f, 0.00018f,   -0.000072f, 0.000023f,    // e1..e6
    0.00071f, -0.00032f, 0.00013f,  -0.000056f, 0.000021f,  -0.0000074f,  // fa1..fa6
};

// R1..R6 at normalised temperature t, each summed bj*T + aj + cj*T^2 + ... left to right.
std::array<double, 7> Terms(const std::array<float, 37>& c, double t) {
    std::array<double, 7> r{};
    for (int j = 1; j <= 6; ++j) {
        r[j] = static_cast<double>(c[6 + j]) * t + static_cast<double>(c[j]) +
               static_cast<double>(c[12 + j]) * std::pow(t, 2) +
               static_cast<double>(c[18 + j]) * std::pow(t, 3) +
               static_cast<double>(c[24 + j]) * std::pow(t, 4) +
               static_cast<double>(c[30 + j]) * std::pow(t, 5);
    }
    return r;
}

// The host's polynomial with P kept in double: the function the sensor inverts.
double Evaluate(const std::array<float, 37>& c, double p, double t) {
    const auto r = Terms(c, t);
    return r[6] * std::pow(p, 6) + r[5] * std::pow(p, 5) + r[4] * std::pow(p, 4) +
           r[3] * std::pow(p, 3) + r[2] * std::pow(p, 2) + r[1] * p + static_cast<double>(c[0]);
}

double Slope(const std::array<float, 37>& c, double p, double t) {
    const auto r = Terms(c, t);
    double slope = 0;
    for (int j = 1; j <= 6; ++j) slope += j * r[j] * std::pow(p, j - 1);
    return slope;
}

float NormalisedTemperature(uint32_t rawTemperature) {
    return static_cast<float>(rawTemperature * (1.0 / kRawTemperatureFullScale));
}

}  // namespace

std::array<float, 37> DefaultCoefficients() {
    return kCoefficients;
}

double HostPressure(const std::array<float, 37>& c, uint32_t rawPressure, uint32_t rawTemperature) {
    const float p = static_cast<float>(rawPressure * (1.0 / kRawPressureFullScale));
    const float t = NormalisedTemperature(rawTemperature);
    return Evaluate(c, p, t);
}

uint32_t RawTemperatureFor(double celsius) {
    const double x = (celsius - kTminC) / (kTmaxC - kTminC) * kRawTemperatureFullScale;
    return static_cast<uint32_t>(std::lround(std::clamp(x, 0.0, 65535.0)));
}

double CelsiusForRaw(uint32_t rawTemperature) {
    return kTminC + rawTemperature * (kTmaxC - kTminC) / kRawTemperatureFullScale;
}

uint32_t RawPressureFor(double psi, double celsius) {
    // Inverts at the temperature the host will see: the quantised count, as float.
    const double t = NormalisedTemperature(RawTemperatureFor(celsius));
    const auto& c = kCoefficients;
    double p = (psi - c[0]) / c[1];
    for (int i = 0; i < 30; ++i) {
        const double step = (Evaluate(c, p, t) - psi) / Slope(c, p, t);
        p = std::clamp(p - step, 0.0, 1.0);
        if (std::fabs(step) < 1e-12) break;
    }
    // Newton lands within a count; the host's float rounding decides between neighbours.
    const uint32_t rawT = RawTemperatureFor(celsius);
    const long centre = std::lround(p * kRawPressureFullScale);
    long best = std::clamp(centre, 0L, static_cast<long>(kRawPressureFullScale));
    double bestError = std::fabs(HostPressure(c, static_cast<uint32_t>(best), rawT) - psi);
    for (long raw = centre - 2; raw <= centre + 2; ++raw) {
        if (raw < 0 || raw > static_cast<long>(kRawPressureFullScale)) continue;
        const double error = std::fabs(HostPressure(c, static_cast<uint32_t>(raw), rawT) - psi);
        if (error < bestError) {
            best = raw;
            bestError = error;
        }
    }
    return static_cast<uint32_t>(best);
}

}  // namespace sim
