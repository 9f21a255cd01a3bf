// Takes the screenshots under docs/: each dialog as a user sees it, grabbed from the real window.
// Run under Xvfb: xvfb-run -a -s "-screen 0 1280x900x24" zel_screenshots OUTDIR
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTabBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_processes.h"
#include "paint_counter.h"
#include "ui/recording_window.h"
#include "ui/psd_panel.h"
#include "ui/psd_plot.h"
#include "device/device_state.h"
#include "res/resource_ids.h"
#include "serial/port_probe.h"
#include "serial/port_settings.h"
#include "ui/about_dlg.h"
#include "ui/app_tab_ctrl.h"
#include "ui/command_page.h"
#include "ui/eeprom_wait_dlg.h"
#include "ui/intro_dlg.h"
#include "ui/limitations_dlg.h"
#include "ui/main_dlg.h"
#include "ui/port_dlg.h"
#include "ui/pressure_plot.h"
#include "ui/pressure_plot_window.h"
#include "ui/statistics_panel.h"
#include "ui/save_file_dialog.h"

namespace {

QString g_outDir;

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool SpinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        Wait(20);
    }
    return true;
}

using bench::CpuSeconds;
using bench::Helper;
using bench::StartSim;

struct Figures {
    double program = 0;  // % of a core
    double zelctl = 0;
    double seconds = 0;  // the window's length as it ran
};

