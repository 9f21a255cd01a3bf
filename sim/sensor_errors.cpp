#include "sim/sensor_errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "sim/calibration.h"

namespace sim {

SensorModel::SensorModel(const SensorErrors& errors, unsigned seed)
    : m_errors(errors), m_random(seed), m_noise(0.0, errors.noisePsi > 0 ? errors.noisePsi : 1.0) {}

double SensorModel::Reading(double truePsi, double seconds) {
    if (!m_started) {
        m_started = true;
        m_extreme = truePsi;
    }
    if (m_direction > 0) m_extreme = std::max(m_extreme, truePsi);
    if (m_direction < 0) m_extreme = std::min(m_extreme, truePsi);
    if (m_direction <= 0 && truePsi > m_extreme + kHysteresisMovePsi) {
        m_direction = 1;
        m_extreme = truePsi;
    } else if (m_direction >= 0 && truePsi < m_extreme - kHysteresisMovePsi) {
        m_direction = -1;
        m_extreme = truePsi;
    }
    double reading = SystematicReading(m_errors, truePsi, m_direction, seconds);
    if (m_errors.noisePsi > 0) reading += m_noise(m_random);
    return reading;
}

double SystematicReading(const SensorErrors& e, double truePsi, int direction, double seconds) {
    const double x = (truePsi - kPminPsi) / (kPmaxPsi - kPminPsi);
    double reading = kPminPsi + e.gain * (truePsi - kPminPsi) + e.offsetPsi;
    reading += e.nonlinearityPsi * 4 * x * (1 - x);
    reading += direction * e.hysteresisPsi / 2;
    reading += e.driftPsiPerHour * seconds / 3600;
    if (e.tonePsi != 0) {
        reading += e.tonePsi * std::sin(2 * std::numbers::pi * e.toneHz * seconds);
    }
    return reading;
}

namespace {

struct Range {
    double min, max;
    bool openMin;  // min itself refused
};

struct OptionSpec {
    SensorOption option;
    double SensorErrors::*field;  // nullptr: pressurePsi
    Range range;
};

const std::vector<OptionSpec>& Specs() {
    static const std::vector<OptionSpec> specs = {
        {{"pressure", "PSI", "hold the true pressure at PSI (0 to 15) instead of the sine"},
         nullptr,
         {kPminPsi, kPmaxPsi, false}},
        {{"noise-psi", "SIGMA",
          "add white Gaussian noise of deviation SIGMA PSI to each reading (seeded by --seed)"},
         &SensorErrors::noisePsi,
         {0, 15, false}},
        {{"offset-psi", "O", "add O PSI to each reading"},
         &SensorErrors::offsetPsi,
         {-15, 15, false}},
        {{"gain", "G", "reading = Pmin + G (true - Pmin) + O, Pmin = 0 PSI (G above 0, to 10)"},
         &SensorErrors::gain,
         {0, 10, true}},
        {{"nonlinearity-psi", "N",
          "add the bow N 4x(1 - x), x = (true - Pmin) / (Pmax - Pmin): 0 at 0 and 15 PSI, N at "
          "7.5 PSI"},
         &SensorErrors::nonlinearityPsi,
         {-15, 15, false}},
        {{"hysteresis-psi", "H",
          "add +H/2 after the true pressure last rose by more than 0.01 PSI (from its lowest "
          "since it fell), -H/2 after it last fell by more than 0.01 PSI (from its highest since "
          "it rose), 0 before it first moved that far"},
         &SensorErrors::hysteresisPsi,
         {0, 15, false}},
        {{"drift-psi-per-hour", "D", "add D s / 3600 PSI, s the seconds since start"},
         &SensorErrors::driftPsiPerHour,
         {-1000, 1000, false}},
        {{"tone-psi", "A", "add A sin(2 pi F s) PSI, F from --tone-hz, s the seconds since start"},
         &SensorErrors::tonePsi,
         {0, 15, false}},
        {{"tone-hz", "F", "the tone's frequency in Hz (above 0, to 100000)"},
         &SensorErrors::toneHz,
         {0, 100000, true}},
    };
    return specs;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

const std::vector<SensorOption>& SensorOptions() {
    static const std::vector<SensorOption> options = [] {
        std::vector<SensorOption> list;
        for (const OptionSpec& spec : Specs()) list.push_back(spec.option);
        return list;
    }();
    return options;
}

bool SetSensorOption(std::string_view name, std::string_view value, SensorErrors* errors,
                     std::string* error) {
    for (const OptionSpec& spec : Specs()) {
        if (name != spec.option.name) continue;
        double number = 0;
        const auto result = std::from_chars(value.data(), value.data() + value.size(), number);
        const Range& r = spec.range;
        const bool ok = !value.empty() && result.ec == std::errc() &&
                        result.ptr == value.data() + value.size() && std::isfinite(number) &&
                        (r.openMin ? number > r.min : number >= r.min) && number <= r.max;
        if (!ok) {
            *error = std::string("--") + spec.option.name + " needs a number " +
                     (r.openMin ? "above " : "from ") + Number(r.min) + " to " + Number(r.max);
            return false;
        }
        if (spec.field) {
            errors->*spec.field = number;
        } else {
            errors->pressurePsi = number;
        }
        return true;
    }
    *error = "unknown option --" + std::string(name);
    return false;
}

bool CheckSensorErrors(const SensorErrors& errors, std::string* error) {
    if (errors.tonePsi != 0 && errors.toneHz == 0) {
        *error = "--tone-psi needs --tone-hz";
        return false;
    }
    return true;
}

}  // namespace sim
