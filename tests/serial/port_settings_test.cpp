#include "serial/port_settings.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "platform/pseudo_terminal.h"
#include "serial/serial_port.h"

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
    platform::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open(false));
    CSerialPort port;
    g_portName = pty.SlavePath();
    EXPECT_TRUE(serial::OpenPort(&port));
    EXPECT_TRUE(port.IsOpen());
    // Open Port again on the same choice closes the port first, so it opens again.
    EXPECT_TRUE(serial::OpenPort(&port));
}

TEST(OpenPort, Says_which_step_failed_and_why) {
    const std::pair<const char*, platform::OpenError> cases[] = {
        {"", platform::OpenError::NoSuchDevice},  // the list was empty
        {"ttyZEL99", platform::OpenError::NoSuchDevice},
        {"/dev/null", platform::OpenError::NotSerial},
    };
    for (const auto& [name, why] : cases) {
        SCOPED_TRACE(name);
        CSerialPort port;
        const serial::PortOpenResult result = serial::OpenPort(&port, name);
        EXPECT_EQ(result.failure, serial::PortOpenResult::kOpen);
        EXPECT_EQ(result.openError, why);
        EXPECT_FALSE(port.IsOpen());
    }
    class NoLineSettings : public platform::SerialDevice {
        bool GetState(platform::LineSettings*) override { return false; }
    };
    platform::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open(false));
    CSerialPort port(std::make_unique<NoLineSettings>());
    const serial::PortOpenResult result = serial::OpenPort(&port, pty.SlavePath());
    EXPECT_EQ(result.failure, serial::PortOpenResult::kConfigure);
    EXPECT_EQ(result.configureError, "GetCommState Error");
    EXPECT_FALSE(port.IsOpen());
}
