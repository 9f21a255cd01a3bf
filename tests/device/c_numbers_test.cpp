#include "device/c_numbers.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "device/continuous_parser.h"
#include "device/device_state.h"
#include "device/eeprom_map.h"
#include "device/pressure_formula.h"
#include "device/pressure_log.h"
#include "device_fixture.h"

namespace {

using device::FormatFixed6;
using device::ParseDecimalLong;
using device::ParseHexWord;

TEST(FixedFormat, Prints_six_decimals_as_printf_f_does) {
    EXPECT_EQ(FormatFixed6(0.0), "0.000000");
    EXPECT_EQ(FormatFixed6(54.0000441), "54.000044");
    EXPECT_EQ(FormatFixed6(-2.5), "-2.500000");
    EXPECT_EQ(FormatFixed6(1e20), "100000000000000000000.000000");
    EXPECT_EQ(FormatFixed6(NAN), "nan");
    EXPECT_EQ(FormatFixed6(-INFINITY), "-inf");
    for (double v : {3.14159265, -0.0000049, 123456.7890123, 1e-7, 9.9999995, -1e15}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%f", v);
        EXPECT_EQ(FormatFixed6(v), expected) << v;
    }
}

TEST(FixedFormat, Prints_the_largest_double_in_full) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%f", DBL_MAX);
    EXPECT_EQ(FormatFixed6(DBL_MAX), expected);
}

TEST(DecimalParse, Reads_like_strtol_in_the_C_locale) {
    EXPECT_EQ(ParseDecimalLong("8388608"), 8388608);
    EXPECT_EQ(ParseDecimalLong("  \t-17xyz"), -17);
    EXPECT_EQ(ParseDecimalLong("+42\r"), 42);
    EXPECT_EQ(ParseDecimalLong(""), 0);
    EXPECT_EQ(ParseDecimalLong("abc"), 0);
    EXPECT_EQ(ParseDecimalLong("- 5"), 0);
    EXPECT_EQ(ParseDecimalLong("99999999999999999999999"), LONG_MAX);
    EXPECT_EQ(ParseDecimalLong("-99999999999999999999999"), LONG_MIN);
    EXPECT_EQ(ParseDecimalLong("-9223372036854775808"), LONG_MIN);
}

TEST(HexParse, Reads_an_unsigned_32_bit_word_saturating_past_it) {
    EXPECT_EQ(ParseHexWord("0x3F800000"), 0x3F800000u);
    EXPECT_EQ(ParseHexWord("0xc0000000"), 0xC0000000u);
    EXPECT_EQ(ParseHexWord("0x"), 0u);
    EXPECT_EQ(ParseHexWord("0xFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseHexWord("0x12C0000"), 0x12C0000u);
    EXPECT_EQ(ParseHexWord("0x12C000000"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseHexWord("0x1FFFFFFFFFFFFFFFFFFFF"), 0xFFFFFFFFu);
}

// Under a decimal-comma locale (Qt sets the user's at start-up) every number text keeps the
// "C" rules.
class DecimalCommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed";
        char probe[32];
        std::snprintf(probe, sizeof probe, "%f", 1.5);
        ASSERT_STREQ(probe, "1,500000");  // the locale really is in force
        device::ResetDeviceState();
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        device::ResetDeviceState();
    }
};

TEST_F(DecimalCommaLocale, Read_out_and_log_lines_keep_a_decimal_point) {
    std::array<float, 37> c{};
    c[0] = 1.5f;
    c[1] = 100.0f;
    c[7] = 10.0f;
    device::ContinuousState state;
    state.temperatureText = "32768";
    state.readingCount = 5;
    state.temperature = device::NormaliseTemperature(32768);
    auto result = device::ParseContinuousChunk("P008388608\r", state, c, {});
    EXPECT_EQ(result.lines, "54.000044\r\n");
    EXPECT_EQ(result.logText, "\t54.000044\r\n");
}

TEST_F(DecimalCommaLocale, Number_parsing_ignores_the_locale) {
    EXPECT_EQ(ParseDecimalLong("1,5"), 1);
    EXPECT_EQ(device::EepromByteText("RD=170\r"), "AA");
    EXPECT_EQ(device::DecodeCoefficientWord("0x3F800000"), 1.0f);
}

TEST_F(DecimalCommaLocale, Log_file_values_keep_a_decimal_point) {
    std::string path = device_test::ScratchPath("locale_log.txt");
    g_logPath = path;
    g_timeStampChecked = true;
    ASSERT_TRUE(device::OpenLog());
    device::WriteLogText("\t" + FormatFixed6(-3.25) + "\r\n");
    device::CloseLog();
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    std::string text = content.str();
    ASSERT_EQ(text.size(), 10u + 12u);
    EXPECT_EQ(text.substr(10), "\t-3.250000\r\n");
    std::remove(path.c_str());
}

}  // namespace
