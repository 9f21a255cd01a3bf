#include "ui/port_dlg.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>

#include "res/resource_ids.h"
#include "serial/port_settings.h"
#include "serial/serial_port.h"
#include "sim/simulator.h"
#include "ui/message_boxes.h"
#include "ui/port_dialog_host.h"
#include "ui_test_support.h"

namespace {

// The main dialog as the port dialog sees it: a real port opened through serial::OpenPort, a
// failure told as the main dialog tells it.
class TestHost : public CPortDialogHost {
public:
    bool OpenPort() override {
        const serial::PortOpenResult opened = serial::OpenPort(&port);
        ui::ShowPortOpenFailure(opened, g_portName);
        return static_cast<bool>(opened);
    }
    void SetPortLabel(const std::string& text) override { label = text; }
    void RunMainDialog() override { ++mainRuns; }
    std::string HeldPort() const override { return port.IsOpen() ? g_portName : ""; }
    CSerialPort port;
    std::string label;
    int mainRuns = 0;
};

class PortDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(simA.Start());
        ASSERT_TRUE(simB.Start());
        emptyDev = std::filesystem::temp_directory_path() / "zel-empty-dev";
        std::filesystem::create_directories(emptyDev);
        Probe({simA.PortPath(), simB.PortPath()});
        CPortDialogHost::SetMain(&host);
        g_mainDlgActive = false;
        CDialog::ResetProgramEnd();
    }
    void TearDown() override {
        CPortDialogHost::SetMain(nullptr);
        CPortDlg::SetProbeFunction({});
        g_mainDlgActive = false;
        CDialog::ResetProgramEnd();
    }
    // Probes only the given paths (never the machine's own serial ports).
    void Probe(std::vector<std::string> paths) {
        const std::string dir = emptyDev.string();
        CPortDlg::SetProbeFunction([paths, dir](serial::ProbeConfig config) {
            config.extraPorts = paths;
            config.devDir = dir;
            return serial::ProbePorts(config);
        });
    }
    // Runs the dialog and `steps` on it once it is up; the steps end it.
    void Run(CPortDlg& dialog, std::function<void(CPortDlg&)> steps) {
        bool missed = false;
        uitest::WhenModal([&](QWidget* w) { return w == &dialog; },
                          [&](QWidget*) { steps(dialog); }, &missed);
        dialog.DoModal();
        EXPECT_FALSE(missed);
    }
    static bool Enabled(CPortDlg& d, int id) { return d.GetDlgItem(id)->isEnabled(); }
    static void Click(CPortDlg& d, int id) { d.Item<QPushButton>(id)->click(); }
    static QComboBox* List(CPortDlg& d) { return d.Item<QComboBox>(res::kIdcPortList); }

    // List, label, Open Port / radio buttons / OK, Reset / Exit, as the dialog's state table has
    // it.
    static void ExpectState(CPortDlg& d, bool listSide, bool okReset) {
        EXPECT_EQ(Enabled(d, res::kIdcPortList), listSide);
        EXPECT_EQ(Enabled(d, res::kIdcOpenPort), listSide);
        for (int id = res::kIdcBaudFirst; id <= res::kIdcBaud115200; ++id)
            EXPECT_FALSE(Enabled(d, id));
        for (int id : {res::kIdcParityNone, res::kIdcParityOdd, res::kIdcParityEven}) {
            EXPECT_FALSE(Enabled(d, id));
        }
        EXPECT_EQ(Enabled(d, res::kIdOk), okReset);
        EXPECT_EQ(Enabled(d, res::kIdcReset), okReset);
        EXPECT_TRUE(Enabled(d, res::kIdcPortExit));
    }

    sim::Simulator simA, simB;
    std::filesystem::path emptyDev;
    TestHost host;
};

TEST_F(PortDialog, Lists_the_openable_ports_in_probing_order_with_the_first_selected) {
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        ASSERT_EQ(List(d)->count(), 2);
        EXPECT_EQ(List(d)->itemText(0).toStdString(), simA.PortPath());
        EXPECT_EQ(List(d)->itemText(1).toStdString(), simB.PortPath());
        EXPECT_EQ(List(d)->currentIndex(), 0);
        EXPECT_TRUE(d.Item<QRadioButton>(res::kIdcBaud115200)->isChecked());
        EXPECT_TRUE(d.Item<QRadioButton>(res::kIdcParityNone)->isChecked());
        ExpectState(d, true, false);
        d.EndDialog(0);
    });
}

TEST_F(PortDialog, Leaves_out_a_port_that_is_already_held) {
    CSerialPort held;
    ASSERT_TRUE(held.Open(simA.PortPath()));
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        ASSERT_EQ(List(d)->count(), 1);
        EXPECT_EQ(List(d)->itemText(0).toStdString(), simB.PortPath());
        d.EndDialog(0);
    });
}

