// Tools, Database... against a real victoria-metrics on 127.0.0.1, started by the test with a
// scratch folder: the settings checked by OK, and a run's readings written by the program.

#include "ui/database_dialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenuBar>
#include <sstream>

#include "main_window_fixture.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_database.h"
#include "ui/save_file_dialog.h"

namespace {


class DatabaseFromTheProgram : public MainWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(test_db::kVictoriaMetricsProgram))
            << "scripts/setup installs victoria-metrics";
        MainWindow::SetUp();
        std::filesystem::create_directories(tempDir / "db");
    }

    // Tools, Database... through the menu, the fields filled, OK; true once the check is over.
    static bool ApplyThroughTheMenu(CMainDlg& main, const std::string& url,
                                    const std::string& spool) {
        for (QAction* action : main.MenuBar()->findChildren<QAction*>()) {
            if (action->data().toInt() == res::kCmdDatabase) action->trigger();
        }
        ui::DatabaseDialog* dialog = main.DatabaseDialog();
        if (!dialog || !dialog->isVisible()) return false;
        dialog->m_enabled->setChecked(true);
        dialog->m_url->setText(QString::fromStdString(url));
        dialog->m_spoolDir->setText(QString::fromStdString(spool));
        dialog->m_buttons->button(QDialogButtonBox::Ok)->click();
        return uitest::SpinUntil([&] { return !dialog->Export().Starting(); }, 30000);
    }
};

std::vector<std::string> LoggedValues(const std::string& path) {
    std::vector<std::string> values;
    std::istringstream lines(test_files::ReadWholeFile(path));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '\t') values.push_back(line.substr(1));
    }
    return values;
}

TEST_F(DatabaseFromTheProgram,
       A_run_stores_exactly_the_logged_readings_tagged_with_port_and_serial) {
    test_db::Database db(test_db::Database::kVictoriaMetrics, (tempDir / "db").string());
    ASSERT_TRUE(db.Start());
    const std::string logPath = (tempDir / "run.txt").string();
    auto previous =
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* p) {
            *p = logPath;
            return true;
        });
    std::string status;
    RunMain([&](CMainDlg& main) {
        ASSERT_TRUE(ApplyThroughTheMenu(main, db.Url("/write"), (tempDir / "spool").string()));
        ui::DatabaseDialog& dialog = *main.DatabaseDialog();
        EXPECT_TRUE(dialog.Export().Writing());
        EXPECT_FALSE(dialog.isVisible()) << "OK closes it once the database answered";
        EXPECT_TRUE(messages.shown.empty());

        CCommandPage& page = *main.CommandPage();
        page.m_logPressure->click();
        page.m_browse->click();
        page.m_runButton->click();
        ASSERT_TRUE(uitest::SpinUntil([&] { return LoggedValues(logPath).size() > 400; }, 20000));
        page.m_runButton->click();
        // The status line follows the writer: everything logged is sent in a second or two.
        const std::string sent = "Sent " + std::to_string(LoggedValues(logPath).size()) + ",";
        uitest::SpinUntil([&] { return dialog.m_status->text().toStdString().starts_with(sent); },
                          15000);
        status = dialog.m_status->text().toStdString();
    });
    ui::SetSaveFileFunction(previous);

    const std::vector<std::string> logged = LoggedValues(logPath);
    ASSERT_GT(logged.size(), 400u);
    EXPECT_EQ(status, "Sent " + std::to_string(logged.size()) + ", spooled 0; last error: none");
    std::vector<std::string> stored;
    for (const test_db::Point& p : db.Psi(logged.size())) stored.push_back(p.psi);
    EXPECT_EQ(stored, logged) << "the same values in the same order";

    std::string series;
    ASSERT_EQ(test_db::Http(db.Url("/api/v1/series"), &series, "match[]=zel_pressure_psi"), 200);
    EXPECT_NE(series.find("\"port\":\"" + sim->PortPath() + "\""), std::string::npos) << series;
    EXPECT_NE(series.find("\"serial\":\""), std::string::npos) << series;
}

TEST_F(DatabaseFromTheProgram,
       OK_names_a_refusal_and_only_warns_of_a_database_that_does_not_answer) {
    test_db::Database db(test_db::Database::kVictoriaMetrics, (tempDir / "db").string());
    ASSERT_TRUE(db.Start());
    const std::string spool = (tempDir / "spool").string();
    RunMain([&](CMainDlg& main) {
        ASSERT_TRUE(ApplyThroughTheMenu(main, db.Url("/no/such/write"), spool));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text.find("The database at " + db.Url("/no/such/write")), 0u)
            << messages.shown[0].text;
        EXPECT_FALSE(main.DatabaseDialog()->Export().Writing());
        EXPECT_TRUE(main.DatabaseDialog()->isVisible()) << "open, to mend the URL";

        const std::string silent =
            "http://127.0.0.1:" + std::to_string(test_db::FreePort()) + "/write";
        ASSERT_TRUE(ApplyThroughTheMenu(main, silent, spool));
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(messages.shown[1].text.find("The database at " + silent + " does not answer ("),
                  0u)
            << messages.shown[1].text;
        EXPECT_NE(messages.shown[1].text.find("the readings wait in the spool " + spool),
                  std::string::npos);
        EXPECT_TRUE(main.DatabaseDialog()->Export().Writing());
    });
}

}  // namespace
