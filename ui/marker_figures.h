#pragma once

#include <string>
#include <vector>

#include "device/reading_stream.h"

namespace ui {

// One line of the markers' figures: what it is, and its value as shown ("C" number rules).
struct FigureRow {
    std::string caption;
    std::string value;
};

// The figures of the readings from one marker to the other (both included, oldest first): count,
// Δt, ΔP, mean, standard deviation (n − 1), minimum, maximum and peak-to-peak, over the pressure
// as the read-out and a saved file show it. The only place that computes them.
std::vector<FigureRow> MarkerFigures(const std::vector<device::TimedReading>& readings);

}  // namespace ui
