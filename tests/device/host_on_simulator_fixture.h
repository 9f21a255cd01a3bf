#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/acq_timer.h"
#include "device/pressure_log.h"
#include "device_fixture.h"
#include "serial/port_settings.h"
#include "sim/simulator.h"
#include "tests/support/wait_until.h"

namespace device_test {

// Seconds on the monotonic clock, the simulator's time base.
inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits until `timer` has ticked `count` times more: time for the tick to step, or for something
// that should not happen to show.
inline bool WaitForTicks(const device::CAcqTimer& timer, uint64_t count) {
    const uint64_t until = timer.Ticks() + count;
    return WaitUntil([&] { return timer.Ticks() >= until; },
                     std::chrono::milliseconds(10000 + 200 * count));
}

// The host wired as the user interface wires it, on the simulated transducer's port.
class SimHostTest : public DeviceTest {
protected:
    void StartSim(sim::Options options = {}) {
        simulator = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator->Start(&error)) << error;
        g_portName = simulator->PortPath();
        Attach(&port);
        ASSERT_TRUE(dialog.OpenPort());
    }
    void TearDown() override {
        if (dialog.m_timer) dialog.m_timer->Stop();
        DeviceTest::TearDown();
        if (simulator) simulator->Stop();
    }
    std::vector<sim::ReadingRecord> PressureReadings() const {
        std::vector<sim::ReadingRecord> readings;
        for (const auto& r : simulator->Readings()) {
            if (r.kind == 'P') readings.push_back(r);
        }
        return readings;
    }
    std::vector<sim::FrameRecord> FramesNamed(const std::string& frame) const {
        std::vector<sim::FrameRecord> found;
        for (const auto& f : simulator->Frames()) {
            if (f.frame == frame) found.push_back(f);
        }
        return found;
    }

    CSerialPort port;
    std::unique_ptr<sim::Simulator> simulator;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// The values of a log without time stamps ("\t%f\r\n" lines); false on any other line.
inline bool ParseLogValues(const std::string& text, std::vector<double>* values) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos || text[at] != '\t') return false;
        values->push_back(std::strtod(text.c_str() + at + 1, nullptr));
        at = end + 2;
    }
    return true;
}

}  // namespace device_test
