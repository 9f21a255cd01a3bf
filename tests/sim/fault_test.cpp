#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "host_side_port.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

class Faults : public ::testing::Test {
protected:
    void Start(const sim::Faults& faults) {
        sim::Options options;
        options.faults = faults;
        simulator = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator->Start(&error)) << error;
        host = std::make_unique<SimHost>(simulator->PortPath());
        ASSERT_TRUE(host->opened);
    }

    // Seconds from sending `frame` to the first byte of the answer.
    double AnswerDelay(const std::string& frame, std::string* answer) {
        const auto sent = Clock::now();
        host->Send(frame);
        *answer = host->ReadLines(1);
        return std::chrono::duration<double>(Clock::now() - sent).count();
    }

    // The text records as the simulator says it sent them.
    std::string SentRecords() const {
        std::string text;
        for (const auto& r : simulator->Readings())
            text += std::string(1, r.kind) + "00" + std::to_string(r.raw) + "\r";
        return text;
    }

    static std::string Without(std::string text, const std::regex& junk) {
        return std::regex_replace(text, junk, "");
    }

    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<SimHost> host;
};

TEST_F(Faults, Silent_never_answers_but_records_the_frames) {
    sim::Faults faults;
    faults.silent = true;
    Start(faults);
    for (const char* frame : {"*01rd00\r", "*01C1\r", "*01C3\r", "*01C4\r", "*01IN=RESET\r"})
        host->Send(frame);
    EXPECT_EQ(host->ReadFor(0.3), "");
    EXPECT_FALSE(simulator->Continuous());
    EXPECT_TRUE(WaitUntil([&] { return simulator->Frames().size() == 5; }));
}

TEST_F(Faults, Eeprom_delay_of_25_ms_lands_in_the_second_window) {
    sim::Faults faults;
    faults.eepromReplyDelayMs = 25;
    Start(faults);
    std::string answer;
    EXPECT_GE(AnswerDelay("*01rd00\r", &answer), 0.025);
    EXPECT_EQ(SimHost::ReplyValue(answer), sim::DefaultEeprom()[0]);
}

TEST_F(Faults, Eeprom_delay_of_50_ms_is_late_and_taken_for_the_next_byte) {
    sim::Faults faults;
    faults.eepromReplyDelayMs = 50;
    Start(faults);
    const auto image = sim::DefaultEeprom();
    // The host's two windows for the first byte pass empty...
    const auto sent = Clock::now();
    host->Send("*01rd00\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string first = host->ReadOnce();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string second = host->ReadOnce();
    const bool inTime = Clock::now() - sent < std::chrono::milliseconds(50);
    if (inTime) {
        EXPECT_EQ(first + second, "");
    }
    // ...and the next request collects the first byte's answer.
    host->Send("*01rd01\r");
    EXPECT_EQ(SimHost::ReplyValue(first + second + host->ReadLines(1)), image[0]);
    std::string answer;
    AnswerDelay("*01rd02\r", &answer);
    EXPECT_EQ(SimHost::ReplyValue(answer), image[1]);
}

TEST_F(Faults, Late_doubled_and_stalled_bytes_strike_their_first_read_only) {
    struct Case {
        const char* name;
        void (*set)(sim::Faults&);
        double minDelay;
        int answers;
    };
    const Case cases[] = {
        {"late", [](sim::Faults& f) { f.lateBytes.set(0x10); }, 0.080, 1},
        {"doubled", [](sim::Faults& f) { f.doubledBytes.set(0x10); }, 0.0, 2},
        {"stall",
         [](sim::Faults& f) {
             f.stallAtByte = 0x10;
             f.stallMs = 120;
         },
         0.120, 1},
    };
    const auto image = sim::DefaultEeprom();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Faults faults;
        c.set(faults);
        Start(faults);
        std::string answer;
        EXPECT_GE(AnswerDelay("*01rd10\r", &answer), c.minDelay);
        if (c.answers == 2) answer += host->ReadLines(1);
        const std::string reply = "RD=" + std::to_string(image[0x10]) + "\r";
        EXPECT_EQ(answer, c.answers == 2 ? reply + reply : reply);
        // The second read of the byte is answered once, as any other.
        AnswerDelay("*01rd10\r", &answer);
        EXPECT_EQ(answer + host->ReadFor(0.1), reply);
        host.reset();
        simulator.reset();
    }
}

TEST_F(Faults, Out_of_range_bytes_answer_outside_0_to_255) {
    sim::Faults faults;
    faults.outOfRangeBytes = true;
    Start(faults);
    const auto image = sim::DefaultEeprom();
    host->Send("*01rdb8\r");
    EXPECT_EQ(host->ReadLines(1), "RD=" + std::to_string(0xFF + 256) + "\r");
    host->Send("*01rdb9\r");
    EXPECT_EQ(host->ReadLines(1), "RD=-1\r");
    host->Send("*01rd00\r");
    EXPECT_EQ(SimHost::ReplyValue(host->ReadLines(1)), image[0] + 256);
}

