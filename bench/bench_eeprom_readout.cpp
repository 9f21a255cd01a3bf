// Wall time of the EEPROM read-out against the simulated transducer on a pseudo-terminal. The
// fixed waits set a floor of 10 ms + 256 x 20 ms = 5.13 s.
#include <chrono>
#include <cstdio>
#include <string>

#include "device/device_state.h"
#include "device/main_dialog_core.h"
#include "device/views.h"
#include "serial/port_settings.h"
#include "serial/serial_port.h"
#include "sim/simulator.h"

int main() {
    sim::Simulator simulator;
    std::string error;
    if (!simulator.Start(&error)) {
        std::printf("simulator: %s\n", error.c_str());
        return 1;
    }
    CSerialPort port;
    device::MainDialogCore dialog;
    device::StringTableView table;
    g_mainDlg = &dialog;
    g_eepromList = &table;
    g_portName = simulator.PortPath();
    dialog.m_port = &port;
    dialog.m_deviceAddress = "01";
    if (!dialog.OpenPort()) return 1;

    const auto start = std::chrono::steady_clock::now();
    dialog.ReadEeprom();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto image = simulator.Eeprom();
    int right = 0;
    for (int a = 0; a < 256; ++a) {
        char expected[4];
        std::snprintf(expected, sizeof expected, "%02X", image[a]);
        right += table.Rows()[a / 4][2 + a % 4] == expected;
    }
    std::printf("EEPROM read-out: %.3f s (floor 5.130 s, +%.1f ms a byte), %d of 256 bytes right\n",
                seconds, (seconds - 5.130) / 256 * 1000, right);
    device::ResetDeviceState();
    return 0;
}
