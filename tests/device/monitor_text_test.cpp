#include "device/monitor_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using device::AppendEchoText;
using device::AppendResponseText;

// Lines of ten characters each, "0123456\r\n" style with a running letter, up to `size`.
std::string Lines(size_t size) {
    std::string text;
    char letter = 'a';
    while (text.size() < size) {
        std::string line(8, letter);
        line += "\r\n";
        text += line;
        letter = letter == 'z' ? 'a' : letter + 1;
    }
    text.resize(size);
    return text;
}

TEST(MonitorText, Turns_each_CR_into_CR_LF) {
    std::string monitor;
    EXPECT_TRUE(AppendResponseText(monitor, "abc\r"));
    EXPECT_EQ(monitor, "abc\r\n");
    AppendResponseText(monitor, "\r\rx");
    EXPECT_EQ(monitor, "abc\r\n\r\n\r\nx");
}

TEST(MonitorText, Empty_text_changes_nothing) {
    std::string monitor = Lines(2500);
    EXPECT_FALSE(AppendResponseText(monitor, ""));
    EXPECT_EQ(monitor, Lines(2500));
}

TEST(MonitorText, Keeps_everything_at_exactly_2000_characters) {
    std::string monitor = Lines(2000);
    AppendResponseText(monitor, "xyz\r");
    EXPECT_EQ(monitor, Lines(2000) + "xyz\r\n");
}

TEST(MonitorText, Trims_whole_leading_lines_once_past_2000_characters) {
    std::string monitor = Lines(2001);
    // L = 4: the first LF at or after position 4 is the one ending the first line (position 9).
    AppendResponseText(monitor, "xyz\r");
    EXPECT_EQ(monitor, Lines(2001).substr(10) + "xyz\r\n");

    // A longer text drops as many whole lines as cover its length as received.
    monitor = Lines(2001);
    AppendResponseText(monitor, std::string(25, 'q'));
    EXPECT_EQ(monitor, Lines(2001).substr(30) + std::string(25, 'q'));
}

TEST(MonitorText, Counts_the_new_text_before_CR_becomes_CR_LF) {
    // Ten CRs are ten characters as received (twenty once shown): the cut is at the first LF at
    // or after position 10, which ends the second line.
    std::string monitor = Lines(2001);
    AppendResponseText(monitor, std::string(10, '\r'));
    EXPECT_EQ(monitor.substr(0, 10), Lines(2001).substr(20, 10));
}

TEST(MonitorText, Deletes_nothing_without_a_line_feed_past_the_new_length) {
    std::string monitor = std::string(2100, 'm');
    AppendResponseText(monitor, "ab");
    EXPECT_EQ(monitor, std::string(2100, 'm') + "ab");
    monitor = std::string(2100, 'm') + "\n";  // the only LF lies before L
    AppendResponseText(monitor, std::string(2200, 'z'));
    EXPECT_EQ(monitor.size(), 2101u + 2200u);
}

TEST(MonitorText, Echoes_never_trim) {
    std::string monitor = Lines(5000);
    EXPECT_EQ(AppendEchoText(monitor, "*01C1\r\n"), ">>*01C1\r\n");
    EXPECT_EQ(monitor, Lines(5000) + ">>*01C1\r\n");
}

}  // namespace
