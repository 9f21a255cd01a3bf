#pragma once

#include <array>

namespace device {

// Normalised raw counts, rounded to single precision as the formula expects.
float NormalisePressure(long raw);     // raw / 16777215
float NormaliseTemperature(long raw);  // raw / 65535

// Pressure in PSI from the 37 coefficients (A, a1..a6, b1..b6, c1..c6, d1..d6, e1..e6,
// fa1..fa6), the normalised pressure P and temperature T, in double precision:
// Rj = bj*T + aj + cj*T^2 + dj*T^3 + ej*T^4 + faj*T^5, p = R6*P^6 + ... + R1*P + A, in that
// order, powers by pow(). The order and the float inputs are part of the result.
double CalculatePressure(const std::array<float, 37>& coefficients, float pressure,
                         float temperature);

}  // namespace device
