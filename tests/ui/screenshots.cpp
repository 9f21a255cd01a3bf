// Takes the screenshots under docs/: each dialog as a user sees it, grabbed from the real window.
// Run under Xvfb: xvfb-run -a -s "-screen 0 1280x900x24" zel_screenshots OUTDIR
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <functional>
#include <string>

#include "serial/port_probe.h"
#include "ui/about_dlg.h"
#include "ui/intro_dlg.h"
#include "ui/limitations_dlg.h"
#include "ui/port_dlg.h"

namespace {

QString g_outDir;

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
        CPortDlg::SetProbeFunction([] {
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
    return 0;
}
