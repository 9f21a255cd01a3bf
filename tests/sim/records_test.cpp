#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "host_side_port.h"
#include "sim/simulator.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Records : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.Start());
        host = std::make_unique<SimHost>(simulator.PortPath());
        ASSERT_TRUE(host->opened);
    }
    sim::Simulator simulator;
    std::unique_ptr<SimHost> host;
};

TEST_F(Records, Every_frame_is_kept_in_order_with_its_monotonic_time) {
    const double before = Now();
    size_t sent = 0;
    for (const char* frame : {"*02IN\r", "*01rd00\r", "*01C1\r", "junk\r"}) {
        host->Send(frame);
        ++sent;
        EXPECT_TRUE(WaitUntil([&] { return simulator.Frames().size() == sent; }));
    }
    EXPECT_TRUE(WaitUntil([&] { return simulator.Frames().size() >= 4; }));
    const double after = Now();
    const auto frames = simulator.Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].frame, "*02IN");
    EXPECT_EQ(frames[1].frame, "*01rd00");
    EXPECT_EQ(frames[2].frame, "*01C1");
    EXPECT_EQ(frames[3].frame, "junk");
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_GE(frames[i].time, before);
        EXPECT_LE(frames[i].time, after);
        // Frames read in one go share their time.
        if (i > 0) {
            EXPECT_GE(frames[i].time, frames[i - 1].time);
        }
    }
}

TEST_F(Records, A_frame_cut_into_pieces_is_kept_once_whole) {
    host->Send("*01r");
    host->ReadFor(0.02);
    host->Send("d00\r");
    host->ReadLines(1);
    const auto frames = simulator.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].frame, "*01rd00");
}

TEST_F(Records, Each_reading_keeps_the_raw_value_sent_and_its_truth) {
    host->Send("*01C1\r");
    const std::string t = host->ReadLines(1);
    host->Send("*01C3\r");
    const std::string p = host->ReadLines(1);
    const auto readings = simulator.Readings();
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[0].kind, 'T');
    EXPECT_EQ(readings[0].raw, std::strtoul(t.c_str() + 3, nullptr, 10));
    EXPECT_NEAR(sim::CelsiusForRaw(readings[0].raw), readings[0].truth, 0.002);
    EXPECT_EQ(readings[1].kind, 'P');
    EXPECT_EQ(readings[1].raw, std::strtoul(p.c_str() + 3, nullptr, 10));
    EXPECT_GE(readings[1].time, readings[0].time);
    // What the host computes from the two records is the truth, up to the temperature's drift
    // between them.
    const double drift =
        (readings[1].time - readings[0].time) * sim::kMaxDriftCPerSecond * sim::kMaxPsiPerCelsius;
    EXPECT_NEAR(sim::HostPressure(sim::DefaultCoefficients(), readings[1].raw, readings[0].raw),
                readings[1].truth, sim::kStatedErrorPsi + drift);
}

TEST_F(Records, Continuous_readings_follow_the_documented_pattern) {
    host->Send("*01C4\r");
    EXPECT_TRUE(WaitUntil([&] {
        host->ReadOnce();
        return simulator.Readings().size() > 40;
    }));
    host->Send("*01IN\r");
    EXPECT_TRUE(WaitUntil([&] { return !simulator.Continuous(); }));
    const auto readings = simulator.Readings();
    ASSERT_GT(readings.size(), 20u);
    const auto c = sim::DefaultCoefficients();
    for (size_t i = 0; i < readings.size(); ++i) {
        const double seconds = readings[i].time - simulator.StartTime();
        EXPECT_EQ(readings[i].kind, 'P');
        if (i > 0) {
            EXPECT_GT(readings[i].time, readings[i - 1].time);
        }
        EXPECT_EQ(readings[i].truth, sim::TruePressureAt(seconds));
        const uint32_t rawT = sim::RawTemperatureFor(sim::TrueTemperatureAt(seconds));
        EXPECT_NEAR(sim::HostPressure(c, readings[i].raw, rawT), readings[i].truth,
                    sim::kStatedErrorPsi);
    }
}

}  // namespace
