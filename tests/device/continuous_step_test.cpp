#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "device/c_numbers.h"
#include "device/continuous_parser.h"
#include "device/device_state.h"
#include "device/pressure_formula.h"
#include "device_fixture.h"

namespace {

using device::ContinuousState;
using device::ParseContinuousChunk;

// The worked example's coefficients: A = 1.5, a1 = 100, b1 = 10, the rest 0.
std::array<float, 37> WorkedCoefficients() {
    std::array<float, 37> c{};
    c[0] = 1.5f;
    c[1] = 100.0f;
    c[7] = 10.0f;
    return c;
}

// A state past its first reading with a usable temperature, so that no C1 is due.
ContinuousState Warm(const std::string& temperatureText = "32768") {
    ContinuousState state;
    state.temperatureText = temperatureText;
    state.temperature = device::NormaliseTemperature(device::ParseDecimalLong(temperatureText));
    state.readingCount = 5;
    return state;
}

std::string Record(char letter, long value, const std::string& filler = "00") {
    return std::string(1, letter) + filler + std::to_string(value) + "\r";
}

TEST(PressureFormula, Worked_example_gives_54_000044) {
    const auto c = WorkedCoefficients();
    const float p = device::NormalisePressure(8388608);
    const float t = device::NormaliseTemperature(32768);
    EXPECT_FLOAT_EQ(p, 0.50000006f);
    EXPECT_FLOAT_EQ(t, 0.50000763f);
    EXPECT_EQ(device::FormatFixed6(device::CalculatePressure(c, p, t)), "54.000044");
    // Kept in double the inputs give another last digit: the float step is part of the result.
    const double pd = 8388608 / 16777215.0, td = 32768 / 65535.0;
    EXPECT_EQ(device::FormatFixed6(1.5 + (100 + 10 * td) * pd), "54.000041");
}

TEST(PressureFormula, All_zero_coefficients_give_zero) {
    std::array<float, 37> zero{};
    EXPECT_EQ(device::FormatFixed6(device::CalculatePressure(zero, 0.7f, 0.3f)), "0.000000");
}

TEST(ContinuousParse, Worked_example_line_at_the_first_reading) {
    ContinuousState state;
    int c1 = 0;
    auto result =
        ParseContinuousChunk("T0032768\r#P008388608\r", state, WorkedCoefficients(), [&] { ++c1; });
    EXPECT_EQ(result.lines, "54.000044\r\n");
    EXPECT_EQ(result.logText, "\t54.000044\r\n");
    ASSERT_EQ(result.values.size(), 1u);
    EXPECT_EQ(device::FormatFixed6(result.values[0].psi), "54.000044");
    EXPECT_EQ(result.values[0].rawPressure, 8388608);
    EXPECT_EQ(result.values[0].rawTemperature, 32768);
    EXPECT_EQ(c1, 1);
    EXPECT_EQ(state.readingCount, 1);
    EXPECT_EQ(state.temperatureText, "32768");
}

TEST(ContinuousParse, Two_complete_records_give_two_lines_and_no_carry) {
    auto state = Warm();
    auto result = ParseContinuousChunk(Record('P', 8388608) + Record('P', 8388608), state,
                                       WorkedCoefficients(), {});
    EXPECT_EQ(result.lines, "54.000044\r\n54.000044\r\n");
    EXPECT_EQ(result.readings, 2);
    EXPECT_EQ(state.carry, "");
}

TEST(ContinuousParse, Record_split_across_two_reads_is_parsed_once_whole) {
    auto state = Warm();
    auto first = ParseContinuousChunk("P0083", state, WorkedCoefficients(), {});
    EXPECT_EQ(first.readings, 0);
    EXPECT_EQ(state.carry, "P0083");
    auto second = ParseContinuousChunk("88608\r", state, WorkedCoefficients(), {});
    EXPECT_EQ(second.readings, 1);
    EXPECT_EQ(second.lines, "54.000044\r\n");
    EXPECT_EQ(state.carry, "");
}

TEST(ContinuousParse, Hash_at_the_start_of_a_read_keeps_the_carry_out_of_it) {
    auto state = Warm();
    state.carry = "P0099";
    auto result = ParseContinuousChunk("#P008388608\r", state, WorkedCoefficients(), {});
    EXPECT_EQ(result.readings, 1);
    EXPECT_EQ(result.lines, "54.000044\r\n");
    EXPECT_EQ(state.carry, "");  // the text after the last CR

    state.carry = "P0099";
    result = ParseContinuousChunk("#xyz", state, WorkedCoefficients(), {});
    EXPECT_EQ(state.carry, "P0099");  // neither used nor emptied

    // Not at the very start: the carry goes in front as usual.
    state.carry = "P0083";
    result = ParseContinuousChunk("88608\r#", state, WorkedCoefficients(), {});
    EXPECT_EQ(result.lines, "54.000044\r\n");
    EXPECT_EQ(state.carry, "#");
}

TEST(ContinuousParse, Only_the_first_temperature_record_of_a_read_counts) {
    ContinuousState state;
    ParseContinuousChunk("T00111\rT00222\rP00100\r", state, WorkedCoefficients(), {});
    EXPECT_EQ(state.temperatureText, "111");
    EXPECT_FLOAT_EQ(state.temperature, device::NormaliseTemperature(111));
}

TEST(ContinuousParse, Temperature_record_without_CR_keeps_the_old_text) {
    auto state = Warm("500");
    ParseContinuousChunk("T00777", state, WorkedCoefficients(), {});
    EXPECT_EQ(state.temperatureText, "500");
    ParseContinuousChunk("T0\r", state, WorkedCoefficients(), {});  // CR within three
    EXPECT_EQ(state.temperatureText, "");
}

TEST(ContinuousParse, Zero_readings_count_but_show_no_line) {
    auto state = Warm();
    auto result = ParseContinuousChunk("P000\rP00abc\rP00\r", state, WorkedCoefficients(), {});
    EXPECT_EQ(result.readings, 3);
    EXPECT_EQ(result.shown, 0);
    EXPECT_EQ(result.lines, "");
    EXPECT_EQ(state.readingCount, 8);
}

TEST(ContinuousParse, No_temperature_yet_suppresses_every_line) {
    ContinuousState state;
    int c1 = 0;
    std::string chunk;
    for (int i = 0; i < 5; ++i) chunk += Record('P', 8388608);
    auto result = ParseContinuousChunk(chunk, state, WorkedCoefficients(), [&] { ++c1; });
    EXPECT_EQ(result.readings, 5);
    EXPECT_EQ(result.shown, 0);
    EXPECT_EQ(c1, 1);
}

TEST(ContinuousParse, Temperature_refreshes_at_1_20_21_40_41_with_C1_at_1_21_41) {
    ContinuousState state;
    std::vector<int> c1At;
    std::vector<int> refreshedAt;
    for (int reading = 1; reading <= 45; ++reading) {
        // A new temperature text before every reading; the state shows when it was taken up.
        state.temperatureText = std::to_string(1000 + reading);
        float before = state.temperature;
        ParseContinuousChunk(Record('P', 8388608), state, WorkedCoefficients(),
                             [&] { c1At.push_back(reading); });
        if (state.temperature != before) {
            refreshedAt.push_back(reading);
            EXPECT_FLOAT_EQ(state.temperature, device::NormaliseTemperature(1000 + reading));
        }
    }
    EXPECT_EQ(c1At, (std::vector<int>{1, 21, 41}));
    EXPECT_EQ(refreshedAt, (std::vector<int>{1, 20, 21, 40, 41}));
    EXPECT_EQ(state.readingCount, 5);
}

TEST(ContinuousParse, Working_text_without_a_pressure_record_is_dropped_with_the_carry) {
    auto state = Warm();
    state.carry = "xy\rab";
    ParseContinuousChunk("cdef", state, WorkedCoefficients(), {});
    EXPECT_EQ(state.carry, "");
}

TEST(ContinuousParse, Carry_takes_the_text_after_the_last_CR) {
    auto state = Warm();
    ParseContinuousChunk("P00100\rP0020", state, WorkedCoefficients(), {});
    EXPECT_EQ(state.carry, "P0020");
    // No CR at all: the whole working text is carried.
    state.carry = "P0";
    ParseContinuousChunk("0123", state, WorkedCoefficients(), {});
    EXPECT_EQ(state.carry, "P00123");
    // The only CR at position 0: the carry stays as it is (emptied by having been used).
    state.carry.clear();
    ParseContinuousChunk("\rP00", state, WorkedCoefficients(), {});
    EXPECT_EQ(state.carry, "");
}

TEST(ContinuousParse, Carry_is_capped_and_keeps_its_newest_text) {
    auto state = Warm();
    for (int i = 0; i < 20; ++i) {
        ParseContinuousChunk("P" + std::string(511, static_cast<char>('a' + i)), state,
                             WorkedCoefficients(), {});
        ASSERT_LE(state.carry.size(), device::kCarryCap);
    }
    EXPECT_EQ(state.carry.size(), device::kCarryCap);
    EXPECT_EQ(state.carry.back(), 't');
    // A record completed after the cap still parses.
    auto result = ParseContinuousChunk("\rP008388608\r", state, WorkedCoefficients(), {});
    EXPECT_EQ(result.lines, "54.000044\r\n");
}

TEST(ContinuousParse, NUL_ends_the_read_early) {
    auto state = Warm();
    auto result = ParseContinuousChunk(std::string("P008388608\r\0P008388608\r", 23), state,
                                       WorkedCoefficients(), {});
    EXPECT_EQ(result.readings, 1);
}

TEST(ContinuousParse, Any_two_filler_characters_work) {
    for (std::string filler : {"00", "PP", "PT", "TP", "TT", "  ", "#P", "ab"}) {
        ContinuousState state;
        // A temperature answer between pressure records must not pass for one of them.
        std::string chunk = Record('T', 32768, filler) + Record('P', 8388608, filler) +
                            Record('T', 1, filler) + Record('P', 8388608, filler) +
                            Record('P', 8388608, filler);
        auto result = ParseContinuousChunk(chunk, state, WorkedCoefficients(), {});
        EXPECT_EQ(result.readings, 3) << filler;
        EXPECT_EQ(result.lines, "54.000044\r\n54.000044\r\n54.000044\r\n") << filler;
    }
}

TEST(ContinuousParse, Text_between_records_is_ignored) {
    auto state = Warm();
    auto result = ParseContinuousChunk("junk\rP008388608\r??\rxxP008388608\r", state,
                                       WorkedCoefficients(), {});
    EXPECT_EQ(result.readings, 2);
    EXPECT_EQ(result.shown, 2);
}

TEST(ReadoutText, Past_2000_characters_loses_from_its_front_what_was_appended) {
    std::string readout(1995, 'r');
    device::AppendReadoutLines(readout, "12.000000\r\n");
    EXPECT_EQ(readout, std::string(1984, 'r') + "12.000000\r\n");
    readout = std::string(1989, 'r');
    device::AppendReadoutLines(readout, "12.000000\r\n");  // exactly 2000: kept whole
    EXPECT_EQ(readout.size(), 2000u);
}

// The step as the tick runs it, on a real pseudo-terminal.
class ContinuousStep : public device_test::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        Attach(&link.port);
        g_coefficients = WorkedCoefficients();
        g_continuousMode = true;
    }
    device_test::PtyLink link;
};

