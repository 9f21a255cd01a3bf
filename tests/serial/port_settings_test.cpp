#include "serial/port_settings.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "platform/pseudo_terminal.h"
#include "serial/serial_port.h"
#include "tests/support/message_recorder.h"

TEST(BuildSettingsString, Builds_the_string_and_parity_text_for_every_choice) {
    struct Case {
        int baud, parity;
        const char* settings;
        const char* parityText;
    };
    const Case cases[] = {
        {9, 0, "115200,N,8,1", "NONE - 8 - 1"}, {0, 1, "1200,O,7,1", "ODD - 7 - 1"},
        {3, 2, "9600,E,7,1", "EVEN - 7 - 1"},   {4, 0, "14400,N,8,1", "NONE - 8 - 1"},
        {10, 0, ",N,8,1", "NONE - 8 - 1"},      {-1, 2, ",E,7,1", "EVEN - 7 - 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        g_parityText.clear();
        EXPECT_EQ(serial::BuildSettingsString(c.baud, c.parity), c.settings);
        EXPECT_EQ(g_parityText, c.parityText);
    }
}

TEST(BuildSettingsString, The_same_choice_gives_the_same_result_on_every_press) {
    g_parityText.clear();
    for (int press = 0; press < 3; ++press) {
        EXPECT_EQ(serial::BuildSettingsString(9, 0), "115200,N,8,1");
        EXPECT_EQ(g_parityText, "NONE - 8 - 1");
    }
}

TEST(BuildSettingsString, An_unknown_parity_keeps_the_previous_parity_text_and_appends_again) {
    g_parityText = "ODD";
    EXPECT_EQ(serial::BuildSettingsString(9, 7), "115200,,7,1");
    EXPECT_EQ(g_parityText, "ODD - 7 - 1");
    g_parityText = "NONE - 8 - 1";
    EXPECT_EQ(serial::BuildSettingsString(9, 7), "115200,,8,1");
    EXPECT_EQ(g_parityText, "NONE - 8 - 1 - 8 - 1");
}

TEST(OpenPort, Opens_and_configures_the_chosen_port) {
    MessageRecorder messages;
    platform::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open(false));
    CSerialPort port;
    g_portName = pty.SlavePath();
    EXPECT_TRUE(serial::OpenPort(&port));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(messages.shown.empty());
    // Open Port again on the same choice closes the port first, so it opens again.
    EXPECT_TRUE(serial::OpenPort(&port));
}

TEST(OpenPort, A_port_that_cannot_be_opened_shows_Error_Opening_COM_Port_and_why) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "Error Opening COM Port"},  // the list was empty
        {"ttyZEL99", "Error Opening COM Port\n\n/dev/ttyZEL99 does not exist."},
        {"/dev/null", "Error Opening COM Port\n\n/dev/null is not a serial device."},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        MessageRecorder messages;
        CSerialPort port;
        g_portName = name;
        EXPECT_FALSE(serial::OpenPort(&port));
        EXPECT_FALSE(port.IsOpen());
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, text);
        EXPECT_EQ(messages.shown[0].caption, "Zel Demo Interface Software");
        EXPECT_EQ(messages.shown[0].icon, platform::MessageIcon::Error);
        EXPECT_TRUE(messages.shown[0].appBox);
    }
}

TEST(OpenPort, A_line_that_cannot_be_configured_shows_both_messages_and_stays_closed) {
    class NoLineSettings : public platform::SerialDevice {
        bool GetState(platform::LineSettings*) override { return false; }
    };
    MessageRecorder messages;
    platform::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open(false));
    CSerialPort port(std::make_unique<NoLineSettings>());
    g_portName = pty.SlavePath();
    EXPECT_FALSE(serial::OpenPort(&port));
    EXPECT_FALSE(port.IsOpen());
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "GetCommState Error");
    EXPECT_EQ(messages.shown[1].text, "Error Setting BaudRate");
    EXPECT_TRUE(messages.shown[1].appBox);
}
