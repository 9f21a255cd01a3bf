#include "ui/marker_figures.h"

#include "device/c_numbers.h"
#include "device/figure_table.h"
#include "device/reading_statistics.h"
#include "device/recording_file.h"

namespace ui {

std::vector<device::StatsReading> WrittenReadings(
    const std::vector<device::TimedReading>& readings) {
    std::vector<device::StatsReading> written;
    written.reserve(readings.size());
    for (const device::TimedReading& r : readings) {
        written.push_back(device::AsWritten({r.psi, r.rawPressure, r.rawTemperature}, r.sinceStart));
        if (r.rawPressure == device::kNoCounts) {
            written.back().raw.reset();
            written.back().micros.reset();
        }
    }
    return written;
}

std::vector<FigureRow> MarkerFigures(const std::vector<device::TimedReading>& readings) {
    const std::string none = "–";
    std::vector<FigureRow> rows = {{"Δt", none}, {"ΔP", none}};
    if (!readings.empty()) {
        rows[0].value =
            device::FormatFixed6(readings.back().Seconds() - readings.front().Seconds()) + " s";
        rows[1].value =
            device::FormatFixed6(readings.back().WrittenPsi() - readings.front().WrittenPsi()) +
            " PSI";
    }
    const std::vector<device::StatsReading> written = WrittenReadings(readings);
    for (const device::FigureRow& row : device::FigureTable(device::FiguresOf(written)))
        rows.push_back({std::string(row.caption), device::ValueWithUnit(row)});
    return rows;
}

}  // namespace ui
