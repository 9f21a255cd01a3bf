#include "device/pressure_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "device/continuous_parser.h"
#include "device/device_state.h"
#include "device/pressure_formula.h"
#include "device/session_events.h"
#include "device_fixture.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

bool IsTimeLine(const std::string& line) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return line.size() == 10 && digit(line[0]) && digit(line[1]) && line[2] == ':' &&
           digit(line[3]) && digit(line[4]) && line[5] == ':' && digit(line[6]) && digit(line[7]) &&
           line.substr(8) == "\r\n";
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

class PressureLog : public device_test::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        path = device_test::ScratchPath(
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt");
        std::remove(path.c_str());
        g_logPath = path;
        Attach(&link.port);
        g_coefficients[0] = 1.5f;
        g_coefficients[1] = 100.0f;
        g_coefficients[7] = 10.0f;
        page.m_temperatureText = "32768";
        page.m_temperature = device::NormaliseTemperature(32768);
        g_readingCount = 5;
        g_continuousMode = true;
    }
    void TearDown() override {
        DeviceTest::TearDown();
        std::remove(path.c_str());
    }
    // One tick's worth of `count` readings of the worked example (54.000044 each).
    void Step(int count) {
        std::string chunk;
        for (int i = 0; i < count; ++i) chunk += "P008388608\r";
        if (count == 0) chunk = "P000\r";
        link.DeviceSends(chunk);
        page.ContinuousStep();
    }

    std::string path;
    device_test::PtyLink link;
};

TEST(TimeStamp, Is_two_digits_each_with_CR_LF) {
    EXPECT_EQ(device::TimeStampLine(9, 5, 3), "09:05:03\r\n");
    EXPECT_EQ(device::TimeStampLine(23, 59, 0), "23:59:00\r\n");
}

TEST_F(PressureLog, Without_logging_no_file_is_created) {
    Step(2);
    EXPECT_EQ(g_readoutText, "54.000044\r\n54.000044\r\n");
    EXPECT_FALSE(Exists(path));
}

TEST_F(PressureLog, Each_reading_is_a_TAB_value_CR_LF_line) {
    ASSERT_TRUE(device::OpenLog());
    Step(2);
    Step(1);
    device::CloseLog();
    EXPECT_EQ(ReadFile(path), "\t54.000044\r\n\t54.000044\r\n\t54.000044\r\n");
    EXPECT_FALSE(g_logActive);
    EXPECT_FALSE(g_logFile.is_open());
}

TEST_F(PressureLog, Time_stamp_line_precedes_each_step_with_readings_only) {
    g_timeStampChecked = true;
    ASSERT_TRUE(device::OpenLog());
    Step(2);
    Step(0);  // a reading of 0 shows nothing: nothing is written
    Step(1);
    device::CloseLog();
    // "hh:mm:ss" CR LF before each group.
    const std::string text = ReadFile(path);
    const std::string values2 = "\t54.000044\r\n\t54.000044\r\n";
    const std::string values1 = "\t54.000044\r\n";
    ASSERT_EQ(text.size(), 10 + values2.size() + 10 + values1.size()) << text;
    EXPECT_TRUE(IsTimeLine(text.substr(0, 10))) << text;
    EXPECT_EQ(text.substr(10, values2.size()), values2);
    EXPECT_TRUE(IsTimeLine(text.substr(10 + values2.size(), 10))) << text;
    EXPECT_EQ(text.substr(20 + values2.size()), values1);
}

TEST_F(PressureLog, Each_run_starts_the_file_afresh) {
    {
        std::ofstream old(path, std::ios::binary);
        old << "an older log\r\n";
    }
    ASSERT_TRUE(device::OpenLog());
    Step(2);
    device::CloseLog();
    ASSERT_TRUE(device::OpenLog());
    Step(1);
    device::CloseLog();
    EXPECT_EQ(ReadFile(path), "\t54.000044\r\n");
}

TEST_F(PressureLog, Every_step_is_on_disk_before_the_file_closes) {
    ASSERT_TRUE(device::OpenLog());
    Step(1);
    EXPECT_EQ(ReadFile(path), "\t54.000044\r\n");
    device::CloseLog();
    EXPECT_EQ(ReadFile(path), "\t54.000044\r\n");  // nothing more at closing
}

TEST_F(PressureLog, An_unopenable_path_is_reported_and_the_run_goes_on) {
    g_logPath = device_test::ScratchPath("no_such_dir/log.txt");
    EXPECT_FALSE(device::OpenLog());
    EXPECT_TRUE(g_logActive);
    Step(1);
    EXPECT_EQ(g_readoutText, "54.000044\r\n");
    device::CloseLog();
    // The next run with a usable path logs again.
    g_logPath = path;
    ASSERT_TRUE(device::OpenLog());
    Step(1);
    device::CloseLog();
    EXPECT_EQ(ReadFile(path), "\t54.000044\r\n");
}

// The file-size limit makes a real write fail part-way, as a full disk does.
TEST_F(PressureLog, A_failed_write_keeps_whole_lines_closes_the_log_and_says_why_once) {
    struct Events : device::SessionEvents {
        std::vector<std::string> failures;
        void OnLogFailed(const std::string& message) override { failures.push_back(message); }
    } events;
    device::CommandPageCore failing;
    failing.m_events = &events;
    failing.m_port = &link.port;
    failing.m_temperatureText = page.m_temperatureText;
    failing.m_temperature = page.m_temperature;
    g_commandPage = &failing;
    ASSERT_TRUE(device::OpenLog());

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;  // 8 lines and 4 bytes of the ninth
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string fiveReadings;
    for (int i = 0; i < 5; ++i) fiveReadings += "P008388608\r";
    for (int step = 0; step < 3; ++step) {
        link.DeviceSends(fiveReadings);
        failing.ContinuousStep();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    std::string eightLines;
    for (int i = 0; i < 8; ++i) eightLines += "\t54.000044\r\n";
    EXPECT_EQ(ReadFile(path), eightLines);
    ASSERT_EQ(events.failures.size(), 1u);
    EXPECT_EQ(events.failures[0], "The log file " + path +
                                       " could not be written: File too large. It has been closed "
                                       "and keeps every whole line written before.");
    EXPECT_FALSE(g_logFile.is_open());
    EXPECT_EQ(g_readoutText.size(), 15 * std::string("54.000044\r\n").size());  // shown on
    EXPECT_TRUE(device::CloseLog());
}

TEST_F(PressureLog, Writes_after_the_close_are_dropped) {
    ASSERT_TRUE(device::OpenLog());
    Step(1);
    device::CloseLog();
    device::WriteLogText("\t1.000000\r\n");
    EXPECT_EQ(ReadFile(path), "\t54.000044\r\n");
}

}  // namespace