TEST_F(Faults, Garbage_and_nul_bytes_come_between_intact_records) {
    sim::Faults faults;
    faults.garbage = true;
    faults.nulBytes = true;
    Start(faults);
    for (int i = 0; i < 40; ++i) host->Send("*01C3\r");
    std::string text = host->ReadLines(40);  // the junk has no CR
    text += host->ReadFor(0.1);              // junk after the last record
    EXPECT_NE(text.find('\0'), std::string::npos);
    const std::string junk = Without(text, std::regex("P00[0-9]+\r"));
    EXPECT_NE(junk.find_first_not_of('\0'), std::string::npos) << "garbage besides the NULs";
    EXPECT_EQ(junk.find_first_of("PT#=\r"), std::string::npos);
    // Each record whole, in order, with only junk around it.
    std::string records;
    std::regex record("P00[0-9]+\r");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), record);
         it != std::sregex_iterator(); ++it)
        records += it->str();
    EXPECT_EQ(records, SentRecords());
}

TEST_F(Faults, Split_records_arrive_in_pieces_and_whole) {
    sim::Faults faults;
    faults.splitRecords = true;
    Start(faults);
    host->Send("*01C4\r");
    // Half a second of records, about 75.
    std::string text;
    int cutInside = 0;
    EXPECT_TRUE(WaitUntil([&] {
        const std::string chunk = host->ReadOnce();
        if (!chunk.empty() && chunk.back() != '\r') ++cutInside;
        text += chunk;
        return simulator->Readings().size() >= 75;
    }));
    host->Send("*01IN\r");
    // The rest of the records sent before IN.
    WaitUntil([&] {
        text += host->ReadOnce();
        return !simulator->Continuous() && !text.empty() && text.substr(1) == SentRecords();
    });
    EXPECT_GT(cutInside, 10);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(1), SentRecords());
}

TEST_F(Faults, Hash_restarts_come_now_and_then) {
    sim::Faults faults;
    faults.hashRestarts = true;
    faults.recordsPerSecond = 1000;
    Start(faults);
    host->Send("*01C4\r");
    const std::string text = host->ReadFor(0.6);
    host->Send("*01IN\r");
    const auto hashes = std::count(text.begin(), text.end(), '#');
    EXPECT_GE(hashes, 3);
    EXPECT_LE(hashes, 60);
    EXPECT_TRUE(SimHost::IsRecordStream(text, 'P'));
}

TEST_F(Faults, Output_faster_than_the_host_reads_fills_the_pty_then_drops_whole_records) {
    sim::Faults faults;
    faults.recordsPerSecond = 5000;
    Start(faults);
    host->Send("*01C4\r");
    // A host taking 512 bytes every 100 ms.
    std::string text;
    for (int i = 0; i < 10; ++i) {
        text += host->ReadOnce();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    host->Send("*01IN\r");
    EXPECT_GT(simulator->DroppedRecords(), 0u);
    // The backlog.
    WaitUntil([&] {
        text += host->ReadOnce();
        return !simulator->Continuous() && !text.empty() && text.substr(1) == SentRecords();
    });
    std::printf("backlog read after IN: %zu bytes, %llu records dropped\n", text.size() - 5120,
                static_cast<unsigned long long>(simulator->DroppedRecords()));
    EXPECT_GT(text.size(), 12000u);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(1), SentRecords());
}

TEST_F(Faults, Disconnect_after_a_time_is_seen_by_the_host_as_gone) {
    sim::Faults faults;
    faults.disconnectAfterMs = 200;
    Start(faults);
    host->Send("*01C4\r");
    EXPECT_TRUE(WaitUntil([&] {
        host->ReadOnce();
        return host->port.IsGone();
    }));
    EXPECT_FALSE(simulator->Running());
}

TEST_F(Faults, Start_after_the_disconnect_opens_a_fresh_line) {
    sim::Faults faults;
    faults.disconnectAfterMs = 50;
    Start(faults);
    EXPECT_TRUE(WaitUntil([&] { return !simulator->Running(); }));
    simulator->SetFaults({});
    ASSERT_TRUE(simulator->Start());
    SimHost again(simulator->PortPath());
    ASSERT_TRUE(again.opened);
    again.Send("*01C1\r");
    EXPECT_EQ(again.ReadLines(1)[0], 'T');
}

TEST_F(Faults, Stop_is_seen_by_the_host_as_gone) {
    Start({});
    simulator->Stop();
    host->ReadOnce();
    EXPECT_TRUE(host->port.IsGone());
}

TEST_F(Faults, Set_while_running_take_effect_at_once) {
    Start({});
    host->Send("*01C4\r");
    host->ReadLines(2);
    sim::Faults faults;
    faults.silent = true;
    simulator->SetFaults(faults);
    host->ReadFor(0.05);
    EXPECT_EQ(host->ReadFor(0.2), "");
    simulator->SetFaults({});
    EXPECT_NE(host->ReadUntil("P").find('P'), std::string::npos);
}

}  // namespace
