// zel-sim --serial through the whole chain: zelctl reads the image off the pseudo-terminal.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "child_process.h"
#include "sim/eeprom_image.h"

TEST(ZelSimSerial, Another_serial_number_changes_row_43_and_the_checksums_not_the_coefficients) {
    ChildResult eeprom;
    bool asked = false;
    RunChild({ZEL_SIM_PROGRAM, "--serial", "3000000000"}, [&](int pid, const std::string& out) {
        if (asked || out.find('\n') == std::string::npos) return;
        asked = true;
        eeprom =
            RunChild({ZELCTL_PATH, "eeprom", "--port", out.substr(0, out.find('\n')), "--json"});
        ::kill(pid, SIGTERM);
    });
    ASSERT_EQ(eeprom.exitCode, 0) << eeprom.err;
    const auto rows = nlohmann::json::parse(eeprom.out, nullptr, false)["rows"];
    ASSERT_EQ(rows.size(), 64u) << eeprom.out;
    EXPECT_EQ(rows[43]["bytes"], nlohmann::json({"B2", "D0", "5E", "00"}));  // 3000000000
    const auto image = sim::DefaultEeprom();
    unsigned bytes[256];
    for (int a = 0; a < 256; ++a) {
        bytes[a] = std::stoul(rows[a / 4]["bytes"][a % 4].get<std::string>(), nullptr, 16);
        if (a / 4 != 43 && a / 4 != 45) {
            EXPECT_EQ(bytes[a], image[a]) << "byte " << a;
        }
    }
    unsigned sum = 0;
    for (int a = 0; a < 0xB4; ++a) sum += bytes[a];
    EXPECT_EQ(bytes[0xB4] << 8 | bytes[0xB5], sum & 0xFFFF);
    EXPECT_EQ((sum + bytes[0xB6]) & 0xFF, 0u);
}
