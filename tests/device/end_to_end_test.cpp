#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "device/c_numbers.h"
#include "device/continuous_parser.h"
#include "device/eeprom_map.h"
#include "device/session_events.h"
#include "host_on_simulator_fixture.h"

namespace {

using device_test::Now;
using device_test::SimHostTest;

// A run of continuous acquisition with logging, as Run and Stop do it.
class ContinuousRun : public SimHostTest {
protected:
    struct Outcome {
        double startSeconds = 0;  // StartContinuous, on the host's clock
        double stopStart = 0;
        double stopEnd = 0;
        std::vector<double> logged;
        std::vector<sim::ReadingRecord> sent;  // pressure records, in order
        size_t readingsAtStopEnd = 0;
    };

    // A run of `ticks` acquisition steps (100 ms each).
    Outcome Run(uint64_t ticks) {
        Outcome out;
        g_coefficients = sim::DefaultCoefficients();
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        const std::string logPath = device_test::ScratchPath(name + ".txt");
        g_logPath = logPath;
        g_logChecked = true;
        dialog.StartTimer();
        const double start = Now();
        page.StartContinuous();
        out.startSeconds = Now() - start;
        EXPECT_TRUE(device::OpenLog());
        EXPECT_TRUE(device_test::WaitForTicks(*dialog.m_timer, ticks));
        out.stopStart = Now();
        page.StopContinuous();
        device::CloseLog();
        out.stopEnd = Now();
        out.readingsAtStopEnd = simulator->Readings().size();
        // Time for the transducer to send more, if it would.
        EXPECT_TRUE(device_test::WaitForTicks(*dialog.m_timer, 4));
        dialog.m_timer->Stop();
        EXPECT_TRUE(device_test::ParseLogValues(device_test::ReadWholeFile(logPath), &out.logged));
        std::remove(logPath.c_str());
        out.sent = PressureReadings();
        return out;
    }

    // Every logged value, in order, matches a distinct sent record within the stated error;
    // returns the index of the sent record each matched.
    static std::vector<size_t> MatchInOrder(const Outcome& out, double tolerance) {
        std::vector<size_t> matched;
        size_t next = 0;
        for (double value : out.logged) {
            while (next < out.sent.size() && std::fabs(value - out.sent[next].truth) > tolerance) {
                ++next;
            }
            if (next == out.sent.size()) break;
            matched.push_back(next++);
        }
        return matched;
    }

