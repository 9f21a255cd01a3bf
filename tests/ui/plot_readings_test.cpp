#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "paint_counter.h"
#include "device/c_numbers.h"
#include "device/figure_table.h"
#include "tests/support/two_pass_statistics.h"
#include "main_window_fixture.h"
#include "ui/pressure_feed.h"
#include "ui/pressure_plot.h"
#include "ui/pressure_plot_window.h"
#include "ui/save_file_dialog.h"

namespace {

// Every reading of the session as it was handed over: what zelctl would have written.
class ReadingRecorder : public device::SessionEvents {
public:
    void OnReadings(const std::vector<device::TimedReading>& readings) override {
        std::lock_guard lock(m_mutex);
        m_readings.insert(m_readings.end(), readings.begin(), readings.end());
    }
    std::vector<device::TimedReading> Taken() {
        std::lock_guard lock(m_mutex);
        return m_readings;
    }

private:
    std::mutex m_mutex;
    std::vector<device::TimedReading> m_readings;
};

std::string Csv(const std::vector<device::TimedReading>& readings) {
    std::string text = device::CsvHeader();
    for (const device::TimedReading& r : readings) text += device::CsvLine(r);
    return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Texts(const std::vector<QLabel*>& labels) {
    std::vector<std::string> texts;
    for (QLabel* l : labels) {
        EXPECT_EQ(l->accessibleName(), l->text());
        texts.push_back(l->text().toStdString());
    }
    return texts;
}

// Δt and ΔP, then the statistics panel's figures of the saved file's rows, worked out in two
// passes, as a spreadsheet gives them.
std::vector<std::string> TwoPassFigures(const std::string& csv) {
    std::vector<double> seconds, psi;
    std::vector<device::StatsReading> readings;
    const auto lines = Split(csv, '\n');
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto fields = Split(lines[i], ',');
        seconds.push_back(std::stod(fields[1]));
        psi.push_back(std::stod(fields[2]));
        readings.push_back({device::MicrosOfSeconds(seconds.back()), psi.back(),
                            device::RawCounts{std::stol(fields[3]), std::stol(fields[4])}});
    }
    std::vector<std::string> texts = {
        device::FormatFixed6(seconds.back() - seconds.front()) + " s",
        device::FormatFixed6(psi.back() - psi.front()) + " PSI"};
    for (const auto& row : device::FigureTable(test_stats::TwoPassFigures(readings, false)))
        texts.push_back(device::ValueWithUnit(row));
    return texts;
}

TEST_F(
    MainWindow,
    Paused_the_plot_stays_while_readings_arrive_and_its_cursor_markers_and_file_agree_with_zelctls_CSV) {
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        ReadingRecorder recorder;
        main.Session()->AddListener(&recorder);
        main.OnPressurePlot();
        ui::PressurePlotWindow* window = main.PlotWindow();
        ui::PressurePlot* plot = window->Plot();
        ui::PressureFeed& feed = page.PressureFeed();
        const std::string saved = (tempDir / "readings.csv").string();
        ui::SetSaveFileFunction(
            [&](QWidget*, const ui::SaveFileRequest& request, std::string* path) {
                EXPECT_EQ(request.filter, "CSV File (*.csv)");
                *path = saved;
                return true;
            });
        PaintCounter paints;
        plot->installEventFilter(&paints);

        page.m_runButton->click();
        ASSERT_TRUE(uitest::SpinUntil([&] { return feed.Trace().Count() >= 150; }, 10000));
        QTest::keyClick(plot, Qt::Key_Space);
        ASSERT_TRUE(plot->Paused());
        EXPECT_EQ(window->PauseButton()->accessibleName(), "Resume");
        QApplication::processEvents();  // the paint of the pause itself
        const QImage view = plot->grab().toImage();
        const int paintsPaused = paints.paints;
        const size_t countPaused = recorder.Taken().size();
        ASSERT_TRUE(
            uitest::SpinUntil([&] { return recorder.Taken().size() > countPaused + 150; }, 10000));
        feed.Flush();
        EXPECT_GT(feed.Trace().Count(), countPaused + 150) << "pausing drops no reading";
        EXPECT_EQ(paints.paints, paintsPaused) << "readings outside the view repaint nothing";
        EXPECT_EQ(plot->grab().toImage(), view);

        // The cursor from the keyboard, a marker at each end of sixty readings.
        for (int i = 0; i < 3; ++i) QTest::keyClick(plot, Qt::Key_Left);
        QTest::keyClick(plot, Qt::Key_M);
        for (int i = 0; i < 60; ++i) QTest::keyClick(plot, Qt::Key_Left);
        QTest::keyClick(plot, Qt::Key_M);
        const auto all = recorder.Taken();
        const auto cursor = plot->CursorReading();
        ASSERT_TRUE(cursor);
        const auto same = std::find_if(all.begin(), all.end(),
                                       [&](auto& r) { return r.sinceStart == cursor->sinceStart; });
        ASSERT_NE(same, all.end());
        const auto fields = Split(device::CsvLine(*same), ',');
        EXPECT_EQ(device::CsvLine(*cursor), device::CsvLine(*same));
        EXPECT_EQ(Texts(window->CursorValues()),
                  (std::vector<std::string>{fields[1] + " s", fields[2] + " PSI", fields[3],
                                            fields[4].substr(0, fields[4].size() - 1)}));

        window->SaveReadingsButton()->click();
        const std::vector<device::TimedReading> marked(same, same + 61);
        const std::string csv = FileText(saved);
        EXPECT_EQ(csv, Csv(marked));
        std::vector<QLabel*> figures;
        for (const auto& row : window->Figures()) figures.push_back(row.second);
        EXPECT_EQ(Texts(figures), TwoPassFigures(csv));

        // Without markers, the whole run.
        QTest::keyClick(plot, Qt::Key_Delete);
        page.m_runButton->click();  // Stop
        feed.Flush();
        window->SaveReadingsButton()->click();
        EXPECT_EQ(FileText(saved), Csv(recorder.Taken()));
        EXPECT_TRUE(messages.shown.empty());
        main.Session()->RemoveListener(&recorder);
        ui::SetSaveFileFunction({});
    });
}

