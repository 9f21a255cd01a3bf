#include "device/pressure_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "device/continuous_parser.h"
#include "device/device_state.h"
#include "device/pressure_formula.h"
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

TEST_F(PressureLog, Writes_after_the_close_are_dropped) {
    ASSERT_TRUE(device::OpenLog());
    Step(1);
    device::CloseLog();
    device::WriteLogText("\t1.000000\r\n");
    EXPECT_EQ(ReadFile(path), "\t54.000044\r\n");
}

}  // namespace
