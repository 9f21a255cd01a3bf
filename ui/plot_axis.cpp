#include "ui/plot_axis.h"

#include <algorithm>
#include <cmath>

namespace ui {
namespace {

// The smallest round step that cuts `span` into at most `parts` parts.
double RoundStep(double span, int parts, int* decimals) {
    const double raw = span / std::max(parts, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    int exponent = static_cast<int>(std::floor(std::log10(raw)));
    for (double mantissa : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        const double step = mantissa * power;
        if (step >= raw * (1 - 1e-9)) {
            if (mantissa == 10.0) ++exponent;
            *decimals = std::max(0, -exponent + (mantissa == 2.5 ? 1 : 0));
            return step;
        }
    }
    *decimals = std::max(0, -exponent);
    return 10 * power;
}

}  // namespace

QString AxisTicks::Label(double value) const {
    if (std::fabs(value) < step * 1e-6) value = 0;  // no "-0.0"
    return QString::number(value, 'f', decimals);
}

AxisTicks CoveringTicks(double low, double high, int maxTicks) {
    if (!(high > low)) {
        const double pad = std::max(std::fabs(low) * 1e-3, 1e-3);
        low -= pad;
        high += pad;
    }
    AxisTicks ticks;
    for (int parts = std::max(maxTicks - 1, 1);; --parts) {
        ticks.step = RoundStep(high - low, parts, &ticks.decimals);
        ticks.first = std::floor(low / ticks.step + 1e-9) * ticks.step;
        ticks.last = std::ceil(high / ticks.step - 1e-9) * ticks.step;
        // Rounding both ends outwards can add a part: then try a coarser step.
        if (std::lround((ticks.last - ticks.first) / ticks.step) + 1 <= std::max(maxTicks, 2) ||
            parts == 1) {
            break;
        }
    }
    return ticks;
}

AxisTicks InsideTicks(double low, double high, int maxTicks) {
    AxisTicks ticks;
    if (!(high > low)) high = low + 1;
    ticks.step = RoundStep(high - low, std::max(maxTicks - 1, 1), &ticks.decimals);
    ticks.first = std::ceil(low / ticks.step - 1e-9) * ticks.step;
    ticks.last = std::floor(high / ticks.step + 1e-9) * ticks.step;
    return ticks;
}

}  // namespace ui
