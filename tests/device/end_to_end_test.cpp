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
#include "sim_host.h"

namespace {

using device_test::Now;
using device_test::SimHostTest;
using namespace std::chrono_literals;

std::string Hex(int value) {
    return device::FormatHexUpper(static_cast<uint32_t>(value), 2);
}

class EepromReadout : public SimHostTest {};

// The host's fixed windows leave the simulator 40 ms per reply; a machine so loaded that its
// thread stalls longer makes a late reply, which is the protocol's rule, not a fault. Such a
// read-out is repeated (at most twice more) before the table is compared.
bool TableMatches(const device::StringTableView& table, const std::array<uint8_t, 256>& image) {
    if (table.Rows().size() != 64) return false;
    for (int a = 0; a < 256; ++a) {
        if (table.Rows()[a / 4][2 + a % 4] != Hex(image[a])) return false;
    }
    return true;
}

TEST_F(EepromReadout, Table_equals_the_transducer_image_and_coefficients_its_calibration) {
    StartSim();
    table.InsertItem();  // left over from before: the read-out starts the list afresh
    const auto image = simulator->Eeprom();
    double seconds = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) table = device::StringTableView();  // a list prepared only once
        simulator->ClearRecords();
        const double start = Now();
        dialog.ReadEeprom();
        seconds = Now() - start;
        if (TableMatches(table, image)) break;
    }

    ASSERT_EQ(table.Rows().size(), 64u);
    ASSERT_EQ(table.Columns().size(), 6u);
    EXPECT_EQ(table.Columns()[0].title, "Description");
    EXPECT_EQ(table.Columns()[0].widthPixels, 120);
    EXPECT_EQ(table.Columns()[1].widthPixels, 57);
    EXPECT_EQ(table.Columns()[5].title, "Byte4");
    EXPECT_TRUE(table.GridLines());
    for (int r = 0; r < 64; ++r) {
        const auto& row = table.Rows()[r];
        EXPECT_EQ(row[0], device::EepromRows()[r].description);
        EXPECT_EQ(row[1], Hex(4 * r));
        for (int j = 0; j < 4; ++j) EXPECT_EQ(row[2 + j], Hex(image[4 * r + j])) << r << "/" << j;
    }
    const auto expected = sim::DefaultCoefficients();
    for (int k = 0; k < 37; ++k) EXPECT_EQ(g_coefficients[k], expected[k]) << k;

    // "*02IN" first, then one read per byte in ascending order.
    const auto frames = simulator->Frames();
    ASSERT_EQ(frames.size(), 257u);
    EXPECT_EQ(frames[0].frame, "*02IN");
    for (int a = 0; a < 256; ++a) {
        char expectedFrame[16];
        std::snprintf(expectedFrame, sizeof expectedFrame, "*01rd%02x", a);
        EXPECT_EQ(frames[1 + a].frame, expectedFrame);
    }
    EXPECT_GE(seconds, 0.010 + 256 * 0.020);
}

TEST_F(EepromReadout, Silent_transducer_gives_00_everywhere_and_zero_coefficients) {
    sim::Options options;
    options.faults.silent = true;
    StartSim(options);
    g_coefficients.fill(7.0f);
    const double start = Now();
    dialog.ReadEeprom();
    const double seconds = Now() - start;
    ASSERT_EQ(table.Rows().size(), 64u);
    for (const auto& row : table.Rows()) {
        for (int j = 2; j < 6; ++j) EXPECT_EQ(row[j], "00");
    }
    for (float c : g_coefficients) EXPECT_EQ(c, 0.0f);
    EXPECT_GE(seconds, 0.010 + 256 * 0.040);  // both windows for every byte: about 10.3 s
    EXPECT_LT(seconds, 40.0);
}

