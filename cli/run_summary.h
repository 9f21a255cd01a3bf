#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "device/reading_statistics.h"
#include "device/run_ledger.h"

namespace cli {

// What `zelctl acquire --summary` writes: the whole run's statistics (the keys of FiguresJson)
// and then the run's ledger (received, shown, zero, ...), one JSON object.
nlohmann::ordered_json RunSummaryJson(const device::Figures& figures,
                                      const device::RunLedger& ledger);

// The same for a person: one figure a line, then the ledger.
std::string RunSummaryText(const device::Figures& figures, const device::RunLedger& ledger);

}  // namespace cli
