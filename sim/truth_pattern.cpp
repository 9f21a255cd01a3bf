#include "sim/truth_pattern.h"

#include <cmath>
#include <numbers>

namespace sim {

double TruePressureAt(double seconds) {
    return kPressureMeanPsi +
           kPressureSwingPsi * std::sin(2 * std::numbers::pi * seconds / kPressurePeriodS);
}

double TrueTemperatureAt(double seconds) {
    return kTemperatureMeanC +
           kTemperatureSwingC * std::sin(2 * std::numbers::pi * seconds / kTemperaturePeriodS);
}

}  // namespace sim
