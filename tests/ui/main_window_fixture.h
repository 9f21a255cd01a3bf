#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "device/device_state.h"
#include "res/resource_ids.h"
#include "serial/port_settings.h"
#include "sim/simulator.h"
#include "ui/command_page.h"
#include "ui/eeprom_page.h"
#include "ui/main_dlg.h"
#include "ui/port_dlg.h"
#include "ui_test_support.h"

// The main dialog against a simulated transducer on a real pseudo-terminal; the port dialog sees
// only that transducer.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        device::ResetDeviceState();
        g_mainDlgActive = false;
        CDialog::ResetProgramEnd();
        sim = std::make_unique<sim::Simulator>();
        ASSERT_TRUE(sim->Start());
        ProbeOnly({sim->PortPath()});
        tempDir = std::filesystem::temp_directory_path() /
                  ("zel-ui-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(tempDir);
    }
    void TearDown() override {
        CPortDlg::SetProbeFunction({});
        device::ResetDeviceState();
        g_mainDlgActive = false;
        CDialog::ResetProgramEnd();
        std::filesystem::remove_all(tempDir);
    }

    void ProbeOnly(std::vector<std::string> paths) {
        const std::string empty =
            (std::filesystem::temp_directory_path() / "zel-empty-dev").string();
        std::filesystem::create_directories(empty);
        CPortDlg::SetProbeFunction([paths, empty](serial::ProbeConfig config) {
            config.extraPorts = paths;
            config.devDir = empty;
            return serial::ProbePorts(config);
        });
    }

    // Opens the simulator's port (or `port`) as the port dialog would, runs the main dialog with `steps` once
    // it is up, then closes it with the close box unless the steps closed it.
    void RunMain(std::function<void(CMainDlg&)> steps, const std::string& port = "") {
        CMainDlg main;
        g_portName = port.empty() ? sim->PortPath() : port;
        main.SetPortLabel("COM Port : " + g_portName);
        ASSERT_TRUE(main.OpenPort());
        bool missed = false;
        uitest::WhenModal([&](QWidget* w) { return w == &main; },
                          [&](QWidget*) {
                              steps(main);
                              if (main.isVisible()) main.close();
                          },
                          &missed, 60000);
        main.DoModal();
        EXPECT_FALSE(missed);
    }

    std::vector<std::string> FramesReceived() const {
        std::vector<std::string> frames;
        for (const auto& f : sim->Frames()) frames.push_back(f.frame);
        return frames;
    }
    int CountFrames(const std::string& frame) const {
        const auto frames = FramesReceived();
        return static_cast<int>(std::count(frames.begin(), frames.end(), frame));
    }
    static std::string Monitor(CMainDlg& main) {
        main.MonitorView()->Flush();
        return main.m_monitor->toPlainText().toStdString();
    }
    static std::string Readout(CMainDlg& main) {
        main.CommandPage()->ReadoutView()->Flush();
        return main.CommandPage()->m_readout->toPlainText().toStdString();
    }

    std::unique_ptr<sim::Simulator> sim;
    std::filesystem::path tempDir;
    uitest::MessageRecorder messages;
};
