// The program's CPU and memory while it streams, measured on zel-demo's own start-up: the
// introduction, the port dialog, the EEPROM read-out and the main window, driven as a user would,
// on a zel-sim at 150 readings a second with the log on; `zelctl acquire` beside it on a zel-sim
// of its own. Prints figures, asserts nothing.
//
//   xvfb-run -a -s "-screen 0 1280x900x24" zel_footprint [MINUTES]
//
// MINUTES (default 0) streams that long more before the last figures; with 0 an hour of readings
// is added to a pressure trace of the process instead, which is what an hour more of streaming
// keeps (everything else the program holds is bounded).
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_processes.h"
#include "paint_counter.h"
#include "res/resource_ids.h"
#include "ui/command_page.h"
#include "ui/main_dlg.h"
#include "ui/pressure_feed.h"
#include "ui/pressure_plot.h"
#include "ui/pressure_plot_window.h"
#include "ui/pressure_trace.h"
#include "ui/program_main.h"
#include "ui/save_file_dialog.h"
#include "ui/template_builder.h"

namespace {

struct Bench {
    bench::Helper simProgram, simZelctl, zelctl;
    std::string dir, programLog;
    double minutes = 0;
    bool started = false;
};
Bench* g_bench = nullptr;

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Cpu {
    double program = 0, zelctl = 0;  // % of a core
};

Cpu Measure(double seconds) {
    const double program = bench::CpuSeconds();
    const double zelctl = bench::CpuSeconds(g_bench->zelctl.Pid());
    QElapsedTimer clock;
    clock.start();
    Wait(static_cast<int>(seconds * 1000));
    const double elapsed = clock.nsecsElapsed() / 1e9;
    return {(bench::CpuSeconds() - program) / elapsed * 100.0,
            (bench::CpuSeconds(g_bench->zelctl.Pid()) - zelctl) / elapsed * 100.0};
}

Cpu Median(std::vector<Cpu> windows) {
    auto middle = [&](auto field) {
        std::vector<double> v;
        for (const Cpu& c : windows) v.push_back(c.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    return {middle(&Cpu::program), middle(&Cpu::zelctl)};
}

void PrintMemory(const char* when) {
    const bench::Memory program = bench::MemoryOf();
    const bench::Memory zelctl = bench::MemoryOf(g_bench->zelctl.Pid());
    std::printf("  %-34s program RSS %5.1f MiB, PSS %5.1f MiB; zelctl RSS %4.1f MiB, PSS %4.1f MiB\n",
                when, program.rss, program.pss, zelctl.rss, zelctl.pss);
}

void Stream(CMainDlg& main) {
    CCommandPage* page = main.CommandPage();
    emit page->m_commandCombo->activated(0);
    Wait(300);
    emit page->m_commandCombo->activated(2);
    Wait(300);
    page->m_logPressure->click();
    page->m_browse->click();
    int updates = 0;
    QObject::connect(page->m_readout, &QPlainTextEdit::textChanged, [&updates] { ++updates; });
    page->m_runButton->click();
    Wait(3000);

    main.RouteCommand(res::kCmdPressurePlot);  // as View, Pressure Plot opens it
    ui::PressurePlotWindow* plot = main.PlotWindow();
    PaintCounter paints;
    plot->Plot()->installEventFilter(&paints);
    // Windows of 10 s, the plot closed and open by turns; the medians of three of each.
    std::vector<Cpu> closed, open;
    int closedUpdates = 0, openPaints = 0;
    for (int round = 0; round < 3; ++round) {
        plot->hide();
        Wait(500);
        const int updatesBefore = updates;
        closed.push_back(Measure(10.0));
        closedUpdates += updates - updatesBefore;
        plot->show();
        Wait(500);
        const int paintsBefore = paints.paints;
        open.push_back(Measure(10.0));
        openPaints += paints.paints - paintsBefore;
    }
    std::printf("CPU, %% of a core, medians of three 10 s windows, zel-sim at 150 readings/s, log on:\n");
    const Cpu c = Median(closed), o = Median(open);
    std::printf("  streaming, read-out shown          program %.2f %%, zelctl acquire %.2f %%\n",
                c.program, c.zelctl);
    std::printf("  streaming, Pressure Plot open      program %.2f %%, zelctl acquire %.2f %%\n",
                o.program, o.zelctl);
    std::printf("  read-out %.1f updates a second, plot %.1f repaints a second\n",
                closedUpdates / 30.0, openPaints / 30.0);
    std::printf("Memory (/proc/PID/smaps_rollup), the plot open:\n");
    PrintMemory("after a minute of streaming:");
    if (g_bench->minutes > 0) {
        Wait(static_cast<int>(g_bench->minutes * 60000));
        char when[64];
        std::snprintf(when, sizeof when, "after %g minutes more:", g_bench->minutes);
        PrintMemory(when);
    } else {
        // What an hour more of streaming keeps: an hour of readings in a trace.
        auto hour = std::make_unique<ui::PressureTrace>();
        const auto& live = main.CommandPage()->PressureFeed().Trace();
        const ui::TracePoint like = live.Empty() ? ui::TracePoint{} : live.Newest();
        for (std::int64_t i = 0; i < 150 * 3600; ++i) {
            ui::TracePoint p = like;
            p.nanos = i * 1'000'000'000 / 150;
            hour->Add(p);
        }
        Wait(2000);
        PrintMemory("with an hour of readings more:");
    }
    std::fflush(stdout);
}

// Each look is a fresh single shot: the introduction's Enter and the port dialog's buttons run
// the next dialog nested inside the call.
void Drive() {
    QTimer::singleShot(50, qApp, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* main = qobject_cast<CMainDlg*>(modal); main && main->isVisible()) {
            Stream(*main);
            g_bench->zelctl.Stop();
            main->close();
            return;
        }
        Drive();
        if (!modal) return;
        if (modal->windowTitle() == QStringLiteral("Open Communication Port")) {
            auto* ok = qobject_cast<QAbstractButton*>(ui::FindControl(modal, res::kIdOk));
            auto* open = qobject_cast<QAbstractButton*>(ui::FindControl(modal, res::kIdcOpenPort));
            if (ok && ok->isEnabled()) {
                ok->click();
            } else if (open && open->isEnabled() && !g_bench->started) {
                g_bench->started = true;
                open->click();
            }
        } else if (modal->windowTitle().startsWith(QStringLiteral("Velmarin"))) {
            QWidget* target = modal->focusWidget() ? modal->focusWidget() : modal;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(target, &press);
        }
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    Bench run;
    g_bench = &run;
    if (argc > 1) run.minutes = std::atof(argv[1]);
    char dirTemplate[] = "/tmp/zel-footprint-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    run.dir = dirTemplate;
    run.programLog = run.dir + "/program.txt";
    const std::string programPort = bench::StartSim(run.simProgram, run.dir + "/program-port");
    const std::string zelctlPort = bench::StartSim(run.simZelctl, run.dir + "/zelctl-port");
    if (programPort.empty() || zelctlPort.empty()) return 1;
    if (!run.zelctl.Start(ZEL_ZELCTL, {"acquire", "--port", zelctlPort, "--log",
                                       run.dir + "/zelctl.txt", "--duration", "86400"})) {
        return 1;
    }
    ui::SetSaveFileFunction([&run](QWidget*, const ui::SaveFileRequest&, std::string* path) {
        *path = run.programLog;
        return true;
    });

    std::string self = argv[0], portOption = "--port";
    std::string port = programPort;
    std::vector<char*> arguments = {self.data(), portOption.data(), port.data(), nullptr};
    int count = 3;
    ui::StartUpExtras extras;
    extras.beforeIntroduction = [](const QCommandLineParser&) { Drive(); };
    const int code = ui::RunProgram(count, arguments.data(), extras);
    run.zelctl.Stop();
    run.simProgram.Stop();
    run.simZelctl.Stop();
    QDir(QString::fromStdString(run.dir)).removeRecursively();
    return code;
}
