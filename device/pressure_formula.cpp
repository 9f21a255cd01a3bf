#include "device/pressure_formula.h"

#include <cmath>

namespace device {

float NormalisePressure(long raw) {
    return static_cast<float>(static_cast<double>(raw) * (1.0 / 16777215.0));
}

float NormaliseTemperature(long raw) {
    return static_cast<float>(static_cast<double>(raw) * (1.0 / 65535.0));
}

double CalculatePressure(const std::array<float, 37>& c, float pressure, float temperature) {
    const double t = temperature;
    const double p = pressure;
    double r[7] = {};
    for (int j = 1; j <= 6; ++j) {
        const double a = c[j];
        const double b = c[6 + j];
        const double cc = c[12 + j];
        const double d = c[18 + j];
        const double e = c[24 + j];
        const double f = c[30 + j];
        r[j] = b * t + a + cc * std::pow(t, 2) + d * std::pow(t, 3) + e * std::pow(t, 4) +
               f * std::pow(t, 5);
    }
    return r[6] * std::pow(p, 6) + r[5] * std::pow(p, 5) + r[4] * std::pow(p, 4) +
           r[3] * std::pow(p, 3) + r[2] * std::pow(p, 2) + r[1] * p + static_cast<double>(c[0]);
}

}  // namespace device
