#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <regex>
#include <string>

#include "host_side_port.h"
#include "sim/simulator.h"

namespace {

class Protocol : public ::testing::Test {
protected:
    void Start(sim::Options options = {}) {
        simulator = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator->Start(&error)) << error;
        host = std::make_unique<SimHost>(simulator->PortPath());
        ASSERT_TRUE(host->opened);
    }

    std::string Ask(const std::string& frame) {
        host->Send(frame);
        return host->ReadLines(1);
    }

    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<SimHost> host;
};

uint32_t RecordValue(const std::string& record) {
    return static_cast<uint32_t>(std::strtoul(record.substr(3).c_str(), nullptr, 10));
}

TEST_F(Protocol, Rd_answers_every_address_with_the_image_byte) {
    Start();
    const auto image = sim::DefaultEeprom();
    static const char* kHex = "0123456789abcdef";
    for (int a = 0; a < 256; ++a) {
        const std::string frame = std::string("*01rd") + kHex[a >> 4] + kHex[a & 15] + "\r";
        const std::string reply = Ask(frame);
        ASSERT_EQ(std::count(reply.begin(), reply.end(), '\r'), 1) << frame;
        ASSERT_EQ(reply.back(), '\r');
        ASSERT_NE(reply.find('='), std::string::npos);
        EXPECT_EQ(SimHost::ReplyValue(reply), image[a]) << "address " << a;
    }
}

TEST_F(Protocol, C1_answers_one_temperature_record) {
    Start();
    const std::string reply = Ask("*01C1\r");
    EXPECT_TRUE(std::regex_match(reply, std::regex("T00[0-9]+\r"))) << reply;
    EXPECT_EQ(host->ReadFor(0.1), "");
}

TEST_F(Protocol, C3_answers_one_pressure_record) {
    Start();
    const std::string reply = Ask("*01C3\r");
    EXPECT_TRUE(std::regex_match(reply, std::regex("P00[0-9]+\r"))) << reply;
    EXPECT_LE(RecordValue(reply), sim::kRawPressureFullScale);
    EXPECT_EQ(host->ReadFor(0.1), "");
}

TEST_F(Protocol, C4_sends_a_hash_then_about_150_pressure_records_a_second) {
    Start();
    host->Send("*01C4\r");
    const std::string text = host->ReadFor(2.0);
    host->Send("*01IN\r");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], '#');
    EXPECT_EQ(std::count(text.begin(), text.end(), '#'), 1);
    EXPECT_TRUE(SimHost::IsRecordStream(text.substr(1), 'P')) << text;
    const auto records = std::count(text.begin(), text.end(), 'P');
    std::printf("records in 2 s: %ld\n", static_cast<long>(records));
    EXPECT_GE(records, 200);
    EXPECT_LE(records, 400);
}

TEST_F(Protocol, C2_sends_a_hash_then_temperature_records) {
    Start();
    host->Send("*01C2\r");
    const std::string text = host->ReadLines(3);
    host->Send("*01IN\r");
    ASSERT_GT(text.size(), 10u);
    EXPECT_EQ(text[0], '#');
    EXPECT_TRUE(SimHost::IsRecordStream(text.substr(1), 'T')) << text;
}

TEST_F(Protocol, IN_stops_continuous_output_and_nothing_more_arrives) {
    Start();
    host->Send("*01C4\r");
    host->ReadLines(3);
    EXPECT_TRUE(simulator->Continuous());
    host->Send("*01IN\r");
    EXPECT_TRUE(WaitUntil([&] { return !simulator->Continuous(); }));
    host->ReadFor(0.1);  // what was already on its way
    EXPECT_EQ(host->ReadFor(0.3), "");
}

TEST_F(Protocol, C1_during_continuous_output_slips_one_temperature_record_in) {
    Start();
    host->Send("*01C4\r");
    host->ReadLines(2);
    host->Send("*01C1\r");
    // Up to the temperature record, and two records more: the output goes on.
    std::string text = host->ReadUntil("T");
    text += host->ReadLines(2);
    EXPECT_TRUE(simulator->Continuous());
    host->Send("*01IN\r");
    EXPECT_EQ(std::count(text.begin(), text.end(), 'T'), 1) << text;
}

