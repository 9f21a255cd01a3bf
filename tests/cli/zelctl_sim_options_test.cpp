#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

ChildResult Zelctl(std::vector<std::string> args) {
    args.insert(args.begin(), ZELCTL_PATH);
    return RunChild(args);
}

TEST(ZelctlSimulate, Prints_the_reading_the_sensor_options_state) {
    struct Case {
        std::vector<std::string> options;
        double expected;
    };
    const double x = 12.0 / 15;
    const std::vector<Case> cases = {
        {{"--pressure", "12", "--gain", "0.998", "--nonlinearity-psi", "0.05", "--offset-psi",
          "0.0123"},
         0.998 * 12 + 0.0123 + 0.05 * 4 * x * (1 - x)},
        {{"--pressure", "0", "--offset-psi", "-0.02"}, -0.02},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"acquire", "--simulate", "--count", "20"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(::testing::PrintToString(args));
        const ChildResult r = Zelctl(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::istringstream lines(r.out);
        int count = 0;
        for (std::string line; std::getline(lines, line); ++count) {
            // Half a count and the six decimals' rounding.
            EXPECT_NEAR(std::stod(line), c.expected, 1.2e-6) << line;
        }
        EXPECT_GE(count, 20);
    }
}

TEST(ZelctlSimulate, Sensor_options_need_simulate_and_good_values) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"eeprom", "--port", "/dev/null", "--pressure", "3"},
             {"acquire", "--simulate", "--gain", "x"},
             {"acquire", "--simulate", "--tone-psi", "0.1"},
             {"acquire", "--simulate", "--pressure", "16"},
         }) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ChildResult r = Zelctl(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.rfind("zelctl: --", 0), 0u) << r.err;
    }
}

}  // namespace
