#include "device/figure_table.h"

#include <algorithm>
#include <charconv>

namespace device {
namespace {

enum class Style { Whole, Fixed2, Fixed3, Fixed6, Scientific3 };

// to_chars never looks at the process locale (Qt sets the user's at start-up).
std::string Text(std::optional<double> value, Style style) {
    if (!value) return "n/a";
    char buffer[400];
    std::to_chars_result r;
    switch (style) {
        case Style::Whole:
            r = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::fixed, 0);
            break;
        case Style::Fixed2:
            r = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::fixed, 2);
            break;
        case Style::Fixed3:
            r = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::fixed, 3);
            break;
        case Style::Fixed6:
            r = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::fixed, 6);
            break;
        case Style::Scientific3:
            r = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::scientific,
                              3);
            break;
    }
    if (r.ec != std::errc()) return "n/a";
    return std::string(buffer, r.ptr);
}

}  // namespace

std::vector<FigureRow> FigureTable(const Figures& f) {
    struct Entry {
        std::string_view caption, key, subkey, unit;
        std::optional<double> value;
        Style style;
    };
    std::vector<Entry> entries = {
        {"Count", "count", "", "", static_cast<double>(f.count), Style::Whole},
        {"Mean", "mean_psi", "", "PSI", f.meanPsi, Style::Fixed6},
        {"Std dev", "std_psi", "", "PSI", f.stdPsi, Style::Scientific3},
        {"Minimum", "min_psi", "", "PSI", f.minPsi, Style::Fixed6},
        {"Maximum", "max_psi", "", "PSI", f.maxPsi, Style::Fixed6},
        {"Peak-to-peak", "pp_psi", "", "PSI", f.ppPsi, Style::Fixed6},
        {"Std dev (counts)", "std_counts", "", "counts", f.stdCounts, Style::Fixed2},
        {"Peak-to-peak (counts)", "pp_counts", "", "counts", f.ppCounts, Style::Whole},
        {"Effective resolution", "effective_bits", "", "bits", f.effectiveBits, Style::Fixed2},
        {"Noise-free resolution", "noise_free_bits", "", "bits", f.noiseFreeBits, Style::Fixed2},
        {"Rate", "rate_per_s", "", "readings/s", f.ratePerSecond, Style::Fixed3},
        {"Mean raw temperature", "mean_raw_t", "", "counts", f.meanRawTemperature, Style::Fixed2},
    };
    if (f.hasAllan) {
        entries.push_back({"Allan deviation 0.1 s", "allan_psi", "tau_0.1_s", "PSI", f.allanPsi[0],
                           Style::Scientific3});
        entries.push_back({"Allan deviation 1 s", "allan_psi", "tau_1_s", "PSI", f.allanPsi[1],
                           Style::Scientific3});
        entries.push_back({"Allan deviation 10 s", "allan_psi", "tau_10_s", "PSI", f.allanPsi[2],
                           Style::Scientific3});
    }
    std::vector<FigureRow> rows;
    rows.reserve(entries.size());
    for (const Entry& s : entries) {
        rows.push_back({s.caption, s.key, s.subkey, s.unit, s.style == Style::Whole, s.value,
                        Text(s.value, s.style)});
    }
    return rows;
}

std::string ValueWithUnit(const FigureRow& row) {
    if (!row.value || row.unit.empty()) return row.text;
    return row.text + " " + std::string(row.unit);
}

std::string FiguresCopyText(const std::vector<FigureRow>& rows) {
    std::string out;
    for (const FigureRow& row : rows) {
        out.append(row.caption).append("\t").append(row.text).append("\t").append(row.unit);
        out += "\r\n";
    }
    return out;
}

std::string FiguresSummaryText(const std::vector<FigureRow>& rows) {
    size_t width = 0;
    for (const FigureRow& row : rows) width = std::max(width, row.caption.size());
    std::string out;
    for (const FigureRow& row : rows) {
        out.append(row.caption).append(width + 2 - row.caption.size(), ' ').append(row.text);
        if (!row.unit.empty() && row.value) out.append(" ").append(row.unit);
        out += "\n";
    }
    return out;
}

}  // namespace device
