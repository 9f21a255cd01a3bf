// A run saved with Save Readings and opened again: the recording's window shows what the live
// run's did; a log, a CSV and an NDJSON of one run agree; bad files are named.

#include "ui/recording_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <fstream>
#include <sstream>

#include "device/recording_file.h"
#include "main_window_fixture.h"
#include "ui/pressure_feed.h"
#include "ui/pressure_plot.h"
#include "ui/pressure_plot_window.h"
#include "ui/save_file_dialog.h"
#include "ui/psd_panel.h"
#include "ui/statistics_panel.h"

namespace {

std::vector<QString> Texts(const std::vector<QLabel*>& labels) {
    std::vector<QString> texts;
    for (QLabel* l : labels) texts.push_back(l->text());
    return texts;
}

std::vector<QString> FigureTexts(ui::PressurePlotWindow* w) {
    std::vector<QString> texts;
    for (const auto& [caption, value] : w->Figures()) texts.push_back(value->text());
    return texts;
}

// Waits until the recording is read; its note then names the file and its readings.
ui::PressurePlotWindow* Opened(const std::string& path, QWidget* owner) {
    QPointer<ui::PressurePlotWindow> window =
        ui::OpenRecording(QString::fromStdString(path), owner);
    uitest::SpinUntil([&] { return !window || !window->findChild<QProgressBar*>()->isVisible(); },
                      30000);
    return window;
}

QString Note(ui::PressurePlotWindow* window) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->accessibleName() == "Recording") return label->text();
    }
    return {};
}

// caption TAB value TAB unit lines of the statistics, those of `captions` only when given.
QStringList StatisticsLines(ui::StatisticsPanel* panel, const QStringList& captions = {}) {
    panel->Refresh();
    QStringList lines;
    for (const QString& line : panel->CopyText().split('\n', Qt::SkipEmptyParts)) {
        if (captions.isEmpty() || captions.contains(line.section('\t', 0, 0))) lines << line;
    }
    return lines;
}

void MarkSameReadings(ui::PressurePlot* plot, double from, double to) {
    plot->ClearMarkers();
    plot->SetCursorAt(from);
    plot->PutMarker();
    plot->SetCursorAt(to);
    plot->PutMarker();
}

std::string Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

