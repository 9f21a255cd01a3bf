#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>
#include <array>
#include <string>

#include "device/eeprom_contents.h"
#include "device/eeprom_map.h"

namespace {

using device::DecodeCoefficientWord;
using device::EepromByteText;

TEST(EepromReply, Byte_text_is_the_decimal_after_the_first_equals_in_uppercase_hex) {
    EXPECT_EQ(EepromByteText("RD=170\r"), "AA");
    EXPECT_EQ(EepromByteText("=5\r"), "05");
    EXPECT_EQ(EepromByteText("=0\r"), "00");
    EXPECT_EQ(EepromByteText("=255\r"), "FF");
    EXPECT_EQ(EepromByteText("=300\r"), "12C");
    EXPECT_EQ(EepromByteText("=-1\r"), "FFFFFFFF");
    EXPECT_EQ(EepromByteText("=  +7\r"), "07");
    EXPECT_EQ(EepromByteText("=12 and more\r"), "0C");
}

TEST(EepromReply, No_reply_or_no_digits_gives_00) {
    EXPECT_EQ(EepromByteText(""), "00");
    EXPECT_EQ(EepromByteText("\r"), "00");
    EXPECT_EQ(EepromByteText("="), "00");
    EXPECT_EQ(EepromByteText("=\r"), "00");
    EXPECT_EQ(EepromByteText("abc\r"), "00");
    EXPECT_EQ(EepromByteText("RD=x5\r"), "00");
}

TEST(EepromReply, Last_character_is_always_dropped) {
    EXPECT_EQ(EepromByteText("=12"), "01");       // no line end: the last digit goes
    EXPECT_EQ(EepromByteText("17\r"), "11");      // no "=": the whole reply less its last character
    EXPECT_EQ(EepromByteText("=200\r\n"), "C8");  // "\r" stays, the decimal read stops there
}

TEST(EepromReply, Only_the_first_equals_counts) {
    EXPECT_EQ(EepromByteText("RD=16\rRD=32\r"), "10");
    EXPECT_EQ(EepromByteText("a=b=9\r"), "00");
}

TEST(EepromReply, Values_past_32_bits_keep_their_low_32) {
    EXPECT_EQ(EepromByteText("=4294967296\r"), "00");
    EXPECT_EQ(EepromByteText("=4294967551\r"), "FF");
    EXPECT_EQ(EepromByteText("=-4294967295\r"), "01");
}

TEST(CoefficientWord, Big_endian_bytes_form_an_IEEE_single) {
    EXPECT_EQ(DecodeCoefficientWord("0x3F800000"), 1.0f);
    EXPECT_EQ(DecodeCoefficientWord("0xC0000000"), -2.0f);
    EXPECT_EQ(DecodeCoefficientWord("0x00000000"), 0.0f);
    EXPECT_TRUE(std::isinf(DecodeCoefficientWord("0x7F800000")));
}

TEST(CoefficientWord, Over_long_words_saturate_to_all_ones) {
    const float f = DecodeCoefficientWord("0x12CFF0000");  // a 300 in the first byte
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    EXPECT_EQ(bits, 0xFFFFFFFFu);
    EXPECT_TRUE(std::isnan(f));
}

TEST(EepromMap, Rows_carry_their_descriptions_and_uppercase_addresses) {
    const auto& rows = device::EepromRows();
    const char* named[] = {"A",  "a1",  "a2",  "a3",  "a4",  "a5",  "a6",  "b1", "b2", "b3",
                           "b4", "b5",  "b6",  "c1",  "c2",  "c3",  "c4",  "c5", "c6", "d1",
                           "d2", "d3",  "d4",  "d5",  "d6",  "e1",  "e2",  "e3", "e4", "e5",
                           "e6", "fa1", "fa2", "fa3", "fa4", "fa5", "fa6", "FS"};
    for (int r = 0; r < 38; ++r) EXPECT_STREQ(rows[r].description, named[r]) << r;
    EXPECT_STREQ(rows[38].description, "Min/Max Op/Stor Temp");
    EXPECT_STREQ(rows[39].description, "Pmin");
    EXPECT_STREQ(rows[40].description, "Pmax");
    EXPECT_STREQ(rows[41].description, "Min/Max Tout");
    EXPECT_STREQ(rows[42].description, "Type/Date Code");
    EXPECT_STREQ(rows[43].description, "Serial No");
    EXPECT_STREQ(rows[44].description, "Vel. P/N");
    EXPECT_STREQ(rows[45].description, "Checksum Bytes");
    for (int r = 46; r < 64; ++r) EXPECT_STREQ(rows[r].description, "Unused") << r;
    for (int r = 0; r < 64; ++r) {
        char address[3];
        std::snprintf(address, sizeof address, "%02X", 4 * r);
        EXPECT_STREQ(rows[r].address, address);
        EXPECT_LE(std::strlen(rows[r].description), 21u);
    }
}

TEST(EepromMap, Read_commands_use_lowercase_hex_addresses) {
    EXPECT_EQ(device::EepromReadFrame("01", 0x00), "*01rd00\r");
    EXPECT_EQ(device::EepromReadFrame("01", 0x0C), "*01rd0c\r");
    EXPECT_EQ(device::EepromReadFrame("01", 0xFF), "*01rdff\r");
}

TEST(EepromImage, The_serial_number_is_row_43_as_a_big_endian_number) {
    struct Case {
        std::array<const char*, 4> replies;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{{{"=0\r", "=18\r", "=214\r", "=135\r"}, "1234567"},
                                           {{"=255\r", "=255\r", "=255\r", "=255\r"}, "4294967295"},
                                           {{"=0\r", "=300\r", "=214\r", "=135\r"}, ""},
                                           {{"=0\r", "=-1\r", "=214\r", "=135\r"}, ""}}) {
        device::EepromImage image;
        for (int j = 0; j < 4; ++j) image.replies[0xAC + j] = c.replies[j];
        EXPECT_EQ(device::SerialNumberText(image), c.expected) << c.replies[1];
    }
}

// What the user is told names what was seen: "ERR", "=12" without a line end and "==9" are
// neither late nor repeated replies.
TEST(EepromImage, An_unconfirmed_reply_is_told_as_late_repeated_not_whole_or_missing) {
    struct Case {
        const char* text;
        bool late;
        unsigned expected;
    };
    for (const Case& c : {Case{"=12\r", true, device::kReplyLate},
                          Case{"=12\r=12\r", false, device::kReplyRepeated},
                          Case{"=12\r=12\r", true, device::kReplyRepeated},
                          Case{"ERR\r", true, device::kReplyNotWhole},
                          Case{"=12", false, device::kReplyNotWhole},
                          Case{"==9\r", true, device::kReplyNotWhole},
                          Case{"", false, device::kReplyNeverCame}}) {
        EXPECT_EQ(device::ClassifyEepromReply(c.text, c.late), c.expected) << c.text;
    }
    EXPECT_EQ(device::UnconfirmedRowsMessage({{4, device::kReplyLate | device::kReplyNotWhole},
                                              {43, device::kReplyRepeated}}),
              "The EEPROM rows a4 (10) and Serial No (AC) could not be confirmed, also when asked "
              "again: for a4 (10) the replies came late and were not one whole reply; for Serial "
              "No (AC) the replies came more than once. The values shown for them may be wrong, "
              "and so may the calculated pressure.");
}

}  // namespace
