#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/reading_statistics.h"

// The statistics as every front end shows them: one row a figure, in one order.
namespace device {

struct FigureRow {
    std::string_view caption;  // the program's label and its accessible name
    std::string_view key;      // JSON key; the Allan rows share "allan_psi"
    std::string_view subkey;   // the τ within "allan_psi", else empty
    std::string_view unit;     // empty for the count
    bool whole = false;        // an integer in JSON
    std::optional<double> value;
    std::string text;  // "C" rules whatever the locale; "n/a" when absent
};

// Count, the PSI figures, the count figures, the resolutions, the rate, the temperature, then for
// the whole run the Allan deviations.
std::vector<FigureRow> FigureTable(const Figures& figures);

// The value as a label shows it: "14.700012 psi", "n/a".
std::string ValueWithUnit(const FigureRow& row);

// What "Copy" puts on the clipboard: caption TAB value TAB unit, CR LF a line.
std::string FiguresCopyText(const std::vector<FigureRow>& rows);

// One figure a line, the values aligned after the captions, with units; LF line ends.
std::string FiguresSummaryText(const std::vector<FigureRow>& rows);

}  // namespace device