TEST_F(ContinuousStep, C1_reaches_the_wire_at_the_1st_21st_and_41st_reading) {
    std::vector<std::string> sentAfterStep;
    for (int step = 0; step < 5; ++step) {
        std::string chunk = step == 0 ? Record('T', 32768) : "";
        for (int i = 0; i < 10; ++i) chunk += Record('P', 8388608);
        link.DeviceSends(chunk);
        page.ContinuousStep();
        sentAfterStep.push_back(link.HostSent());
    }
    EXPECT_EQ(sentAfterStep, (std::vector<std::string>{"*01C1\r", "", "*01C1\r", "", "*01C1\r"}));
    EXPECT_EQ(g_readingCount, 10);
}

TEST_F(ContinuousStep, Shows_its_lines_in_the_read_out_and_scrolls) {
    page.m_temperatureText = "32768";
    g_readingCount = 3;
    page.m_temperature = device::NormaliseTemperature(32768);
    link.DeviceSends(Record('P', 8388608) + Record('P', 8388608) + "P0083");
    page.ContinuousStep();
    EXPECT_EQ(g_readoutText, "54.000044\r\n54.000044\r\n");
    EXPECT_EQ(readout.Text(), g_readoutText);
    EXPECT_EQ(readout.ScrollCount(), 1);
    // The unfinished record waits for the rest of its digits.
    link.DeviceSends("88608\r");
    page.ContinuousStep();
    EXPECT_EQ(readout.Text(), "54.000044\r\n54.000044\r\n54.000044\r\n");
    EXPECT_EQ(readout.ScrollCount(), 2);
}

