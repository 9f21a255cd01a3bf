#include "sim/pressure_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "scpi_client.h"
#include "tests/support/wait_until.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TEST(PressureController, Steps_to_a_set_point_and_reports_it_stable_over_a_real_socket) {
    sim::ControllerOptions options;
    options.tauS = 0.05;
    options.identity = "test,controller,0,1";
    sim::PressureController controller(options);
    ASSERT_TRUE(controller.Start("127.0.0.1", 0));
    ASSERT_NE(controller.Port(), 0);
    EXPECT_EQ(controller.Address(), "127.0.0.1:" + std::to_string(controller.Port()));

    ScpiClient client(controller.Port());
    ASSERT_TRUE(client.connected);
    EXPECT_EQ(client.Query("*IDN?"), "test,controller,0,1");
    client.Send("SOUR:PRES 5.25");
    EXPECT_EQ(client.Query("SOUR:PRES?"), "5.2500000");
    EXPECT_EQ(client.Query("STAT:STAB?"), "0");
    EXPECT_TRUE(WaitUntil([&] { return client.Query("STAT:STAB?") == "1"; }));
    EXPECT_NEAR(std::stod(client.Query("MEAS:PRES?")), 5.25, sim::kStableBandPsi);
    EXPECT_EQ(client.Query("SYST:ERR?"), "0,\"No error\"");
    // Long forms in any case, a CR before the LF.
    EXPECT_EQ(client.Query(":measure:pressure?\r").substr(0, 4), "5.25");
}

TEST(PressureController, Queues_errors_for_SYST_ERR_as_SCPI_does) {
    sim::PressureController controller;
    ASSERT_TRUE(controller.Start("localhost", 0));
    ScpiClient client(controller.Port());
    ASSERT_TRUE(client.connected);
    for (const char* bad : {"FOO:BAR 1", "SOUR:PRES", "SOUR:PRES five", "SOUR:PRES 15.5"})
        client.Send(bad);
    EXPECT_EQ(client.Query("SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(client.Query("SYST:ERR?"), "-109,\"Missing parameter\"");
    EXPECT_EQ(client.Query("SYST:ERR?"), "-104,\"Data type error\"");
    EXPECT_EQ(client.Query("SYST:ERR?"), "-222,\"Data out of range\"");
    EXPECT_EQ(client.Query("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(client.Query("SOUR:PRES?"), "0.0000000");  // the bad values were not taken
}

TEST(PressureController, Serves_clients_one_after_the_other_with_its_state_kept) {
    sim::PressureController controller;
    ASSERT_TRUE(controller.Start("127.0.0.1", 0));
    {
        ScpiClient first(controller.Port());
        first.Send("SOUR:PRES 3");
        EXPECT_EQ(first.Query("SOUR:PRES?"), "3.0000000");
    }
    ScpiClient second(controller.Port());
    ASSERT_TRUE(second.connected);
    EXPECT_EQ(second.Query("SOUR:PRES?"), "3.0000000");
}

TEST(PressureController, Follows_a_first_order_step_and_is_stable_one_second_after_the_band) {
    sim::ControllerOptions options;
    options.initialPsi = 2;
    options.tauS = 0.5;
    sim::PressureController controller(options);
    const double before = Now();
    controller.Handle("SOUR:PRES 12");
    const double after = Now();
    EXPECT_NEAR((controller.TruePressureAt(after + 0.5) - 12) / (2 - 12), std::exp(-1.0), 1e-3);
    EXPECT_NEAR(controller.TruePressureAt(after + 20), 12, 1e-9);
    // Within 0.001 PSI from t0 + tau ln(10 / 0.001) on, stable 1 s later.
    const double inBand = 0.5 * std::log(10 / sim::kStableBandPsi);
    EXPECT_FALSE(controller.StableAt(before + inBand + 0.99));
    EXPECT_TRUE(controller.StableAt(after + inBand + 1.01));
    EXPECT_LE(std::fabs(controller.TruePressureAt(after + inBand) - 12), sim::kStableBandPsi);
}

TEST(PressureController, Refuses_an_address_that_is_not_loopback) {
    sim::PressureController controller;
    std::string error;
    EXPECT_FALSE(controller.Start("0.0.0.0", 0, &error));
    EXPECT_NE(error.find("loopback"), std::string::npos) << error;
    std::string host;
    uint16_t port = 1;
    EXPECT_TRUE(sim::ParseHostPort("127.0.0.2:0", &host, &port, &error));
    EXPECT_EQ(host, "127.0.0.2");
    EXPECT_EQ(port, 0);
    EXPECT_FALSE(sim::ParseHostPort("127.0.0.1", &host, &port, &error));
}

}  // namespace
