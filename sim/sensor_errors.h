#pragma once

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// What the simulated sensor gets wrong on purpose. The pressure its counts encode (the host's
// formula gives it back, see sim/calibration.h) is, with p the true pressure, x = (p - Pmin) /
// (Pmax - Pmin), s the seconds since the simulator started:
//   Pmin + G (p - Pmin) + O + N 4x(1 - x) + h + D s / 3600 + A sin(2 pi F s) + n
// h is +H/2 after the true pressure last rose by more than 0.01 PSI, -H/2 after it last fell
// by more than that, 0 before it first moved that far; n is white Gaussian noise of deviation
// sigma. Everything is off by default.
namespace sim {

struct SensorErrors {
    std::optional<double> pressurePsi;  // a constant true pressure instead of the sine
    double noisePsi = 0;                // sigma of n
    double offsetPsi = 0;               // O
    double gain = 1;                    // G
    double nonlinearityPsi = 0;         // N, the bow's height at mid-scale
    double hysteresisPsi = 0;           // H
    double driftPsiPerHour = 0;         // D
    double tonePsi = 0;                 // A
    double toneHz = 0;                  // F
};

// A move of the true pressure beyond this from its last extreme sets the hysteresis direction.
constexpr double kHysteresisMovePsi = 0.01;

// The sensor's reading from the true pressure, in time order: it keeps the direction the true
// pressure last moved in and the noise generator, seeded with `seed`.
class SensorModel {
public:
    SensorModel(const SensorErrors& errors, unsigned seed);

    double Reading(double truePsi, double seconds);
    // +1 after a rise, -1 after a fall, 0 before the first move (as of the last Reading).
    int Direction() const { return m_direction; }

private:
    SensorErrors m_errors;
    std::mt19937_64 m_random;
    std::normal_distribution<double> m_noise;
    bool m_started = false;
    int m_direction = 0;
    double m_extreme = 0;  // the highest since the last rise, the lowest since the last fall
};

// The reading without noise, for a known direction: the formula above with n = 0.
double SystematicReading(const SensorErrors& errors, double truePsi, int direction, double seconds);

// The command-line options that set SensorErrors, shared by zel-sim, zelctl and zel-demo:
// "--NAME VALUE" each, described by `help` (which states the formula).
struct SensorOption {
    const char* name;   // without the leading "--"
    const char* value;  // the value's name in usage texts
    const char* help;
};
const std::vector<SensorOption>& SensorOptions();
// Sets the option `name` (without "--") from `value`; false with `error` a sentence naming the
// option when the value is not a number in its range.
bool SetSensorOption(std::string_view name, std::string_view value, SensorErrors* errors,
                     std::string* error);
// Errors between options: a tone needs both its amplitude and its frequency.
bool CheckSensorErrors(const SensorErrors& errors, std::string* error);

}  // namespace sim