TEST_F(PortDialog, Open_Port_opens_at_115200_N81_and_unlocks_OK_and_Reset) {
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        List(d)->setCurrentIndex(1);
        Click(d, res::kIdcOpenPort);
        EXPECT_TRUE(host.port.IsOpen());
        EXPECT_EQ(g_portName, simB.PortPath());
        EXPECT_EQ(g_portSettings, "115200,N,8,1");
        EXPECT_EQ(g_parityText, "NONE - 8 - 1");
        ExpectState(d, false, true);
        EXPECT_FALSE(Enabled(d, res::kIdcPropertiesBox));
        d.EndDialog(0);
    });
}

TEST_F(PortDialog, Shows_a_usb_adapter_by_model_and_serial_number_and_opens_its_port) {
    CPortDlg::SetProbeFunction([&](const serial::ProbeConfig&) {
        serial::ProbeResult listed;
        listed.names = {simA.PortPath(), simB.PortPath()};
        listed.adapters = {"", "FT232R USB UART (A10K3XYZ)"};
        return listed;
    });
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        EXPECT_EQ(List(d)->itemText(0).toStdString(), simA.PortPath());
        EXPECT_EQ(List(d)->itemText(1).toStdString(),
                  simB.PortPath() + " \u2014 FT232R USB UART (A10K3XYZ)");
        List(d)->setCurrentIndex(1);
        Click(d, res::kIdcOpenPort);
        EXPECT_TRUE(host.port.IsOpen());
        EXPECT_EQ(g_portName, simB.PortPath());
        Click(d, res::kIdOk);
        EXPECT_EQ(host.label, "COM Port : " + simB.PortPath());
    });
}

TEST_F(PortDialog, Reset_unlocks_the_choice_again_and_keeps_the_port_open) {
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        Click(d, res::kIdcOpenPort);
        Click(d, res::kIdcReset);
        ExpectState(d, true, false);
        EXPECT_TRUE(host.port.IsOpen());
        // The next Open Port closes it before opening the new choice.
        List(d)->setCurrentIndex(1);
        Click(d, res::kIdcOpenPort);
        EXPECT_EQ(g_portName, simB.PortPath());
        CSerialPort again;
        EXPECT_TRUE(again.Open(simA.PortPath()));
        d.EndDialog(0);
    });
}

TEST_F(PortDialog, Open_Port_with_no_port_found_shows_the_error_and_changes_nothing) {
    Probe({});
    uitest::MessageRecorder messages;
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        EXPECT_EQ(List(d)->count(), 0);
        Click(d, res::kIdcOpenPort);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "Error Opening COM Port");
        EXPECT_EQ(messages.shown[0].caption, "Zel Demo Interface Software");
        EXPECT_EQ(messages.shown[0].icon, ui::MessageIcon::Error);
        ExpectState(d, true, false);
        d.EndDialog(0);
    });
}

TEST_F(PortDialog, A_failed_Open_Port_says_why_below_the_fixed_text_and_changes_nothing) {
    // A port taken since probing, and a directory given as the port.
    const std::string dir = emptyDev.string();
    CPortDlg::SetProbeFunction([&](const serial::ProbeConfig&) {
        serial::ProbeResult listed;
        listed.names = {simA.PortPath(), dir};
        return listed;
    });
    CSerialPort thief;
    ASSERT_TRUE(thief.Open(simA.PortPath()));
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        const std::string why[] = {" is in use by PID " + std::to_string(::getpid()),
                                   " is not a serial device."};
        for (int i = 0; i < 2; ++i) {
            uitest::MessageRecorder messages;
            List(d)->setCurrentIndex(i);
            Click(d, res::kIdcOpenPort);
            ASSERT_EQ(messages.shown.size(), 1u);
            const std::string expected =
                "Error Opening COM Port\n\n" + List(d)->itemText(i).toStdString() + why[i];
            EXPECT_EQ(messages.shown[0].text.rfind(expected, 0), 0u) << messages.shown[0].text;
            EXPECT_FALSE(host.port.IsOpen());
            ExpectState(d, true, false);
        }
        d.EndDialog(0);
    });
}

TEST_F(PortDialog, OK_at_start_up_sets_the_port_label_and_runs_the_main_dialog) {
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        Click(d, res::kIdcOpenPort);
        Click(d, res::kIdOk);
    });
    EXPECT_EQ(host.label, "COM Port : " + simA.PortPath());
    EXPECT_EQ(host.mainRuns, 1);
    EXPECT_FALSE(CDialog::ProgramEnded());
}

