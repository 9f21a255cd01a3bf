// Wall time of the EEPROM read-out against the simulated transducer on a pseudo-terminal: a
// clean line, then one whose replies to five bytes come late (after both windows). The fixed
// waits set a floor of 10 ms + 256 x 20 ms = 5.13 s.
#include <chrono>
#include <cstdio>
#include <string>

#include "device/device_state.h"
#include "device/main_dialog_core.h"
#include "device/views.h"
#include "serial/port_settings.h"
#include "serial/serial_port.h"
#include "sim/simulator.h"

namespace {

bool Run(const char* name, const sim::Options& options) {
    sim::Simulator simulator(options);
    std::string error;
    if (!simulator.Start(&error)) {
        std::printf("simulator: %s\n", error.c_str());
        return false;
    }
    CSerialPort port;
    device::MainDialogCore dialog;
    device::StringTableView table;
    device::ResetDeviceState();
    g_mainDlg = &dialog;
    g_eepromList = &table;
    g_portName = simulator.PortPath();
    dialog.m_port = &port;
    dialog.m_deviceAddress = "01";
    if (!dialog.OpenPort()) return false;

    const auto start = std::chrono::steady_clock::now();
    const auto readout = dialog.ReadEeprom();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto image = simulator.Eeprom();
    int right = 0;
    for (int a = 0; a < 256; ++a) {
        char expected[4];
        std::snprintf(expected, sizeof expected, "%02X", image[a]);
        right += table.Rows()[a / 4][2 + a % 4] == expected;
    }
    std::printf(
        "EEPROM read-out, %s: %.3f s (floor 5.130 s, +%.1f ms a byte), %d of 256 bytes right, "
        "%d repeated reads, %zu rows unconfirmed\n",
        name, seconds, (seconds - 5.130) / 256 * 1000, right, readout.repeatedReads,
        readout.unconfirmedRows.size());
    device::ResetDeviceState();
    return true;
}

}  // namespace

int main() {
    if (!Run("clean line", {})) return 1;
    sim::Options late;
    for (int b : {0x07, 0x31, 0x5C, 0xA2, 0xE9}) late.faults.lateBytes.set(b);
    late.faults.lateReplyMs = 100;
    return Run("5 bytes 100 ms late", late) ? 0 : 1;
}