TEST_F(EepromReadout, Late_reply_is_taken_for_the_next_byte) {
    sim::Options options;
    options.faults.eepromReplyDelayMs = 50;
    StartSim(options);
    dialog.ReadEeprom();
    const auto image = simulator->Eeprom();
    ASSERT_EQ(table.Rows().size(), 64u);
    EXPECT_EQ(table.Rows()[0][2], "00");
    // Each later byte shows the reply to the byte before it.
    int shifted = 0;
    for (int a = 1; a < 256; ++a) {
        if (table.Rows()[a / 4][2 + a % 4] == Hex(image[a - 1])) ++shifted;
    }
    EXPECT_GE(shifted, 250);
}

TEST_F(EepromReadout, Reply_in_the_second_window_is_still_taken) {
    sim::Options options;
    options.faults.eepromReplyDelayMs = 25;
    StartSim(options);
    dialog.ReadEeprom();
    const auto expected = sim::DefaultCoefficients();
    int same = 0;
    for (int k = 0; k < 37; ++k) same += g_coefficients[k] == expected[k];
    // Without the second window every reply would land one byte late and none would match.
    EXPECT_GE(same, 30);
}

// A run of continuous acquisition with logging, as Run and Stop do it.
class ContinuousRun : public SimHostTest {
protected:
    struct Outcome {
        double stopStart = 0;
        double stopEnd = 0;
        std::vector<double> logged;
        std::vector<sim::ReadingRecord> sent;  // pressure records, in order
        size_t readingsAtStopEnd = 0;
    };

    Outcome Run(std::chrono::milliseconds duration) {
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
        page.StartContinuous();
        EXPECT_TRUE(device::OpenLog());
        std::this_thread::sleep_for(duration);
        out.stopStart = Now();
        page.StopContinuous();
        device::CloseLog();
        out.stopEnd = Now();
        out.readingsAtStopEnd = simulator->Readings().size();
        std::this_thread::sleep_for(400ms);
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
    const Outcome out = Run(10s);
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
    EXPECT_GE(in[1].time - in[0].time, 0.020 - 0.004);
    EXPECT_GE(FramesNamed("*01C4")[0].time - c1[0].time, 0.010 - 0.004);

    // After the stop sequence the transducer sends nothing more.
    EXPECT_FALSE(simulator->Continuous());
    EXPECT_EQ(simulator->Readings().size(), out.readingsAtStopEnd);
    for (const auto& r : out.sent) EXPECT_LT(r.time, out.stopEnd);
    ExpectReadoutWellFormed();
    EXPECT_FALSE(g_continuousMode);
    EXPECT_TRUE(g_acquisitionStopped);
}

struct FaultCase {
    const char* name;
    sim::Faults faults;
    bool lossless;        // every record must be shown, as in a clean run
    double shownAtLeast;  // otherwise: this share of the records sent, at least
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class FaultModes : public ContinuousRun, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultModes, Nothing_hangs_and_what_the_rules_show_is_shown) {
    sim::Options options;
    options.faults = GetParam().faults;
    StartSim(options);
    const Outcome out = Run(3s);
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
                                           FaultCase{"Beyond5120BytesASecond", Flood(), false,
                                                     0.25}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(ContinuousRun, Unplugged_transducer_stops_the_reads_and_is_reported_once) {
    struct Dialog : device::MainDialogCore {
        std::atomic<int> gone{0};
        void OnPortGone() override { ++gone; }
    } watcher;
    watcher.m_port = &port;
    watcher.m_readPort = &port;
    watcher.m_deviceAddress = "01";
    sim::Options options;
    options.faults.disconnectAfterMs = 700;
    StartSim(options);
    g_mainDlg = &watcher;
    watcher.StartTimer();
    page.StartContinuous();
    std::this_thread::sleep_for(1500ms);
    page.StopContinuous();
    std::this_thread::sleep_for(500ms);
    watcher.m_timer->Stop();
    EXPECT_EQ(watcher.gone.load(), 1);
    EXPECT_TRUE(g_portGone);
    EXPECT_FALSE(port.IsOpen());
    g_mainDlg = nullptr;
}

}  // namespace
