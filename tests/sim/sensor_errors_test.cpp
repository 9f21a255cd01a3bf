#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "device/pressure_formula.h"
#include "sim/calibration.h"
#include "sim/transducer.h"

namespace {

// A transducer without I/O, asked for single records at chosen seconds since its start.
class Sensor {
public:
    explicit Sensor(sim::Options options) : m_transducer(options, 0.0) {}

    // The host's PSI, through the program's own formula, for a P record at `seconds`.
    double HostPsi(double seconds) {
        const uint32_t rawT = Raw("*01C1", seconds);
        const uint32_t rawP = Raw("*01C3", seconds);
        return device::CalculatePressure(sim::DefaultCoefficients(),
                                         device::NormalisePressure(rawP),
                                         device::NormaliseTemperature(rawT));
    }

private:
    uint32_t Raw(const std::string& frame, double seconds) {
        std::vector<sim::Output> out;
        m_transducer.HandleFrame(frame, seconds, &out);
        EXPECT_EQ(out.size(), 1u);
        return out.empty() ? 0 : out[0].reading.raw;
    }

    sim::Transducer m_transducer;
};

sim::Options WithErrors(const sim::SensorErrors& errors) {
    sim::Options options;
    options.errors = errors;
    return options;
}

// The reading as zel-sim --help states it, without hysteresis and noise.
double Stated(const sim::SensorErrors& e, double p, double s) {
    const double x = (p - 0.0) / (15.0 - 0.0);
    return 0.0 + e.gain * (p - 0.0) + e.offsetPsi + e.nonlinearityPsi * 4 * x * (1 - x) +
           e.driftPsiPerHour * s / 3600 + e.tonePsi * std::sin(2 * std::numbers::pi * e.toneHz * s);
}

TEST(SensorErrors, The_host_formula_gives_the_stated_reading_for_each_error) {
    struct Case {
        const char* name;
        sim::SensorErrors errors;
        double seconds;
    };
    auto errors = [](auto set) {
        sim::SensorErrors e;
        set(e);
        return e;
    };
    const std::vector<Case> cases = {
        {"none", {}, 3.0},
        {"offset", errors([](auto& e) { e.offsetPsi = -0.0375; }), 1.0},
        {"gain", errors([](auto& e) { e.gain = 1.002; }), 1.0},
        {"bow", errors([](auto& e) { e.nonlinearityPsi = 0.05; }), 1.0},
        {"drift", errors([](auto& e) { e.driftPsiPerHour = 0.02; }), 1800.0},
        {"tone", errors([](auto& e) { e.tonePsi = 0.01, e.toneHz = 50; }), 0.1234},
        {"all", errors([](auto& e) {
             e.offsetPsi = 0.01, e.gain = 0.999, e.nonlinearityPsi = -0.03;
             e.driftPsiPerHour = -0.5, e.tonePsi = 0.002, e.toneHz = 60;
         }),
         77.7},
    };
    for (const Case& c : cases) {
        for (double p : {0.0, 2.5, 7.5, 11.0, 15.0}) {
            sim::SensorErrors e = c.errors;
            e.pressurePsi = p;
            Sensor sensor(WithErrors(e));
            // Within a 24-bit count and the float rounding of the normalised pressure.
            EXPECT_NEAR(sensor.HostPsi(c.seconds), Stated(e, p, c.seconds), 7e-7)
                << c.name << " at " << p << " PSI";
        }
    }
}

TEST(SensorErrors, Readings_below_zero_and_above_the_range_are_encoded_exactly_too) {
    for (double reading : {-0.05, 15.05}) {
        sim::SensorErrors e;
        e.pressurePsi = reading < 0 ? 0.0 : 15.0;
        e.offsetPsi = reading - *e.pressurePsi;
        EXPECT_NEAR(Sensor(WithErrors(e)).HostPsi(1.0), reading, 7e-7);
    }
}

TEST(SensorErrors, Noise_has_the_given_deviation_and_repeats_with_its_seed) {
    auto readings = [](unsigned seed) {
        sim::Options options;
        options.errors.pressurePsi = 7.5;
        options.errors.noisePsi = 0.002;
        options.seed = seed;
        Sensor sensor(options);
        std::vector<double> psi;
        for (int i = 0; i < 20000; ++i) psi.push_back(sensor.HostPsi(i / 150.0));
        return psi;
    };
    const std::vector<double> psi = readings(5);
    double mean = 0;
    for (double v : psi) mean += v / psi.size();
    double sum = 0;
    for (double v : psi) sum += (v - mean) * (v - mean);
    const double sigma = std::sqrt(sum / (psi.size() - 1));
    EXPECT_NEAR(sigma, 0.002, 0.002 * 0.03);
    EXPECT_NEAR(mean, 7.5, 5 * 0.002 / std::sqrt(psi.size()));
    EXPECT_EQ(readings(5), psi);
    EXPECT_NE(readings(6), psi);
}

TEST(SensorErrors, Hysteresis_follows_the_direction_the_truth_last_moved_beyond_a_hundredth) {
    double truth = 5.0;
    sim::Options options;
    options.errors.hysteresisPsi = 0.02;
    options.truePressure = [&truth](double) { return truth; };
    Sensor sensor(options);
    struct Step {
        double truth;
        double half;  // expected sign of the H/2 term
    };
    const std::vector<Step> steps = {
        {5.0, 0},    {5.009, 0}, {6.0, +1},   {6.5, +1},  {6.495, +1},
        {6.489, -1}, {3.0, -1},  {3.008, -1}, {3.02, +1}, {15.0, +1},
    };
    for (const Step& step : steps) {
        truth = step.truth;
        EXPECT_NEAR(sensor.HostPsi(1.0), truth + step.half * 0.01, 7e-7) << "at " << truth;
    }
}

}  // namespace
