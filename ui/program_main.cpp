#include "ui/program_main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "res/build_info.h"
#include "res/strings.h"
#include "serial/port_probe.h"
#include "sim/simulator.h"
#include "ui/app_icon.h"
#include "ui/message_boxes.h"
#include "ui/main_dlg.h"
#include "ui/port_dlg.h"
#include "ui/zel_app.h"

namespace {

bool WantsHelpOrVersion(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "--help-all" ||
            arg == "--version" || arg == "-v")
            return true;
    }
    return false;
}

// Without a display Qt would abort with a message about platform plugins.
bool HasDisplay() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

namespace ui {

int RunProgram(int argc, char* argv[], const StartUpExtras& extras) {
    // --help and --version need no window, so they work on a console without a desktop.
    const bool helpOnly = WantsHelpOrVersion(argc, argv);
    if (!helpOnly && !HasDisplay()) {
        std::fprintf(stderr,
                     "zel-demo: no graphical desktop here (DISPLAY is not set). Start it from a "
                     "desktop session, or use zelctl on a console.\n");
        return 1;
    }
    std::unique_ptr<QCoreApplication> application;
    if (helpOnly) {
        application = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        application = std::make_unique<QApplication>(argc, argv);
        QApplication::setWindowIcon(ui::AppIcon());
    }
    QCoreApplication& app = *application;
    QCoreApplication::setApplicationName(QString::fromLatin1(res::kAppTitle));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(res::kVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Demonstration and test host for a Zel pressure transducer on its demo board, connected to "
        "a serial port (115200 baud, 8 data bits, no parity, 1 stop bit)."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("List the serial device PATH first in the port dialog (repeatable), e.g. a "
                       "pseudo-terminal of zel-sim."),
        QStringLiteral("PATH"));
    parser.addOption(portOption);
    const QCommandLineOption devDirOption(
        QStringLiteral("dev-dir"),
        QStringLiteral("Look for serial devices in DIR instead of /dev."), QStringLiteral("DIR"));
    parser.addOption(devDirOption);
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Start a simulated transducer on a pseudo-terminal and list it first."));
    parser.addOption(simulateOption);
    // zel-sim's sensor options, for the simulated transducer.
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("With --simulate: the seed of the simulated noise (default 1)."),
        QStringLiteral("N"));
    parser.addOption(seedOption);
    std::vector<QCommandLineOption> sensorOptions;
    for (const sim::SensorOption& o : sim::SensorOptions()) {
        sensorOptions.emplace_back(
            QString::fromLatin1(o.name),
            QStringLiteral("With --simulate: ") + QString::fromLatin1(o.help) + QStringLiteral("."),
            QString::fromLatin1(o.value));
        parser.addOption(sensorOptions.back());
    }
    if (extras.addOptions) extras.addOptions(parser);
    parser.process(app);

    sim::Options simOptions;
    bool simOptionGiven = false;
    std::string simError;
    for (size_t i = 0; i < sensorOptions.size() && simError.empty(); ++i) {
        if (!parser.isSet(sensorOptions[i])) continue;
        simOptionGiven = true;
        sim::SetSensorOption(sim::SensorOptions()[i].name,
                             parser.value(sensorOptions[i]).toStdString(), &simOptions.errors,
                             &simError);
    }
    if (parser.isSet(seedOption)) {
        simOptionGiven = true;
        bool ok = false;
        simOptions.seed = parser.value(seedOption).toUInt(&ok);
        if (!ok && simError.empty()) simError = "--seed needs a number from 0 to 4294967295";
    }
    if (simError.empty()) sim::CheckSensorErrors(simOptions.errors, &simError);
    if (simError.empty() && simOptionGiven && !parser.isSet(simulateOption))
        simError = "--seed and the simulated transducer's options need --simulate";
    if (!simError.empty()) {
        std::fprintf(stderr, "zel-demo: %s\n", simError.c_str());
        return 1;
    }

    sim::Simulator simulator(simOptions);
    std::vector<std::string> extra;
    if (parser.isSet(simulateOption)) {
        std::string error;
        if (!simulator.Start(&error)) {
            std::fprintf(stderr, "zel-demo: the simulated transducer did not start: %s\n",
                         error.c_str());
            return 1;
        }
        extra.push_back(simulator.PortPath());
    }
    for (const QString& path : parser.values(portOption))
        extra.push_back(path.toLocal8Bit().toStdString());
    serial::SetExtraPorts(extra);
    if (parser.isSet(devDirOption)) {
        const std::string dir = parser.value(devDirOption).toLocal8Bit().toStdString();
        CMainDlg::SetDevDir(dir);
        CPortDlg::SetProbeFunction([dir](serial::ProbeConfig config) {
            config.devDir = dir;
            return serial::ProbePorts(config);
        });
    }

    ui::InstallMessageBoxes();
    if (extras.beforeIntroduction) extras.beforeIntroduction(parser);

    CZelApp theApp;
    return theApp.InitInstance();
}

}  // namespace ui
