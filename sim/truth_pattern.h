#pragma once

// What the simulated transducer measures, as a function of the seconds since the simulator
// started: the true values a test compares the host's results with.
namespace sim {

// Pressure: 7.5 + 6.5 * sin(2 pi s / 10) PSI, a slow sine between 1 and 14 PSI, inside
// [kPminPsi, kPmaxPsi].
constexpr double kPressureMeanPsi = 7.5;
constexpr double kPressureSwingPsi = 6.5;
constexpr double kPressurePeriodS = 10.0;
// Temperature: 25 + 1.0 * sin(2 pi s / 1200) degrees C, a slow drift: at most 3.3 counts a
// second, so a temperature record up to 2.4 s old stays within kTemperatureCountSlack.
constexpr double kTemperatureMeanC = 25.0;
constexpr double kTemperatureSwingC = 1.0;
constexpr double kTemperaturePeriodS = 1200.0;
// The fastest the temperature moves, degrees C per second (2 pi * swing / period).
constexpr double kMaxDriftCPerSecond = 0.00524;

double TruePressureAt(double seconds);
double TrueTemperatureAt(double seconds);

}  // namespace sim