TEST_F(Protocol, Reset_stops_continuous_output_and_answers) {
    Start();
    host->Send("*01C4\r");
    host->ReadLines(2);
    host->Send("*01IN=RESET\r");
    const std::string text = host->ReadUntil("READY\r");
    EXPECT_NE(text.find("READY\r"), std::string::npos) << text;
    EXPECT_FALSE(simulator->Continuous());
    EXPECT_EQ(host->ReadFor(0.2), "");
}

TEST_F(Protocol, WT_writes_from_b7_up_and_ignores_the_bytes_below) {
    Start();
    EXPECT_EQ(Ask("*01WTb7=42\r"), "OK\r");
    EXPECT_EQ(Ask("*01WTFF=0\r"), "OK\r");
    EXPECT_EQ(Ask("*01WTb6=42\r"), "NO\r");
    EXPECT_EQ(Ask("*01WT00=0\r"), "NO\r");
    EXPECT_EQ(SimHost::ReplyValue(Ask("*01rdb7\r")), 42);
    EXPECT_EQ(SimHost::ReplyValue(Ask("*01rdff\r")), 0);
    auto expected = sim::DefaultEeprom();
    expected[0xB7] = 42;
    expected[0xFF] = 0;
    EXPECT_EQ(simulator->Eeprom(), expected);
}

TEST_F(Protocol, Malformed_commands_are_refused_without_touching_the_image) {
    Start();
    for (const char* frame :
         {"*01WTb7=256\r", "*01WTb7=-1\r", "*01WT-1=5\r", "*01WTzz=1\r", "*01WTb7=\r", "*01WTb7\r",
          "*01rd1\r", "*01rd-1\r", "*01rd100\r", "*01XY\r"}) {
        EXPECT_EQ(Ask(frame), "?\r") << frame;
    }
    EXPECT_EQ(simulator->Eeprom(), sim::DefaultEeprom());
}

TEST_F(Protocol, An_overlong_frame_is_dropped_and_the_next_one_answered) {
    Start();
    host->Send(std::string(1000, 'x') + "\r");
    EXPECT_EQ(host->ReadFor(0.1), "");
    EXPECT_EQ(SimHost::ReplyValue(Ask("*01rdb6\r")), sim::DefaultEeprom()[0xB6]);
}

TEST_F(Protocol, Frames_for_another_address_are_ignored) {
    Start();
    for (const char* frame : {"*02IN\r", "*02C1\r", "*02C4\r", "*02rd00\r", "C1\r"})
        host->Send(frame);
    EXPECT_EQ(host->ReadFor(0.2), "");
    EXPECT_FALSE(simulator->Continuous());
}

TEST_F(Protocol, Filler_option_sets_the_two_characters_after_the_letter) {
    sim::Options options;
    options.recordFiller = "=x";
    Start(options);
    EXPECT_TRUE(std::regex_match(Ask("*01C1\r"), std::regex("T=x[0-9]+\r")));
    EXPECT_TRUE(std::regex_match(Ask("*01C3\r"), std::regex("P=x[0-9]+\r")));
}

// A host that opens the port without setting raw mode must notice: the line starts cooked, so
// the record's CR arrives as LF.
TEST(Line, Is_left_cooked_unless_raw_is_asked_for) {
    for (const bool raw : {false, true}) {
        sim::Options options;
        options.rawPty = raw;
        sim::Simulator simulator(options);
        ASSERT_TRUE(simulator.Start());
        const int fd = ::open(simulator.PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "*01C1\r", 6), 6);
        std::string got;
        WaitUntil([&] {
            char buffer[64];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
            return got.find_first_of("\r\n") != std::string::npos;
        });
        ::close(fd);
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), raw ? '\r' : '\n') << (raw ? "raw" : "cooked");
    }
}

TEST_F(Protocol, Start_refuses_an_address_or_filler_that_is_not_two_characters) {
    sim::Options options;
    options.recordFiller = "abc";
    sim::Simulator bad(options);
    std::string error;
    EXPECT_FALSE(bad.Start(&error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