// A window of its own with two seconds of readings.
class PlotWindow : public ::testing::Test {
protected:
    void SetUp() override {
        device::ReadingClock clock;
        const auto start = device::ReadingClock::Steady::now();
        clock.Start(start);
        feed.OnRunStarted();
        for (int step = 1; step <= 20; ++step) {
            std::vector<device::Reading> readings;
            for (int i = 0; i < 15; ++i) readings.push_back({7.5 + i / 10.0, 3670016 + i, 28103});
            feed.OnReadings(clock.Stamp(readings, start + std::chrono::milliseconds(100 * step)));
        }
        feed.Flush();
        window.show();
    }

    ui::PressureFeed feed;
    ui::PressurePlotWindow window{feed, nullptr};
    uitest::MessageRecorder messages;
};

TEST_F(PlotWindow, An_invalid_fixed_range_is_refused_and_the_old_one_kept) {
    auto apply = [&](const char* low, const char* high) {
        window.PsiMinimum()->setText(QString::fromLatin1(low));
        window.PsiMaximum()->setText(QString::fromLatin1(high));
        window.ApplyRange()->click();
    };
    window.FixedPsi()->setChecked(true);
    apply("2", "12.5");
    EXPECT_EQ(window.Plot()->PsiRange(), std::make_pair(2.0, 12.5));
    EXPECT_TRUE(window.RangeNote()->text().isEmpty());
    const char* refused[][3] = {
        {"5", "5", "Minimum must be below maximum."}, {"9", "3", "Minimum must be below maximum."},
        {"abc", "12", "Minimum is not a number."},    {"2", "", "Maximum is not a number."},
        {"nan", "3", "Minimum is not a number."},     {"1,5", "3", "Minimum is not a number."},
    };
    for (const auto& c : refused) {
        apply(c[0], c[1]);
        EXPECT_EQ(window.Plot()->PsiRange(), std::make_pair(2.0, 12.5)) << c[0] << ".." << c[1];
        EXPECT_TRUE(window.RangeNote()->text().startsWith(QString::fromUtf8(c[2])))
            << window.RangeNote()->text().toStdString();
        EXPECT_EQ(window.RangeNote()->accessibleName(), window.RangeNote()->text());
    }
}

TEST_F(PlotWindow, A_failed_save_is_named_and_leaves_nothing_under_the_name) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("zel-plot-save-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "readings.csv").string();
    ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* chosen) {
        *chosen = path;
        return true;
    });
    // A file-size limit of 1000 bytes: the write fails halfway with EFBIG, as on a full disk.
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    window.SaveReadingsButton()->click();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    ui::SetSaveFileFunction({});

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find(path), std::string::npos) << messages.shown[0].text;
    EXPECT_NE(messages.shown[0].text.find(std::strerror(EFBIG)), std::string::npos)
        << messages.shown[0].text;
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder);
}

}  // namespace
