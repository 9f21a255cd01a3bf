#pragma once

#include <nlohmann/json.hpp>

#include "device/reading_statistics.h"

namespace cli {

// The statistics as one JSON object, the keys of the figure table in its order (units in the
// keys: mean_psi, std_counts, rate_per_s, ...); "allan_psi" an object of the three τ when the
// figures are the whole run's. An absent figure is null.
nlohmann::ordered_json FiguresJson(const device::Figures& figures);

}  // namespace cli