TEST_F(MainWindow, A_saved_run_opens_with_the_live_runs_cursor_markers_statistics_and_spectrum) {
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        QAction* item = nullptr;
        QStringList viewItems;
        for (QAction* menu : main.MenuBar()->actions()) {
            if (menu->text() != "&View") continue;
            for (QAction* a : menu->menu()->actions()) {
                viewItems << a->text();
                if (a->data().toInt() == res::kCmdOpenRecording) item = a;
            }
        }
        EXPECT_EQ(viewItems, QStringList({"Pressure Plot", "Open Recording…", "Statistics"}));
        ASSERT_TRUE(item);

        main.RouteCommand(res::kCmdPressurePlot);
        ui::PressurePlotWindow* live = main.PlotWindow();
        const ui::PressureTrace& trace = page.PressureFeed().Trace();
        page.m_runButton->click();
        ASSERT_TRUE(uitest::SpinUntil([&] { return trace.Count() >= 700; }, 20000));
        page.m_runButton->click();  // Stop
        page.PressureFeed().Flush();

        const std::string csv = (tempDir / "run.csv").string();
        const auto previous =
            ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* path) {
                *path = csv;
                return true;
            });
        live->SaveReadings();
        ui::SetSaveFileFunction(previous);

        // The same run as a pressure log with a time line a second, and as NDJSON.
        std::ifstream in(csv);
        std::string line, log, ndjson;
        std::getline(in, line);  // the header
        long lastSecond = -1;
        while (std::getline(in, line)) {
            std::stringstream fields(line);
            std::string time, seconds, psi, rawP, rawT;
            std::getline(fields, time, ',');
            std::getline(fields, seconds, ',');
            std::getline(fields, psi, ',');
            std::getline(fields, rawP, ',');
            std::getline(fields, rawT, ',');
            const long second = std::stol(time.substr(17, 2));
            if (second != lastSecond) log += time.substr(11, 8) + "\r\n";
            lastSecond = second;
            log += "\t" + psi + "\r\n";
            ndjson += R"({"time":")" + time + R"(","seconds":)" + seconds + R"(,"psi":)" + psi +
                      R"(,"raw_p":)" + rawP + R"(,"raw_t":)" + rawT + "}\n";
        }
        const std::string logPath = Write(tempDir / "run.txt", log);
        const std::string ndjsonPath = Write(tempDir / "run.ndjson", ndjson);

        ui::PressurePlotWindow* recorded = Opened(csv, &main);
        ASSERT_TRUE(recorded);
        EXPECT_TRUE(recorded->isVisible());
        EXPECT_TRUE(live->isVisible());  // each in its own window
        EXPECT_EQ(recorded->windowTitle(), "run.csv – Pressure Plot");
        EXPECT_TRUE(
            Note(recorded).startsWith(QStringLiteral("run.csv: %1 readings").arg(trace.Count())))
            << Note(recorded).toStdString();

        // The whole run's statistics, as the live window shows them (which adds the ledger).
        live->Statistics()->WindowChoice()->setCurrentIndex(3);
        const QStringList recordedStats = StatisticsLines(recorded->Statistics());
        EXPECT_EQ(StatisticsLines(live->Statistics()).mid(0, recordedStats.size()), recordedStats);
        EXPECT_GE(recordedStats.size(), 15);

        // The same readings marked in both: the same cursor and figures.
        const double from = trace.Recent()[100].Seconds(), to = trace.Recent()[600].Seconds();
        for (ui::PressurePlotWindow* w : {live, recorded}) MarkSameReadings(w->Plot(), from, to);
        EXPECT_EQ(Texts(recorded->CursorValues()), Texts(live->CursorValues()));
        EXPECT_EQ(Texts(recorded->MarkerValues()), Texts(live->MarkerValues()));
        EXPECT_EQ(FigureTexts(recorded), FigureTexts(live));
        EXPECT_NE(FigureTexts(recorded)[2], "–");
        // The Statistics tab of a recording takes the markers' span.
        EXPECT_EQ(recorded->Statistics()->Value("Count")->text(), "501");

        // The spectrum of the marked readings, the same in both.
        ui::SpectrumPanel* liveSpectrum = live->Spectrum();
        ui::SpectrumPanel* recordedSpectrum = recorded->Spectrum();
        for (ui::SpectrumPanel* s : {liveSpectrum, recordedSpectrum}) s->Refresh();
        ASSERT_TRUE(liveSpectrum->Current() && recordedSpectrum->Current());
        EXPECT_EQ(liveSpectrum->Current()->psd, recordedSpectrum->Current()->psd);
        EXPECT_EQ(recordedSpectrum->Value("Readings")->text(), "501 between the markers");
        EXPECT_NEAR(recordedSpectrum->Current()->rateHz, 150, 15);

        // A log and an NDJSON of the same run: the same figures, as far as a log has them.
        const QStringList psiRows = {"Count",   "Mean",    "Std dev",
                                     "Minimum", "Maximum", "Peak-to-peak"};
        recorded->Plot()->ClearMarkers();
        for (const std::string& path : {logPath, ndjsonPath}) {
            SCOPED_TRACE(path);
            ui::PressurePlotWindow* other = Opened(path, recorded);
            ASSERT_TRUE(other);
            const bool isLog = path == logPath;
            EXPECT_EQ(StatisticsLines(other->Statistics(), isLog ? psiRows : QStringList{}),
                      StatisticsLines(recorded->Statistics(), isLog ? psiRows : QStringList{}));
            EXPECT_EQ(Note(other).contains("A pressure log has no time per reading"), isLog);
            if (isLog) {
                EXPECT_EQ(other->Statistics()->Value("Rate")->text(), "n/a");
                other->Plot()->SetCursorAt(1.0);
                EXPECT_EQ(other->CursorValues()[2]->text(), "–");  // no raw counts
            }
            other->close();
        }
        recorded->close();
    });
}

TEST_F(MainWindow, A_malformed_file_and_a_cut_last_line_are_named) {
    RunMain([&](CMainDlg& main) {
        const std::string header = "time,seconds,psi,raw_p,raw_t\n";
        const std::string line = "2026-12-09T06:20:41.123Z,0.106667,6.298772,3670016,28103\n";
        messages.shown.clear();
        const std::string bad = Write(tempDir / "bad.csv", "6.298772\n" + line);
        ui::PressurePlotWindow* gone = Opened(bad, &main);
        EXPECT_TRUE(!gone || !gone->isVisible());  // nothing to show: the window goes
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].text.find("bad.csv cannot be opened as a recording: line 1:"),
                  std::string::npos)
            << messages.shown[0].text;

        const std::string cut = Write(tempDir / "cut.csv", header + line + line.substr(0, 20));
        ui::PressurePlotWindow* window = Opened(cut, &main);
        ASSERT_TRUE(window);
        EXPECT_EQ(window->Plot()->MarkerReadings().size(), 0u);
        EXPECT_TRUE(
            Note(window).contains("The last line, line 3, has no line end and is left out."))
            << Note(window).toStdString();
        EXPECT_EQ(messages.shown.size(), 1u);
        window->close();
    });
}

}  // namespace
