#include "ui/marker_figures.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "ui/pressure_trace.h"

namespace {

// The window's figures under a decimal-comma locale (Qt takes the user's at start-up): a decimal
// point, and the unit spelt as the read-out spells it.
TEST(MarkerFigures, Keep_a_decimal_point_and_write_the_unit_PSI_under_a_decimal_comma_locale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed";
    ui::PressureTrace trace;
    std::vector<device::TimedReading> readings;
    for (int i = 0; i < 40; ++i) {
        const ui::TracePoint point{i * 50'000'000LL, 14.5 + 0.25 * (i % 3), 8388608 + i, 28103};
        trace.Add(point);
        readings.push_back(trace.Reading(point));
    }
    const auto rows = ui::MarkerFigures(readings);
    std::setlocale(LC_ALL, before.c_str());

    int inPsi = 0;
    for (const ui::FigureRow& row : rows) {
        SCOPED_TRACE(row.caption + ": " + row.value);
        EXPECT_EQ(row.value.find(','), std::string::npos);
        EXPECT_EQ(row.value.find("psi"), std::string::npos);
        if (row.value.size() > 4 && row.value.compare(row.value.size() - 4, 4, " PSI") == 0)
            ++inPsi;
    }
    // ΔP, mean, standard deviation, minimum, maximum and peak-to-peak.
    EXPECT_GE(inPsi, 6);
}

}  // namespace
