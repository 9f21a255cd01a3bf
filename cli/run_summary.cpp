#include "cli/run_summary.h"

#include <charconv>

#include "cli/figures_json.h"
#include "device/figure_table.h"

namespace cli {

nlohmann::ordered_json RunSummaryJson(const device::Figures& figures,
                                      const device::RunLedger& ledger) {
    nlohmann::ordered_json json = FiguresJson(figures);
    for (const device::LedgerRow& row : device::LedgerTable(ledger)) {
        const std::string key(row.key);
        if (key == "fell_behind") {
            json[key] = ledger.fellBehind;
        } else if (key == "gap_seconds") {
            json[key] = ledger.gapSeconds;
        } else {
            long long value = 0;
            std::from_chars(row.text.data(), row.text.data() + row.text.size(), value);
            json[key] = value;
        }
    }
    return json;
}

std::string RunSummaryText(const device::Figures& figures, const device::RunLedger& ledger) {
    std::string text = device::FiguresSummaryText(device::FigureTable(figures));
    size_t width = 0;
    const auto rows = device::LedgerTable(ledger);
    for (const auto& row : rows) width = std::max(width, row.caption.size());
    for (const auto& row : rows) {
        text += std::string(row.caption) + std::string(width + 2 - row.caption.size(), ' ') +
                row.text + "\n";
    }
    return text;
}

}  // namespace cli
