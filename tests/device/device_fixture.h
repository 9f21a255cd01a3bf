#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/command_page_core.h"
#include "device/device_state.h"
#include "device/main_dialog_core.h"
#include "device/measurement_session.h"
#include "device/views.h"
#include "platform/pseudo_terminal.h"
#include "serial/serial_port.h"

namespace device_test {

using namespace std::chrono_literals;

// A file name in the test scratch directory that no other test process uses.
inline std::string ScratchPath(const std::string& name) {
    return ::testing::TempDir() + "/zel_" + std::to_string(::getpid()) + "_" + name;
}


// The far end of a raw pseudo-terminal playing the transducer byte for byte, and the host's
// port opened on it as the port dialog opens one.
class PtyLink {
public:
    PtyLink() {
        EXPECT_TRUE(m_pty.Open(true));
        // A second descriptor on the host's side, only polled: it shows when bytes have arrived
        // without taking them. Opened before the host takes the port exclusively.
        m_watch = ::open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(m_watch, 0);
        EXPECT_TRUE(port.Open(m_pty.SlavePath()));
        EXPECT_TRUE(port.Configure(115200, 0, 8, false, 0));
    }
    ~PtyLink() {
        if (m_watch >= 0) ::close(m_watch);
    }

    // Writes as the device and waits until the bytes can be read on the host's side.
    void DeviceSends(const std::string& bytes) {
        ASSERT_EQ(::write(m_pty.MasterFd(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
        pollfd readable{m_watch, POLLIN, 0};
        ASSERT_EQ(::poll(&readable, 1, 2000), 1);
        std::this_thread::sleep_for(5ms);  // the rest of a larger write
    }
    // Everything the host has written so far: read until 30 ms pass without a byte.
    std::string HostSent() {
        std::string got;
        char buffer[4096];
        pollfd readable{m_pty.MasterFd(), POLLIN, 0};
        while (::poll(&readable, 1, 30) == 1) {
            ssize_t n = ::read(m_pty.MasterFd(), buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    // The device side goes away: the host sees a hang-up.
    void Unplug() { m_pty.Close(); }

    CSerialPort port;

private:
    platform::PseudoTerminal m_pty;
    int m_watch = -1;
};

// Fresh process-wide state, and a main dialog core and a command page core in a measurement
// session, as the program and zelctl have them, with string views.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        device::ResetDeviceState();
        session.emplace(dialog, page, device::MeasurementSession::Views{&monitor, &readout, &table});
    }
    void TearDown() override {
        session.reset();
        device::ResetDeviceState();
    }
    void Attach(CSerialPort* port) { session->AttachPort(port); }

    device::MainDialogCore dialog;
    device::CommandPageCore page;
    device::StringTextView monitor;
    device::StringTextView readout;
    device::StringTableView table;
    std::optional<device::MeasurementSession> session;
};

}  // namespace device_test
