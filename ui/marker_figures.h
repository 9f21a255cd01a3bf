#pragma once

#include <string>
#include <vector>

#include "device/reading_statistics.h"
#include "device/reading_stream.h"

namespace ui {

// One line of the markers' figures: what it is, and its value as shown ("C" number rules).
struct FigureRow {
    std::string caption;
    std::string value;
};

// The figures of the readings from one marker to the other (both included, oldest first): Δt and
// ΔP, then the statistics panel's figures of those readings, as a saved file gives them.
// The readings as a file holds them. A pressure log's (device::kNoCounts) have neither raw
// counts nor a time of their own, as zelctl stats reads the log.
std::vector<device::StatsReading> WrittenReadings(const std::vector<device::TimedReading>& readings);

std::vector<FigureRow> MarkerFigures(const std::vector<device::TimedReading>& readings);

}  // namespace ui