    static void ExpectReadoutWellFormed() {
        EXPECT_LE(g_readoutText.size(), device::kReadoutTrimThreshold + 2048);
        // Every complete line of the read-out is a "%f" value.
        size_t at = g_readoutText.find("\r\n");  // the first line may have been cut
        while (at != std::string::npos && at + 2 < g_readoutText.size()) {
            size_t end = g_readoutText.find("\r\n", at + 2);
            if (end == std::string::npos) break;
            std::string line = g_readoutText.substr(at + 2, end - at - 2);
            EXPECT_EQ(device::FormatFixed6(std::strtod(line.c_str(), nullptr)), line);
            at = end;
        }
    }
};

TEST_F(ContinuousRun, Ten_seconds_account_for_every_record_within_the_stated_error) {
    StartSim();
    const Outcome out = Run(100);
    ASSERT_GT(out.sent.size(), 1000u);

    // Every record the transducer sent is shown in order, except a prefix that no temperature
    // could be taken for yet and the records still on the line when Stop drained it.
    const auto matched = MatchInOrder(out, sim::kStatedErrorPsi);
    ASSERT_EQ(matched.size(), out.logged.size()) << "a value off its true pressure";
    ASSERT_FALSE(matched.empty());
    const size_t skipped = matched.front();
    EXPECT_LE(skipped, 19u);
    for (size_t i = 0; i < matched.size(); ++i) ASSERT_EQ(matched[i], skipped + i) << i;
    for (size_t k = skipped + matched.size(); k < out.sent.size(); ++k) {
        EXPECT_GE(out.sent[k].time, out.stopStart - 0.5) << "record " << k << " lost";
    }

    // C1 at the start, then at the 1st, 21st, 41st ... reading.
    const size_t readings = skipped + matched.size();
    const auto c1 = FramesNamed("*01C1");
    EXPECT_EQ(c1.size(), 1 + (readings + 19) / 20);
    EXPECT_EQ(FramesNamed("*01C4").size(), 1u);
    const auto in = FramesNamed("*01IN");
    ASSERT_EQ(in.size(), 2u);
    // The waits as the host keeps them (the simulator's receive times move with its thread):
    // 10 ms and 5 ms at the start, 20 ms after each IN at the stop.
    EXPECT_GE(out.startSeconds, 0.015);
    EXPECT_GE(out.stopEnd - out.stopStart, 0.040);

    // After the stop sequence the transducer sends nothing more.
    EXPECT_FALSE(simulator->Continuous());
    EXPECT_EQ(simulator->Readings().size(), out.readingsAtStopEnd);
    for (const auto& r : out.sent) EXPECT_LT(r.time, out.stopEnd);
    ExpectReadoutWellFormed();
    EXPECT_FALSE(g_continuousMode);
    EXPECT_TRUE(g_acquisitionStopped);
    EXPECT_FALSE(page.m_fellBehind);
}

struct FaultCase {
    const char* name;
    sim::Faults faults;
    bool lossless;        // every record must be shown, as in a clean run
    double shownAtLeast;  // otherwise: this share of the records sent, at least
    bool fallsBehind = false;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class FaultModes : public ContinuousRun, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultModes, Nothing_hangs_and_what_the_rules_show_is_shown) {
    sim::Options options;
    options.faults = GetParam().faults;
    StartSim(options);
    const Outcome out = Run(30);
    ASSERT_FALSE(out.logged.empty());
    const auto matched = MatchInOrder(out, sim::kStatedErrorPsi);
    EXPECT_EQ(matched.size(), out.logged.size()) << "a value off its true pressure";
    if (GetParam().lossless && !matched.empty()) {
        for (size_t i = 0; i < matched.size(); ++i) ASSERT_EQ(matched[i], matched[0] + i) << i;
        for (size_t k = matched[0] + matched.size(); k < out.sent.size(); ++k) {
            EXPECT_GE(out.sent[k].time, out.stopStart - 0.5) << "record " << k << " lost";
        }
    } else {
        EXPECT_GE(out.logged.size(), GetParam().shownAtLeast * out.sent.size());
    }
    ExpectReadoutWellFormed();
    EXPECT_EQ(page.m_fellBehind, GetParam().fallsBehind);
    if (GetParam().fallsBehind) {
        EXPECT_GT(page.m_stopDiscardedBytes, 0);
    }
    EXPECT_LE(device::MonitorTextCopy().size(), 2000u + 2 * 512u);
    EXPECT_LE(page.m_carry.size(), device::kCarryCap);
}

sim::Faults Garbage() {
    sim::Faults f;
    f.garbage = true;
    return f;
}
sim::Faults Nuls() {
    sim::Faults f;
    f.nulBytes = true;
    return f;
}
sim::Faults Split() {
    sim::Faults f;
    f.splitRecords = true;
    return f;
}
sim::Faults Hashes() {
    sim::Faults f;
    f.hashRestarts = true;
    return f;
}
sim::Faults Flood() {
    sim::Faults f;
    f.recordsPerSecond = 1000;
    return f;
}

INSTANTIATE_TEST_SUITE_P(Transducer, FaultModes,
                         ::testing::Values(FaultCase{"Garbage", Garbage(), true, 1},
                                           FaultCase{"NulBytes", Nuls(), false, 0.05},
                                           FaultCase{"SplitRecords", Split(), true, 1},
                                           FaultCase{"HashRestarts", Hashes(), false, 0.5},
                                           FaultCase{"Beyond5120BytesASecond", Flood(), false, 0.25,
                                                     true}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(ContinuousRun, Unplugged_transducer_stops_the_reads_and_is_reported_once) {
    struct Events : device::SessionEvents {
        std::atomic<int> gone{0};
        void OnPortGone() override { ++gone; }
    } events;
    device::MainDialogCore watcher;
    watcher.m_events = &events;
    watcher.m_port = &port;
    watcher.m_readPort = &port;
    watcher.m_deviceAddress = "01";
    sim::Options options;
    options.faults.disconnectAfterMs = 700;
    StartSim(options);
    g_mainDlg = &watcher;
    watcher.StartTimer();
    page.StartContinuous();
    EXPECT_TRUE(WaitUntil([&] { return events.gone.load() > 0; }));
    // Ticks on the gone port, in the run and after it, would report it again.
    EXPECT_TRUE(device_test::WaitForTicks(*watcher.m_timer, 5));
    page.StopContinuous();
    EXPECT_TRUE(device_test::WaitForTicks(*watcher.m_timer, 5));
    watcher.m_timer->Stop();
    EXPECT_EQ(events.gone.load(), 1);
    EXPECT_TRUE(watcher.PortGone());
    EXPECT_FALSE(port.IsOpen());
    g_mainDlg = nullptr;
}

}  // namespace
