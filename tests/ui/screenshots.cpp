// Takes the screenshots under docs/: each dialog as a user sees it, grabbed from the real window.
// Run under Xvfb: xvfb-run -a -s "-screen 0 1280x900x24" zel_screenshots OUTDIR
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>

#include "device/device_state.h"
#include "res/resource_ids.h"
#include "serial/port_probe.h"
#include "serial/port_settings.h"
#include "sim/simulator.h"
#include "ui/about_dlg.h"
#include "ui/app_tab_ctrl.h"
#include "ui/command_page.h"
#include "ui/eeprom_wait_dlg.h"
#include "ui/intro_dlg.h"
#include "ui/limitations_dlg.h"
#include "ui/main_dlg.h"
#include "ui/port_dlg.h"

namespace {

QString g_outDir;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    g_outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(g_outDir);

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
        // The main window during a run against the simulated transducer.
        sim::Simulator simulator;
        if (!simulator.Start()) return 1;
        CMainDlg main;
        g_portName = simulator.PortPath();
        main.SetPortLabel("COM Port : " + g_portName);
        if (!main.OpenPort()) return 1;
        QTimer::singleShot(1500, [] {
            if (g_waitDlg) g_waitDlg->grab().save(QDir(g_outDir).filePath("eeprom-wait.png"));
        });
        auto wait = [](int ms) {
            QEventLoop loop;
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            loop.exec();
        };
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [&main, &wait, &simulator, poll] {
            if (QApplication::activeModalWidget() != &main || !main.isVisible()) {
                QTimer::singleShot(50, *poll);
                return;
            }
            CCommandPage* page = main.CommandPage();
            // A figure for the idle cost: the program with the timer ticking and nothing to do.
            const double idleStart = CpuSeconds();
            wait(3000);
            std::printf("idle CPU: %.1f%% of a core\n", (CpuSeconds() - idleStart) / 3.0 * 100.0);
            emit page->m_commandCombo->activated(0);
            wait(300);
            emit page->m_commandCombo->activated(2);
            wait(300);
            int updates = 0;
            QObject::connect(page->m_readout, &QPlainTextEdit::textChanged,
                             [&updates] { ++updates; });
            page->m_runButton->click();
            const double runStart = CpuSeconds();
            const size_t readingsBefore = simulator.Readings().size();
            wait(2500);
            const size_t readings = simulator.Readings().size() - readingsBefore;
            std::printf("read-out: %.1f updates a second, %.1f readings each\n", updates / 2.5,
                        updates ? double(readings) / updates : 0.0);
            std::printf("CPU during a run: %.1f%% of a core\n",
                        (CpuSeconds() - runStart) / 2.5 * 100.0);
            main.grab().save(QDir(g_outDir).filePath("main-command.png"));
            main.m_tab->TabBar()->setCurrentIndex(1);
            main.m_tab->OnClick();
            wait(300);
            main.grab().save(QDir(g_outDir).filePath("main-eeprom.png"));
            page->m_runButton->click();
            main.close();
        };
        QTimer::singleShot(0, *poll);
        main.DoModal();
    }
    return 0;
}
