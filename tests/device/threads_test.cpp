#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host_on_simulator_fixture.h"

namespace {

using device_test::SimHostTest;

class TwoThreads : public SimHostTest {};

TEST_F(TwoThreads, Commands_from_the_UI_thread_arrive_whole_while_the_tick_collects) {
    StartSim();
    dialog.StartTimer();
    constexpr size_t kCommands = 150;
    for (size_t i = 0; i < kCommands; ++i) {
        page.SendListCommand(i % 2 == 0 ? 0 : 2);  // C1 and C3: each answered with one record
        // Bursts of seven, paced by their answers and now and then by a tick, so that sends
        // fall on every part of the tick's work.
        if (i % 7 == 6) {
            ASSERT_TRUE(WaitUntil([&] { return simulator->Readings().size() == i + 1; })) << i;
        }
        if (i % 30 == 29) {
            ASSERT_TRUE(device_test::WaitForTicks(*dialog.m_timer, 1));
        }
    }
    EXPECT_TRUE(WaitUntil([&] { return simulator->Readings().size() == kCommands; }));
    const auto readings = simulator->Readings();
    ASSERT_EQ(readings.size(), kCommands);
    const std::string last =
        std::string(1, readings.back().kind) + "00" + std::to_string(readings.back().raw) + "\r\n";
    EXPECT_TRUE(
        WaitUntil([&] { return device::MonitorTextCopy().find(last) != std::string::npos; }));
    dialog.m_timer->Stop();

    const auto frames = simulator->Frames();
    ASSERT_EQ(frames.size(), kCommands);
    for (size_t i = 0; i < kCommands; ++i) {
        EXPECT_EQ(frames[i].frame, i % 2 == 0 ? "*01C1" : "*01C3");
    }
    // Every answer reached the monitor (it is trimmed past 2000 characters: count the tail).
    const std::string text = device::MonitorTextCopy();
    EXPECT_EQ(text, monitor.Text());
    EXPECT_NE(text.find(last), std::string::npos);
    EXPECT_EQ(g_lastEcho, ">>*01C3\r\n");
}

TEST_F(TwoThreads, Runs_start_and_stop_while_the_tick_steps) {
    StartSim();
    g_coefficients = sim::DefaultCoefficients();
    dialog.StartTimer();
    for (int run = 0; run < 4; ++run) {
        page.StartContinuous();
        EXPECT_FALSE(g_acquisitionStopped);
        ASSERT_TRUE(device_test::WaitForTicks(*dialog.m_timer, 3));
        page.StopContinuous();
        EXPECT_FALSE(g_continuousMode);
        page.SendListCommand(0);  // a single command between runs
        ASSERT_TRUE(device_test::WaitForTicks(*dialog.m_timer, 1));
    }
    dialog.m_timer->Stop();
    EXPECT_FALSE(g_readoutText.empty());
    const std::set<std::string> valid = {"*01C1", "*01C4", "*01IN"};
    for (const auto& f : simulator->Frames()) EXPECT_TRUE(valid.count(f.frame)) << f.frame;
    EXPECT_EQ(FramesNamed("*01C4").size(), 4u);
    EXPECT_EQ(FramesNamed("*01IN").size(), 8u);
}

TEST_F(TwoThreads, Close_sequence_during_a_logged_run_stops_everything) {
    StartSim();
    g_coefficients = sim::DefaultCoefficients();
    g_logPath = device_test::ScratchPath("close_during_run.txt");
    g_timeStampChecked = true;
    dialog.StartTimer();
    page.StartContinuous();
    ASSERT_TRUE(device::OpenLog());
    ASSERT_TRUE(device_test::WaitForTicks(*dialog.m_timer, 4));
    dialog.CloseSequence();  // closing the window while running: no Stop first
    EXPECT_FALSE(dialog.m_timer->IsRunning());
    EXPECT_FALSE(g_logFile.is_open());
    EXPECT_TRUE(WaitUntil([&] { return !simulator->Continuous(); }));
    EXPECT_EQ(FramesNamed("*01IN").size(), 1u);
    const std::string log = device_test::ReadWholeFile(g_logPath);
    EXPECT_FALSE(log.empty());
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
    std::remove(g_logPath.c_str());
}

}  // namespace
