#include "device/verification_plan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using device::VerificationPlan;

TEST(VerificationPlan, A_count_of_points_spreads_evenly_over_the_range_both_ends_included) {
    VerificationPlan plan;
    std::string error;
    ASSERT_TRUE(device::ParseVerificationPlan(
        R"({"range_psi": [0, 15], "points": 6, "cycles": 2, "directions": "up-down"})", &plan,
        &error))
        << error;
    EXPECT_EQ(plan.points, (std::vector<double>{0, 3, 6, 9, 12, 15}));
    // Up through the six, down through five, twice: the top measured once a cycle.
    const auto order = device::PlannedPoints(plan);
    ASSERT_EQ(order.size(), 22u);
    EXPECT_EQ(order[5].setpointPsi, 15);
    EXPECT_TRUE(order[5].up);
    EXPECT_EQ(order[6].setpointPsi, 12);
    EXPECT_FALSE(order[6].up);
    EXPECT_EQ(order[10].setpointPsi, 0);
    EXPECT_EQ(order[11].cycle, 2);
    EXPECT_TRUE(order[11].up);
}

TEST(VerificationPlan, Reads_back_what_it_writes) {
    VerificationPlan plan;
    std::string error;
    ASSERT_TRUE(device::ParseVerificationPlan(
        R"({"range_psi": [1, 11], "points": [11, 1, 6], "dwell_s": 0.5,
            "settle": {"window_s": 0.4, "max_std_psi": 0.01, "max_slope_psi_per_s": 0.02,
                       "timeout_s": 9},
            "tolerances": {"max_error": 0.1, "noise": 0.02},
            "controller": {"set": "PRES {psi}", "read": "PRES?", "stable": ""}})",
        &plan, &error))
        << error;
    VerificationPlan again;
    ASSERT_TRUE(device::ParseVerificationPlan(device::VerificationPlanJson(plan), &again, &error))
        << error;
    EXPECT_EQ(again.points, (std::vector<double>{1, 6, 11}));
    EXPECT_EQ(again.settle.windowSeconds, 0.4);
    EXPECT_EQ(again.settle.timeoutSeconds, 9);
    EXPECT_EQ(again.dwellSeconds, 0.5);
    EXPECT_EQ(again.tolerances, plan.tolerances);
    EXPECT_EQ(again.controller.set, "PRES {psi}");
    EXPECT_EQ(again.controller.stable, "");
}

struct BadPlan {
    const char* json;
    const char* named;  // what the message must name
};

TEST(VerificationPlan, Refuses_a_bad_plan_naming_the_key) {
    const BadPlan cases[] = {
        {R"({"range_psi": [0, 15], "dwell": 2})", "\"dwell\""},
        {R"({"points": 5})", "\"range_psi\" is missing"},
        {R"({"range_psi": [15, 0]})", "\"range_psi\""},
        {R"({"range_psi": [0, 15], "points": [0, 7.5, 16]})", "\"points\"[2] = 16"},
        {R"({"range_psi": [0, 15], "points": [-1, 15]})", "\"points\"[0]"},
        {R"({"range_psi": [0, 15], "tolerances": {"max_error": 0}})", "\"tolerances.max_error\""},
        {R"({"range_psi": [0, 15], "tolerances": {"noise": -0.1}})", "\"tolerances.noise\""},
        {R"({"range_psi": [0, 15], "tolerances": {"noise": "0.1"}})", "\"tolerances.noise\""},
        {R"({"range_psi": [0, 15], "tolerances": {"accuracy": 0.1}})", "\"tolerances.accuracy\""},
        {R"({"range_psi": [0, 15], "tolerances": {"nonrepeatability": 0.1}})",
         "\"tolerances.nonrepeatability\""},
        {R"({"range_psi": [0, 15], "settle": {"window": 1}})", "\"settle.window\""},
        {R"({"range_psi": [0, 15], "settle": {"timeout_s": 0}})", "\"settle.timeout_s\""},
        {R"({"range_psi": [0, 15], "directions": "down"})", "\"directions\""},
        {R"({"range_psi": [0, 15], "cycles": 0})", "\"cycles\""},
        {R"({"range_psi": [0, 15], "controller": {"set": "SOUR:PRES"}})", "\"controller.set\""},
        {R"({"range_psi": [0, 15], "controller": {"reset": "*RST"}})", "\"controller.reset\""},
        {R"({"range_psi": [0, 15],)", "not valid JSON"},
    };
    for (const BadPlan& c : cases) {
        VerificationPlan plan;
        std::string error;
        EXPECT_FALSE(device::ParseVerificationPlan(c.json, &plan, &error)) << c.json;
        EXPECT_NE(error.find(c.named), std::string::npos) << c.json << " -> " << error;
    }
}

}  // namespace
