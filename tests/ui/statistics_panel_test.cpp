#include "ui/statistics_panel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <cmath>

#include "main_window_fixture.h"
#include "ui/pressure_feed.h"

namespace {

TEST_F(MainWindow, The_statistics_window_shows_the_runs_figures_and_ledger_and_copies_them) {
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        QAction* item = nullptr;
        for (QAction* menu : main.MenuBar()->actions()) {
            for (QAction* a : menu->menu()->actions()) {
                if (a->data().toInt() == res::kCmdStatistics) item = a;
            }
        }
        ASSERT_TRUE(item);
        EXPECT_EQ(item->text(), "Statistics");
        item->trigger();
        ASSERT_TRUE(main.StatisticsWindow() && main.StatisticsWindow()->isVisible());
        ui::StatisticsPanel& panel = *main.StatisticsWindow()->Panel();
        panel.WindowChoice()->setCurrentIndex(3);  // the whole run

        const ui::PressureTrace& trace = page.PressureFeed().Trace();
        page.m_runButton->click();
        ASSERT_TRUE(uitest::SpinUntil(
            [&] {
                page.PressureFeed().Flush();  // no plot on screen: the readings wait in the feed
                return trace.Count() >= 40;
            },
            10000));
        page.m_runButton->click();  // Stop
        page.PressureFeed().Flush();
        panel.Refresh();

        const QString shown = QString::number(trace.Count());
        for (const char* caption : {"Count", "Readings shown", "Records received"}) {
            ASSERT_TRUE(panel.Value(caption)) << caption;
            EXPECT_EQ(panel.Value(caption)->text(), shown) << caption;
        }
        double sum = 0;
        for (const ui::TracePoint& p : trace.Recent()) sum += p.psi;
        const QString mean = panel.Value("Mean")->text();
        EXPECT_TRUE(mean.endsWith(" PSI")) << mean.toStdString();
        EXPECT_NEAR(mean.section(' ', 0, 0).toDouble(), sum / trace.Count(), 1e-6);
        EXPECT_EQ(panel.Value("Zero readings")->text(), "0");
        for (const char* caption : {"Std dev", "Peak-to-peak", "Effective resolution",
                                    "Noise-free resolution", "Rate"}) {
            ASSERT_TRUE(panel.Value(caption)) << caption;
            EXPECT_FALSE(panel.Value(caption)->text().startsWith("n/a")) << caption;
        }

        panel.CopyButton()->click();
        const QString copied = QApplication::clipboard()->text();
        EXPECT_TRUE(copied.startsWith("Count\t" + shown + "\t\r\n")) << copied.toStdString();
        EXPECT_TRUE(copied.contains("\r\nReadings shown\t" + shown + "\t\r\n"));
    });
}

}  // namespace
