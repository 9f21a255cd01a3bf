#pragma once

#include <array>
#include <cstdint>

// The simulated sensor's calibration: the coefficients stored in the EEPROM, the host's formula
// that uses them, and the sensor model that is its exact inverse.
namespace sim {

constexpr double kPminPsi = 0.0;
constexpr double kPmaxPsi = 15.0;
// Operating range: raw temperature 0 .. 65535 spans it linearly.
constexpr double kTminC = -20.0;
constexpr double kTmaxC = 85.0;

constexpr uint32_t kRawPressureFullScale = 16777215;  // 24-bit count
constexpr uint32_t kRawTemperatureFullScale = 65535;  // 16-bit count

// A host's temperature record may be a little older than the pressure record it converts; the
// stated error allows for a raw temperature this many counts off the sensor's own.
constexpr int kTemperatureCountSlack = 8;
// Bound on |HostPressure(RawPressureFor(p, t), RawTemperatureFor(t) +- kTemperatureCountSlack)
// - p| in PSI, for p in [kPminPsi, kPmaxPsi] and t in [kTminC, kTmaxC]: half a 24-bit count plus
// the float rounding of the normalised pressure (8e-7 measured over a fine grid), and the
// temperature counts' slack (2.5e-6 measured). Leaves room for the host's "%f" rounding (5e-7).
constexpr double kStatedErrorPsi = 5e-6;
// Bound on |dp/dt| of the calibration at constant raw pressure, PSI per degree C (1.5e-4
// measured): a modest temperature dependence, yet a host using the wrong temperature is off by
// far more than kStatedErrorPsi.
constexpr double kMaxPsiPerCelsius = 2e-4;

// A1..fa6 in EEPROM row order: 0 "A", 1-6 a1..a6, 7-12 b1..b6, 13-18 c1..c6, 19-24 d1..d6,
// 25-30 e1..e6, 31-36 fa1..fa6.
std::array<float, 37> DefaultCoefficients();

// The host's formula, reproduced exactly: P = raw * (1 / 16777215) and T = raw * (1 / 65535),
// each stored as float; Rj = bj*T + aj + cj*T^2 + dj*T^3 + ej*T^4 + faj*T^5 and
// p = R6*P^6 + ... + R1*P + A, in double, left to right, powers by pow().
double HostPressure(const std::array<float, 37>& c, uint32_t rawPressure, uint32_t rawTemperature);

// The sensor: the 16-bit count for a temperature, and the 24-bit count for a pressure at that
// temperature, chosen so that HostPressure with the default coefficients gives `psi` back within
// kStatedErrorPsi. Out-of-range inputs clamp to the counts' ends.
uint32_t RawTemperatureFor(double celsius);
uint32_t RawPressureFor(double psi, double celsius);
double CelsiusForRaw(uint32_t rawTemperature);

}  // namespace sim
