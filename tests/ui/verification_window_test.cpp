#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QTextDocument>
#include <QTableWidget>
#include <sys/wait.h>

#include <cstdlib>
#include <future>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "device/verification_plan.h"
#include "device/verification_report.h"
#include "main_window_fixture.h"
#include "sim/pressure_controller.h"
#include "ui/verification_window.h"

// A controller run from Tools, Verification Run… against a simulated transducer with sensor
// errors whose truth is an in-process simulated controller's.
class VerificationWindowTest : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        controller = std::make_unique<sim::PressureController>(sim::ControllerOptions{0, 0.05});
        ASSERT_TRUE(controller->Start("127.0.0.1", 0));
        sim::Options options;
        options.errors.offsetPsi = 0.01;
        options.errors.nonlinearityPsi = 0.05;
        options.errors.hysteresisPsi = 0.02;
        options.truePressure = [c = controller.get()](double t) { return c->TruePressureAt(t); };
        sim = std::make_unique<sim::Simulator>(options);
        ASSERT_TRUE(sim->Start());
        ProbeOnly({sim->PortPath()});
    }
    std::unique_ptr<sim::PressureController> controller;
};

TEST_F(VerificationWindowTest, ControllerRunFillsTableAndFiguresAsTheJsonAndSavesPdf) {
    device::VerificationPlan plan;
    plan.minPsi = 0;
    plan.maxPsi = 15;
    plan.pointCount = 3;
    plan.points = {0, 7.5, 15};
    plan.directions = device::Directions::kUpDown;
    plan.settle = {0.3, 0.005, 0.05, 20};
    plan.dwellSeconds = 0.4;
    plan.tolerances = {{"max_error", 1.0}, {"hysteresis", 0.01}};
    // zelctl verify on the same plan and sensor errors, beside the window's run: without noise
    // both see the same counts at each settled point, so both give the same figures.
    const std::string planPath = (tempDir / "plan.json").string();
    const std::string zelctlJson = (tempDir / "zelctl.json").string();
    std::ofstream(planPath) << device::VerificationPlanJson(plan);
    const std::string command = std::string("'") + ZELCTL_PATH +
                                "' verify --simulate --offset-psi 0.01 --nonlinearity-psi 0.05 "
                                "--hysteresis-psi 0.02 --controller sim --controller-tau-s 0.05 "
                                "--plan '" + planPath + "' --json '" + zelctlJson +
                                "' >/dev/null 2>&1 </dev/null";
    auto zelctl = std::async(std::launch::async, [&] { return std::system(command.c_str()); });
    RunMain([&](CMainDlg& main) {
        main.RouteCommand(res::kCmdVerification);
        ui::VerificationWindow* w = main.VerificationWindow();
        ASSERT_NE(w, nullptr);
        w->SetPlan(plan);
        w->ReferenceEdit()->setText(QString::fromStdString("tcp://" + controller->Address()));
        std::string error;
        ASSERT_TRUE(w->Start(&error)) << error;
        EXPECT_TRUE(main.Session()->Running());
        ASSERT_TRUE(uitest::SpinUntil([&] { return w->Result().has_value(); }, 90000));

        const auto json = nlohmann::json::parse(
            device::VerificationJson(device::ReportOf(*w->Result(), *main.Session())));
        EXPECT_EQ(json["verdict"], "fail");  // hysteresis 0.02 PSI is 0.13 % FS
        EXPECT_EQ(w->VerdictLabel()->text(), "Verdict: fail");
        const auto& points = json["points"];
        ASSERT_EQ(points.size(), 5u);
        ASSERT_EQ(w->PointsTable()->rowCount(), 5);
        auto cell = [](QTableWidget* t, int r, int c) { return t->item(r, c)->text().toDouble(); };
        for (int r = 0; r < 5; ++r) {
            const auto& p = points[r];
            EXPECT_EQ(w->PointsTable()->item(r, 1)->text().toStdString(), p["direction"]);
            EXPECT_NEAR(cell(w->PointsTable(), r, 2), p["setpoint_psi"].get<double>(), 1e-4);
            EXPECT_NEAR(cell(w->PointsTable(), r, 3), p["reference_psi"].get<double>(), 1e-6);
            EXPECT_NEAR(cell(w->PointsTable(), r, 4), p["mean_psi"].get<double>(), 1e-6);
            EXPECT_EQ(cell(w->PointsTable(), r, 6), p["count"].get<double>());
            EXPECT_NEAR(cell(w->PointsTable(), r, 8), p["error_pct_fs"].get<double>(), 1e-5);
        }
        for (size_t i = 0; i < device::kVerificationFigureNames.size(); ++i) {
            const std::string name = device::kVerificationFigureNames[i];
            const auto& v = json["figures"][name + "_pct_fs"];
            const QString shown = w->FiguresTable()->item(int(i), 1)->text();
            if (v.is_null()) {
                EXPECT_TRUE(shown.isEmpty()) << name;
            } else {
                EXPECT_NEAR(shown.toDouble(), v.get<double>(), 1e-5) << name;
            }
        }
        EXPECT_EQ(w->FiguresTable()->item(5, 4)->text(), "fail");
        const int zelctlExit = zelctl.get();
        EXPECT_TRUE(WIFEXITED(zelctlExit) && WEXITSTATUS(zelctlExit) == 11) << zelctlExit;
        std::ifstream zelctlIn(zelctlJson);
        const auto fromZelctl = nlohmann::json::parse(zelctlIn, nullptr, false);
        ASSERT_TRUE(fromZelctl.is_object());
        EXPECT_EQ(fromZelctl["verdict"], json["verdict"]);
        ASSERT_EQ(fromZelctl["points"].size(), points.size());
        for (size_t r = 0; r < points.size(); ++r) {
            EXPECT_NEAR(fromZelctl["points"][r]["mean_psi"].get<double>(),
                        cell(w->PointsTable(), int(r), 4), 1e-6) << r;
        }
        for (size_t i = 0; i < device::kVerificationFigureNames.size(); ++i) {
            const std::string name = device::kVerificationFigureNames[i];
            const auto& v = fromZelctl["figures"][name + "_pct_fs"];
            const QString shown = w->FiguresTable()->item(int(i), 1)->text();
            EXPECT_EQ(v.is_null(), shown.isEmpty()) << name;
            if (!v.is_null()) {
                EXPECT_NEAR(shown.toDouble(), v.get<double>(), 1e-5) << name;
            }
        }
        EXPECT_EQ(w->PointsText().count('\n'), 6);
        // ZEL_SCREENSHOT_DIR: the window after the run, for the documentation (under xvfb-run).
        if (const char* dir = std::getenv("ZEL_SCREENSHOT_DIR")) {
            w->show();
            QTest::qWait(300);
            w->grab().save(QString(dir) + "/verification.png");
            QTextDocument doc;
            doc.setHtml(QString::fromStdString(device::VerificationHtml(
                device::ReportOf(*w->Result(), *main.Session()))));
            doc.setTextWidth(900);
            QImage page(900, 1270, QImage::Format_RGB32);
            page.fill(Qt::white);
            QPainter painter(&page);
            doc.drawContents(&painter, QRectF(0, 0, 900, 1270));
            page.save(QString(dir) + "/verification-report.png");
        }

        const QString html = QString::fromStdString((tempDir / "report.html").string());
        ASSERT_TRUE(w->SaveReport(html, &error)) << error;
        const std::string port = std::filesystem::path(sim->PortPath()).filename().string();
        std::ifstream htmlIn(html.toStdString());
        const std::string htmlText{std::istreambuf_iterator<char>(htmlIn), {}};
        EXPECT_NE(htmlText.find(port + "</td>"), std::string::npos) << "the report names the port";

        const QString pdf = QString::fromStdString((tempDir / "report.pdf").string());
        ASSERT_TRUE(w->SaveReport(pdf, &error)) << error;
        std::ifstream in(pdf.toStdString(), std::ios::binary);
        std::string head(4, '\0');
        in.read(head.data(), 4);
        EXPECT_EQ(head, "%PDF");
        const std::string pdfText{std::istreambuf_iterator<char>(in), {}};
        EXPECT_NE(pdfText.find("/Subtype /Image"), std::string::npos) << "the error plot";
        if (std::system("command -v pdfinfo >/dev/null 2>&1") == 0) {
            const std::string cmd = "pdfinfo '" + pdf.toStdString() + "' | grep -q '^Pages: *[1-9]'";
            EXPECT_EQ(std::system(cmd.c_str()), 0);
        }
    });
}