TEST_F(ContinuousStep, Step_with_nothing_read_shows_nothing_and_keeps_an_unfinished_record) {
    page.m_temperatureText = "32768";
    g_readingCount = 3;
    page.m_temperature = device::NormaliseTemperature(32768);
    link.DeviceSends("P00");
    page.ContinuousStep();
    page.ContinuousStep();
    EXPECT_EQ(readout.SetCount(), 0);
    link.DeviceSends("8388608\r");
    page.ContinuousStep();
    EXPECT_EQ(readout.Text(), "54.000044\r\n");
}

// Every record and byte that came is in one count of the run's ledger.
TEST_F(ContinuousStep, The_ledger_counts_every_record_and_every_byte_thrown_away) {
    session->StartRun({});
    page.m_temperatureText = "32768";
    page.m_temperature = device::NormaliseTemperature(32768);
    g_readingCount = 18;
    // The 19th reading is shown; the 20th is 0 and takes the temperature 0 of this read's T
    // record, which the next one, the 1st after it, keeps.
    link.DeviceSends(Record('T', 0) + Record('P', 8388608) + Record('P', 0) +
                     Record('P', 8388608) + std::string("\0P00123\r", 8));
    page.ContinuousStep();
    link.DeviceSends("junk without a pressure record");
    page.ContinuousStep();
    link.DeviceSends(Record('T', 32768) + Record('P', 8388608) + "P00");
    page.ContinuousStep();
    const device::RunLedger l = session->StopRun().ledger;
    EXPECT_EQ(l.received, 4);
    EXPECT_EQ(l.shown, 1);
    EXPECT_EQ(l.zero, 1);
    EXPECT_EQ(l.noTemperature, 2);
    EXPECT_EQ(l.temperatureRecords, 2);
    EXPECT_EQ(l.c1Sent, 2);  // the start sequence's and the 1st reading's
    // 8 bytes from the NUL on, the 30 of the junk, the 3 of the record cut by the stop.
    EXPECT_EQ(l.discardedBytes, 8 + 30 + 3);
    EXPECT_EQ(readout.Text(), "54.000044\r\n");
}

TEST_F(ContinuousStep, Step_without_shown_readings_leaves_the_read_out_alone) {
    link.DeviceSends(Record('P', 0) + Record('P', 0));
    page.ContinuousStep();
    EXPECT_EQ(readout.SetCount(), 0);
    EXPECT_EQ(g_readingCount, 2);
}

}  // namespace