TEST_F(PortDialog, Enter_does_not_pass_OK_before_a_port_is_open) {
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        QTest::keyClick(List(d), Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(host.mainRuns, 0);
        Click(d, res::kIdcOpenPort);
        QTest::keyClick(List(d), Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(host.mainRuns, 1);
}

TEST_F(PortDialog, Exit_and_Escape_at_start_up_end_the_program_with_code_0) {
    for (bool escape : {false, true}) {
        CDialog::ResetProgramEnd();
        CPortDlg dialog;
        Run(dialog, [&](CPortDlg& d) {
            if (escape)
                QTest::keyClick(List(d), Qt::Key_Escape);
            else
                Click(d, res::kIdcPortExit);
        });
        EXPECT_TRUE(CDialog::ProgramEnded());
        EXPECT_EQ(CDialog::ExitCode(), 0);
    }
}

TEST_F(PortDialog,
       From_the_running_main_dialog_Exit_and_Escape_only_close_it_and_the_port_stays_open) {
    g_mainDlgActive = true;
    g_portName = simB.PortPath();
    ASSERT_TRUE(host.port.Open(g_portName));
    for (bool escape : {false, true}) {
        CPortDlg dialog;
        Run(dialog, [&](CPortDlg& d) {
            Click(d, res::kIdcOpenPort);
            if (escape)
                QTest::keyClick(List(d), Qt::Key_Escape);
            else
                Click(d, res::kIdcPortExit);
        });
        EXPECT_FALSE(CDialog::ProgramEnded());
        EXPECT_TRUE(host.port.IsOpen());
    }
    EXPECT_EQ(host.mainRuns, 0);
    EXPECT_TRUE(host.label.empty());
}

TEST_F(PortDialog, From_the_running_main_dialog_the_held_port_comes_first_and_reopens) {
    g_mainDlgActive = true;
    g_portName = simB.PortPath();
    const int fd = ::open(g_portName.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_TRUE(serial::OpenPort(&host.port));
    // Cooked again behind the port's back: only a fresh Configure makes it raw.
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    tio.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        ASSERT_EQ(List(d)->count(), 2);
        EXPECT_EQ(List(d)->itemText(0).toStdString(), simB.PortPath());
        EXPECT_EQ(List(d)->itemText(1).toStdString(), simA.PortPath());
        EXPECT_EQ(List(d)->currentIndex(), 0);
        Click(d, res::kIdcOpenPort);
        EXPECT_TRUE(host.port.IsOpen());
        EXPECT_EQ(g_portName, simB.PortPath());
        d.EndDialog(0);
    });
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "the held port was not configured again";
    ::close(fd);
}

TEST_F(PortDialog, OK_from_the_running_main_dialog_only_sets_the_label) {
    g_mainDlgActive = true;
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        Click(d, res::kIdcOpenPort);
        Click(d, res::kIdOk);
    });
    EXPECT_EQ(host.label, "COM Port : " + simA.PortPath());
    EXPECT_EQ(host.mainRuns, 0);
}

TEST(PortDialogNotice, Names_the_devices_the_user_may_not_open_and_why_in_one_text) {
    const std::string reason =
        serial::DescribeOpenError(platform::OpenError::NoPermission, "ttyS4");
    const std::string text = CPortDlg::DeniedNotice(
        {{"ttyS4", reason},
         {"ttyUSB0", serial::DescribeOpenError(platform::OpenError::NoPermission, "ttyUSB0")}});
    EXPECT_NE(text.find("ttyS4, ttyUSB0"), std::string::npos);
    EXPECT_NE(text.find("dialout"), std::string::npos);
    EXPECT_EQ(CPortDlg::DeniedNotice({}), "");
}

TEST_F(PortDialog, Shows_the_denied_devices_in_the_dialog_without_a_message_box) {
    const std::string dir = emptyDev.string();
    CPortDlg::SetProbeFunction([](const serial::ProbeConfig&) {
        serial::ProbeResult r;
        r.denied = {{"ttyUSB3",
                     "You may not open /dev/ttyUSB3: serial ports belong to the group "
                     "\"dialout\"."}};
        return r;
    });
    uitest::MessageRecorder messages;
    CPortDlg dialog;
    Run(dialog, [&](CPortDlg& d) {
        auto* notice = d.Item<QLabel>(res::kIdcDeniedNotice);
        EXPECT_TRUE(notice->isVisible());
        EXPECT_TRUE(notice->text().contains(QStringLiteral("ttyUSB3")));
        EXPECT_TRUE(notice->text().contains(QStringLiteral("dialout")));
        d.EndDialog(0);
    });
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
