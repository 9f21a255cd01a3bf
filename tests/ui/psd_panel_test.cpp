// The Spectrum tab on a real plot: its span, the thread for long spans, its figures and its file.

#include "ui/psd_panel.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <cmath>
#include <numbers>

#include "tests/support/scratch_files.h"
#include "ui/pressure_plot.h"
#include "ui/save_file_dialog.h"
#include "ui/psd_plot.h"
#include "ui_test_support.h"

namespace {

// `seconds` of readings at 150 a second: 7.5 psi, a tone of 0.01 psi at 50 Hz and a little noise.
void Fill(ui::PressureTrace& trace, double seconds) {
    for (long i = 0; i < std::lround(seconds * 150); ++i) {
        const double t = i / 150.0;
        const double psi = 7.5 + 0.01 * std::sin(2 * std::numbers::pi * 50 * t) +
                           1e-5 * std::sin(i * 1.7) * std::cos(i * 0.31);
        trace.Add({std::llround(t * 1e9), std::round(psi * 1e6) / 1e6, 8000000, 28000});
    }
}

TEST(SpectrumPanel, Takes_the_markers_span_else_the_view_and_finds_the_tone) {
    ui::PressureTrace trace;
    Fill(trace, 20);
    ui::PressurePlot plot(trace);
    plot.resize(600, 320);
    plot.SetSpan(10);  // the last 10 s in view
    ui::SpectrumPanel panel(plot, trace);
    panel.Refresh();
    ASSERT_TRUE(panel.Current());
    EXPECT_TRUE(panel.Value("Readings")->text().endsWith(" in view"));
    EXPECT_EQ(panel.Current()->segment, 256);
    EXPECT_NEAR(panel.Current()->peaks.at(0).hz, 50, 150.0 / 256);
    EXPECT_TRUE(panel.Value("Peak 1")->text().endsWith(" PSI"));

    plot.SetCursorAt(2.0);
    plot.PutMarker();
    plot.SetCursorAt(6.0);
    plot.PutMarker();
    panel.Refresh();
    EXPECT_EQ(panel.Value("Readings")->text(), "601 between the markers");

    // Save Spectrum… writes what is shown.
    const std::string path = test_files::ScratchPath("spectrum.csv");
    const auto previous =
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* chosen) {
            *chosen = path;
            return true;
        });
    panel.SaveButton()->click();
    ui::SetSaveFileFunction(previous);
    EXPECT_EQ(test_files::ReadWholeFile(path), device::SpectrumCsv(*panel.Current()));

    panel.Plot()->SetBand(std::make_pair(45.0, 55.0));
    // A sine's RMS is its amplitude over √2.
    EXPECT_NEAR(device::BandRms(*panel.Current(), 45, 55), 0.01 / std::sqrt(2.0), 1e-4);
    EXPECT_TRUE(panel.Value("Band RMS")->text().startsWith("45 to 55 Hz: 0.0070"))
        << panel.Value("Band RMS")->text().toStdString();
}

TEST(SpectrumPanel, A_long_span_is_computed_off_the_thread_and_a_newer_one_cancels_it) {
    ui::PressureTrace trace;
    Fill(trace, 1200);  // 180,000 readings
    ui::PressurePlot plot(trace);
    plot.resize(600, 320);
    plot.SetSpan(0);  // the whole run
    ui::SpectrumPanel panel(plot, trace);
    panel.Refresh();
    EXPECT_TRUE(panel.Busy());
    panel.SegmentChoice()->setCurrentIndex(2);  // 512: a newer span, the old work is dropped
    ASSERT_TRUE(uitest::SpinUntil([&] { return !panel.Busy(); }, 30000));
    ASSERT_TRUE(panel.Current());
    EXPECT_EQ(panel.Current()->segment, 512);
    EXPECT_EQ(panel.Current()->readings, 180000);
    EXPECT_NEAR(panel.Current()->peaks.at(0).amplitudePsi, 0.01, 0.0005);
}

}  // namespace