// This process's CPU, and `zelctl`'s over the same span, while the event loop runs.
Figures Measure(Helper* zelctl, double seconds) {
    QElapsedTimer clock;
    clock.start();
    const double programStart = CpuSeconds();
    const double zelctlStart = zelctl ? CpuSeconds(zelctl->Pid()) : 0.0;
    Wait(static_cast<int>(seconds * 1000));
    Figures f;
    f.seconds = clock.nsecsElapsed() / 1e9;
    f.program = (CpuSeconds() - programStart) / f.seconds * 100.0;
    if (zelctl) f.zelctl = (CpuSeconds(zelctl->Pid()) - zelctlStart) / f.seconds * 100.0;
    return f;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Print(const char* what, const std::vector<Figures>& windows) {
    std::vector<double> program, zelctl, ratio;
    for (const Figures& f : windows) {
        program.push_back(f.program);
        zelctl.push_back(f.zelctl);
        ratio.push_back(f.program / f.zelctl);
    }
    std::printf("  %-18s median %.2f %%, zelctl acquire %.2f %%: %.2f x (windows:", what,
                Median(program), Median(zelctl), Median(ratio));
    for (double r : ratio) std::printf(" %.2f", r);
    std::printf(" x)\n");
}

// Runs `dialog` modally, saves it as `name` once it is on screen, and closes it.
void Shoot(CDialog& dialog, const QString& name, std::function<void()> before = {}) {
    QTimer::singleShot(400, [&dialog, name, before] {
        if (before) before();
        QApplication::processEvents();
        dialog.grab().save(QDir(g_outDir).filePath(name));
        dialog.EndDialog(0);
    });
    dialog.DoModal();
}

// A 40 s run of the simulated transducer holding 7.5 psi with white noise and a 50 Hz tone of
// known size, recorded by zelctl as CSV and opened as Open Recording opens it: the Spectrum tab,
// and what it found against the truth.
int ShootSpectrum() {
    constexpr double kTonePsi = 0.002, kToneHz = 50, kNoisePsi = 0.0002;
    const QString dir = QDir::temp().filePath(
        QStringLiteral("zel-screenshots-%1-tone").arg(QCoreApplication::applicationPid()));
    QDir().mkpath(dir);
    const QString csv = QDir(dir).filePath(QStringLiteral("run-50hz.csv"));
    Helper zelctl;
    if (!zelctl.Start(ZEL_ZELCTL,
                      {"acquire", "--simulate", "--pressure", "7.5", "--noise-psi",
                       std::to_string(kNoisePsi), "--tone-psi", std::to_string(kTonePsi),
                       "--tone-hz", std::to_string(kToneHz), "--seed", "1", "--duration", "40",
                       "--format", "csv"},
                      csv.toLocal8Bit().constData()) ||
        !zelctl.Ended(90000)) {
        std::printf("zelctl acquire did not record the run\n");
        return 1;
    }
    QPointer<ui::PressurePlotWindow> window = ui::OpenRecording(csv, nullptr);
    SpinUntil([&] { return !window || !window->findChild<QProgressBar*>()->isVisible(); }, 30000);
    if (!window) return 1;
    window->resize(1260, 860);
    ui::SpectrumPanel* spectrum = window->Spectrum();
    if (auto* tabs = window->findChild<QTabWidget*>()) tabs->setCurrentWidget(spectrum);
    Wait(500);
    spectrum->Refresh();
    SpinUntil([&] { return !spectrum->Busy(); }, 10000);
    const auto& s = spectrum->Current();
    if (!s || s->peaks.empty()) {
        std::printf("no spectrum of the recorded run\n");
        return 1;
    }
    spectrum->Plot()->SetBand(std::make_pair(1.0, 40.0));
    spectrum->Plot()->SetCursorBin(
        static_cast<size_t>(std::lround(s->peaks[0].hz * s->segment / s->rateHz)));
    Wait(300);
    window->grab().save(QDir(g_outDir).filePath("psd.png"));
    const double expectedDensity = kNoisePsi / std::sqrt(s->rateHz / 2);
    std::printf("spectrum of a 40 s run, %ld readings at %.3f Hz (spacing %.3f ms +- %.3f ms), "
                "%ld segments of %d:\n",
                s->readings, s->rateHz, s->spacing.meanSeconds * 1e3, s->spacing.stdSeconds * 1e3,
                s->segments, s->segment);
    std::printf("  tone %.4f psi at %.1f Hz: peak 1 at %.3f Hz (bin %.3f Hz), %.5f psi (%+.1f %%)\n",
                kTonePsi, kToneHz, s->peaks[0].hz, s->rateHz / s->segment,
                s->peaks[0].amplitudePsi, (s->peaks[0].amplitudePsi / kTonePsi - 1) * 100);
    std::printf("  noise %.5f psi: density %.3g psi/rtHz against sigma/sqrt(fs/2) = %.3g (%+.1f %%)\n",
                kNoisePsi, s->noiseDensity.value_or(0), expectedDensity,
                (s->noiseDensity.value_or(0) / expectedDensity - 1) * 100);
    window->close();
    QDir(dir).removeRecursively();
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    g_outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(g_outDir);
    // zel_screenshots DIR spectrum: the spectrum of a recorded run alone.
    if (argc > 2 && std::string(argv[2]) == "spectrum") return ShootSpectrum();
    if (ShootSpectrum() != 0) return 1;

    {
        CIntroDlg intro;
        // The introduction's OK would run the port dialog; only the window is wanted here.
        Shoot(intro, QStringLiteral("intro.png"));
    }
    {
        CPortDlg::SetProbeFunction([](const serial::ProbeConfig&) {
            serial::ProbeResult r;
            r.names = {"ttyUSB0", "ttyUSB1"};
            r.denied = {{"ttyS4",
                         "You may not open /dev/ttyS4: serial ports belong to the group "
                         "\"dialout\". Add your user to it (sudo adduser $USER dialout), "
                         "then log out and in again."}};
            return r;
        });
        CPortDlg port;
        Shoot(port, QStringLiteral("port-dialog.png"));
    }
    {
        CLimitationsDlg limitations;
        Shoot(limitations, QStringLiteral("limitations.png"));
    }
    {
        CAboutDlg about;
        Shoot(about, QStringLiteral("about.png"));
    }
    {
        // The main window during a run, and the CPU figures side by side: the program and
        // `zelctl acquire` each read their own zel-sim at 150 readings a second with the log on,
        // so that no simulator's work counts for either.
        Helper simProgram, simZelctl, zelctl;
        const QString logDir = QDir::temp().filePath(
            QStringLiteral("zel-screenshots-%1").arg(QCoreApplication::applicationPid()));
        QDir().mkpath(logDir);
        auto inLogDir = [&](const char* name) {
            return QDir(logDir).filePath(QString::fromLatin1(name)).toStdString();
        };
        const std::string programPort = StartSim(simProgram, inLogDir("program-port"));
        const std::string zelctlPort = StartSim(simZelctl, inLogDir("zelctl-port"));
        if (programPort.empty() || zelctlPort.empty()) return 1;
        const std::string zelctlLog = inLogDir("zelctl.txt");
        const std::string programLog = inLogDir("program.txt");
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* path) {
            *path = programLog;
            return true;
        });

        // zelctl reads its EEPROM (about 5 s) beside the program's, and is acquiring by the time
        // the main window is up.
        if (!zelctl.Start(ZEL_ZELCTL, {"acquire", "--port", zelctlPort, "--log", zelctlLog,
                                       "--duration", "600"})) {
            return 1;
        }
        CMainDlg main;
        g_portName = programPort;
        main.SetPortLabel("COM Port : " + g_portName);
        if (!main.OpenPort()) return 1;
        QTimer::singleShot(1500, [] {
            if (g_waitDlg) g_waitDlg->grab().save(QDir(g_outDir).filePath("eeprom-wait.png"));
        });
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [&, poll] {
            if (QApplication::activeModalWidget() != &main || !main.isVisible()) {
                QTimer::singleShot(50, *poll);
                return;
            }
            CCommandPage* page = main.CommandPage();
            // Idle: the timer ticking, nothing to do.
            const double idle = Measure(nullptr, 10.0).program;
            if (!SpinUntil([&] { return QFileInfo(QString::fromStdString(zelctlLog)).size() > 0; },
                           20000)) {
                std::printf("zelctl never started its acquisition\n");
            }
            emit page->m_commandCombo->activated(0);
            Wait(300);
            emit page->m_commandCombo->activated(2);
            Wait(300);
            page->m_logPressure->click();
            page->m_browse->click();
            int updates = 0;
            QObject::connect(page->m_readout, &QPlainTextEdit::textChanged,
                             [&updates] { ++updates; });
            ui::PressureFeed& feed = page->PressureFeed();
            page->m_runButton->click();
            Wait(1000);
            main.grab().save(QDir(g_outDir).filePath("main-command.png"));
            main.RouteCommand(res::kCmdPressurePlot);  // as View, Pressure Plot opens it
            ui::PressurePlotWindow* plot = main.PlotWindow();
            plot->move(main.frameGeometry().topRight() + QPoint(8, 0));
            PaintCounter plotPaints;
            plot->Plot()->installEventFilter(&plotPaints);

            // Windows of 10 s, the plot closed, open and open but paused by turns, so that a
            // change in the machine's load meanwhile falls on all alike; the medians of three of
            // each.
            main.RouteCommand(res::kCmdStatistics);  // as View, Statistics opens it
            ui::StatisticsWindow* statistics = main.StatisticsWindow();
            statistics->move(plot->frameGeometry().bottomLeft() + QPoint(0, 8));
            statistics->Panel()->WindowChoice()->setCurrentIndex(3);  // the whole run
            statistics->hide();
            std::vector<Figures> running, plotting, paused, withStatistics;
            int windowUpdates = 0, windowPaints = 0, pausedPaints = 0;
            size_t windowReadings = 0;
            double runningSeconds = 0, plottingSeconds = 0;
            for (int round = 0; round < 3; ++round) {
                plot->hide();
                Wait(500);
                feed.Flush();
                const size_t readingsBefore = feed.Trace().Count();
                const int updatesBefore = updates;
                running.push_back(Measure(&zelctl, 10.0));
                runningSeconds += running.back().seconds;
                feed.Flush();
                windowReadings += feed.Trace().Count() - readingsBefore;
                windowUpdates += updates - updatesBefore;
                plot->show();
                Wait(500);
                const int paintsBefore = plotPaints.paints;
                plotting.push_back(Measure(&zelctl, 10.0));
                plottingSeconds += plotting.back().seconds;
                windowPaints += plotPaints.paints - paintsBefore;
                plot->Plot()->SetPaused(true);
                Wait(500);
                const int pausedBefore = plotPaints.paints;
                paused.push_back(Measure(&zelctl, 10.0));
                pausedPaints += plotPaints.paints - pausedBefore;
                plot->Plot()->SetPaused(false);
                statistics->show();
                Wait(500);
                withStatistics.push_back(Measure(&zelctl, 10.0));
                statistics->hide();
            }
            statistics->show();
            Wait(1000);
            statistics->grab().save(QDir(g_outDir).filePath("statistics.png"));
            statistics->hide();
            Wait(500);
            plot->grab().save(QDir(g_outDir).filePath("pressure-plot.png"));
            // Paused, with the cursor and two markers five seconds apart.
            {
                ui::PressurePlot& p = *plot->Plot();
                p.SetPaused(true);
                const auto [from, to] = p.TimeRange();
                p.SetCursorAt(to - 7.0);
                p.PutMarker();
                p.SetCursorAt(to - 2.0);
                p.PutMarker();
                p.SetCursorAt(to - 4.0);
                Wait(300);
                plot->grab().save(QDir(g_outDir).filePath("pressure-plot-paused.png"));
                p.ClearMarkers();
                p.SetPaused(false);
            }

            std::printf(
                "CPU, %% of a core, side by side on two zel-sim streams at 150 readings/s, "
                "log on:\n");
            std::printf("  idle, 10 s:                     %.2f %%\n", idle);
            Print("running", running);
            Print("running, plot open", plotting);
            Print("running, plot paused", paused);
            Print("running, plot + stats", withStatistics);
            std::printf(
                "read-out: %.1f updates a second, %.1f readings each; plot: %.1f repaints "
                "a second, paused %d repaints in all\n",
                windowUpdates / runningSeconds,
                windowUpdates ? double(windowReadings) / windowUpdates : 0.0,
                windowPaints / plottingSeconds, pausedPaints);
            plot->close();

            main.m_tab->TabBar()->setCurrentIndex(1);
            main.m_tab->OnClick();
            Wait(300);
            main.grab().save(QDir(g_outDir).filePath("main-eeprom.png"));
            main.m_tab->TabBar()->setCurrentIndex(0);
            main.m_tab->OnClick();
            // The adapter pulled during the run: the program waits for it to come back.
            simProgram.Stop();
            if (SpinUntil([&] { return main.WaitingForPort(); }, 10000)) {
                Wait(1000);
                std::printf("  waiting for a pulled port, 10 s: %.2f %%\n",
                            Measure(nullptr, 10.0).program);
            } else {
                std::printf("the program never began to wait for its port\n");
            }
            main.StopWaitingForPort();
            main.close();
        };
        QTimer::singleShot(0, *poll);
        main.DoModal();
        zelctl.Stop();
        simProgram.Stop();
        simZelctl.Stop();
        QDir(logDir).removeRecursively();
    }
    return 0;
}
