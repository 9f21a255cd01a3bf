#include "ui/marker_figures.h"

#include <algorithm>
#include <cmath>

#include "device/c_numbers.h"

namespace ui {

std::vector<FigureRow> MarkerFigures(const std::vector<device::TimedReading>& readings) {
    const size_t n = readings.size();
    auto psi = [](double value) { return device::FormatFixed6(value) + " PSI"; };
    const std::string none = "–";
    if (n == 0) {
        return {{"Readings", "0"}, {"Δt", none},      {"ΔP", none},      {"Mean", none},
                {"Std dev", none}, {"Minimum", none}, {"Maximum", none}, {"Peak-to-peak", none}};
    }
    double sum = 0, low = readings.front().WrittenPsi(), high = low;
    for (const device::TimedReading& r : readings) {
        const double p = r.WrittenPsi();
        sum += p;
        low = std::min(low, p);
        high = std::max(high, p);
    }
    const double mean = sum / static_cast<double>(n);
    double squares = 0;
    for (const device::TimedReading& r : readings) {
        const double d = r.WrittenPsi() - mean;
        squares += d * d;
    }
    const double seconds = readings.back().Seconds() - readings.front().Seconds();
    return {
        {"Readings", std::to_string(n)},
        {"Δt", device::FormatFixed6(seconds) + " s"},
        {"ΔP", psi(readings.back().WrittenPsi() - readings.front().WrittenPsi())},
        {"Mean", psi(mean)},
        {"Std dev", n > 1 ? psi(std::sqrt(squares / static_cast<double>(n - 1))) : none},
        {"Minimum", psi(low)},
        {"Maximum", psi(high)},
        {"Peak-to-peak", psi(high - low)},
    };
}

}  // namespace ui
