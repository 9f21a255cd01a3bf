#include "ui/pressure_plot.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QTest>
#include <cmath>
#include <sstream>

#include "device/c_numbers.h"
#include "main_window_fixture.h"
#include "ui/plot_axis.h"
#include "ui/pressure_feed.h"
#include "ui/pressure_plot_window.h"
#include "ui/pressure_trace.h"
#include "ui/statistics_panel.h"

namespace {

ui::TracePoint Point(double seconds, double psi) {
    return {std::llround(seconds * 1e9), psi, 0, 0};
}

TEST(PlotAxis, Covering_ticks_are_round_steps_that_enclose_the_range) {
    struct Case {
        double low, high;
        int maxTicks;
        double first, last, step;
        int decimals;
    };
    const Case cases[] = {
        {0.0, 15.0, 8, 0.0, 15.0, 2.5, 1},    {7.41, 7.59, 5, 7.4, 7.6, 0.05, 2},
        {-3.2, 12.9, 6, -5.0, 15.0, 5.0, 0},  {5.0, 5.0, 5, 4.995, 5.005, 0.0025, 4},
        {0.93, 14.07, 20, 0.0, 15.0, 1.0, 0}, {0.1, 10.1, 6, 0.0, 12.5, 2.5, 1},
    };
    for (const Case& c : cases) {
        const ui::AxisTicks t = ui::CoveringTicks(c.low, c.high, c.maxTicks);
        EXPECT_NEAR(t.first, c.first, 1e-9) << c.low << ".." << c.high;
        EXPECT_NEAR(t.last, c.last, 1e-9) << c.low << ".." << c.high;
        EXPECT_NEAR(t.step, c.step, 1e-12) << c.low << ".." << c.high;
        EXPECT_EQ(t.decimals, c.decimals) << c.low << ".." << c.high;
        EXPECT_LE(std::lround((t.last - t.first) / t.step) + 1, c.maxTicks);
    }
    EXPECT_EQ(ui::CoveringTicks(-1, 1, 5).Label(-1e-17).toStdString(), "0.0");
}

TEST(PressureTrace, A_run_of_hours_keeps_every_extreme_in_bounded_memory) {
    ui::PressureTrace trace;
    const int perSecond = 150, seconds = 2 * 3600;
    for (int i = 0; i < perSecond * seconds; ++i) {
        const double t = double(i) / perSecond;
        trace.Add(Point(t, i == perSecond * 3000 ? 99.0 : 7.5 + std::sin(t)));
    }
    EXPECT_EQ(trace.Count(), size_t(perSecond * seconds));
    // The last hour reading by reading, not more.
    EXPECT_GE(trace.Recent().size(), size_t(perSecond * 3600));
    EXPECT_LT(trace.Recent().size(), size_t(perSecond * 3662));
    const auto columns = trace.Columns(0, seconds, 720);  // ten seconds a column
    EXPECT_TRUE(std::all_of(columns.begin(), columns.end(), [](auto& c) { return c.any; }));
    EXPECT_EQ(columns[300].highest, 99.0);
    EXPECT_NEAR(columns[100].lowest, 6.5, 0.01);
    // Ten seconds of the last hour still reading by reading.
    const auto recent = trace.Columns(seconds - 10, seconds, 500);
    EXPECT_EQ(std::count_if(recent.begin(), recent.end(), [](auto& c) { return c.any; }), 500);
}

TEST(PressureFeed, The_trace_gives_back_each_reading_with_its_own_CSV_line_and_a_run_starts_anew) {
    using namespace std::chrono_literals;
    ui::PressureFeed feed;
    device::ReadingClock clock;
    const auto start = device::ReadingClock::Steady::now();
    clock.Start(start);
    feed.OnRunStarted();
    const auto timed = clock.Stamp({{1.0, 3670016, 28103}, {2.5, 3670017, 28104}, {1 / 3.0, 1, 2}},
                                   start + 90ms + 1ns);
    feed.OnReadings(timed);
    feed.Flush();
    std::vector<std::string> lines, expected;
    for (const ui::TracePoint& p : feed.Trace().Recent())
        lines.push_back(device::CsvLine(feed.Trace().Reading(p)));
    for (const device::TimedReading& r : timed) expected.push_back(device::CsvLine(r));
    EXPECT_EQ(lines, expected);
    feed.OnRunStarted();
    EXPECT_TRUE(feed.Trace().Empty());
}

TEST(PressurePlot, Draws_in_the_colours_of_a_dark_desktop) {
    ui::PressureTrace trace;
    for (int i = 0; i < 1500; ++i) trace.Add(Point(i / 150.0, 7.5 + 6.5 * std::sin(i / 150.0)));
    ui::PressurePlot plot(trace);
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Base, QColor(0x10, 0x10, 0x10));
    dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
    dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
    plot.setPalette(dark);
    plot.resize(600, 320);
    const QImage image = plot.grab().toImage();
    std::map<QRgb, int> pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) ++pixels[image.pixel(x, y) | 0xff000000];
    }
    const int all = image.width() * image.height();
    EXPECT_GT(pixels[dark.color(QPalette::Base).rgb()] + pixels[dark.color(QPalette::Window).rgb()],
              all * 8 / 10);
    EXPECT_GT(pixels[dark.color(QPalette::Highlight).rgb()], 1000);  // the trace
    EXPECT_EQ(pixels[qRgb(255, 255, 255)], 0);                       // nothing of a light desktop
}

// The read-out's lines, in order.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> TraceTexts(const ui::PressureTrace& trace) {
    std::vector<std::string> texts;
    for (const ui::TracePoint& p : trace.Recent()) texts.push_back(device::FormatFixed6(p.psi));
    return texts;
}

TEST_F(MainWindow,
       The_View_menus_plot_takes_input_beside_the_main_window_and_gets_exactly_the_readings_shown) {
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        QAction* item = nullptr;
        for (QAction* menu : main.MenuBar()->actions()) {
            for (QAction* a : menu->menu()->actions()) {
                if (a->data().toInt() == res::kCmdPressurePlot) item = a;
            }
        }
        ASSERT_TRUE(item);
        EXPECT_EQ(item->text(), "Pressure Plot");
        item->trigger();
        ui::PressurePlotWindow* window = main.PlotWindow();
        ASSERT_TRUE(window && window->isVisible());
        EXPECT_FALSE(window->isModal());
        EXPECT_EQ(window->Plot()->accessibleName(), "Pressure Plot");
        EXPECT_EQ(QApplication::activeModalWidget(), &main);
        // It takes input while the main window runs modally: a key through the window system
        // (where modal blocking happens) picks the next span.
        window->activateWindow();
        window->SpanChoice()->setFocus();
        QTest::keyClick(window->windowHandle(), Qt::Key_Down);
        EXPECT_EQ(window->Plot()->Span(), 30.0);

        const ui::PressureTrace& trace = page.PressureFeed().Trace();
        size_t shownBefore = 0;
        for (int run = 0; run < 2; ++run) {
            page.m_runButton->click();
            ASSERT_TRUE(uitest::SpinUntil([&] { return trace.Count() >= 20; }, 10000));
            page.m_runButton->click();  // Stop
            page.PressureFeed().Flush();
            const auto shown = Lines(Readout(main));
            ASSERT_LT(Readout(main).size(), 2000u) << "the read-out must still hold every line";
            // This run's lines, and the trace holds them all and nothing else.
            const std::vector<std::string> thisRun(shown.begin() + shownBefore, shown.end());
            EXPECT_EQ(trace.Count(), thisRun.size()) << "run " << run;
            EXPECT_EQ(TraceTexts(trace), thisRun) << "run " << run;
            shownBefore = shown.size();
        }
        EXPECT_TRUE(window->isVisible());  // Stop leaves the window and its trace
        // The run's statistics beside the markers, as the Statistics window shows them.
        ASSERT_TRUE(window->Statistics());
        window->Statistics()->Refresh();
        EXPECT_EQ(window->Statistics()->Value("Records received")->text().toLong(),
                  main.Session()->Ledger().received);
    });
}

}  // namespace
