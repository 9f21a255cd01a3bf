#include "cli/session.h"

#include <unistd.h>

#include "device/device_state.h"
#include "serial/port_probe.h"
#include "sim/simulator.h"

namespace cli {

void CliMainDialog::OnEepromByteRead(int byteAddress, const std::string& byteText) {
    if (!device::ResponseTextCopy().empty()) ++answeredBytes;
    if (!progressBar) return;
    const int done = byteAddress + 1;
    const int width = 40;
    const int filled = done * width / 256;
    std::fprintf(stderr, "\rReading EEPROM [%s%s] %3d/256", std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), done);
    std::fflush(stderr);
}

void CliMainDialog::EndEepromWait() {
    if (progressBar) std::fputs("\n", stderr);
}

void CliCommandPage::OnReadingsShown(const std::string& lines, const std::vector<device::Reading>& readings) {
    // The read-out's lines end in CR LF; a terminal or a pipe wants LF.
    std::string out;
    out.reserve(lines.size());
    long count = 0;
    for (char c : lines) {
        if (c == '\r') continue;
        if (c == '\n') ++count;
        out += c;
    }
    // A closed pipe (zelctl ... | head) ends the run like Ctrl-C, through the stop sequence.
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        StopRequested() = true;
    }
    printedReadings += count;
}

std::atomic<bool>& StopRequested() {
    static std::atomic<bool> requested{false};
    return requested;
}

std::unique_ptr<sim::Simulator> StartSimulator(std::string* portPath) {
    auto simulator = std::make_unique<sim::Simulator>();
    std::string error;
    if (!simulator->Start(&error)) {
        std::fprintf(stderr, "zelctl: the simulated transducer could not start: %s\n",
                     error.c_str());
        portPath->clear();
        return nullptr;
    }
    *portPath = simulator->PortPath();
    return simulator;
}

Session::Session() {
    device::ResetDeviceState();
    g_mainDlg = &dialog;
    g_commandPage = &page;
    g_monitorEdit = &monitor;
    g_readoutEdit = &readout;
    g_eepromList = &eepromTable;
    dialog.m_port = &port;
    dialog.m_readPort = &port;
    dialog.m_deviceAddress = "01";
    page.m_port = &port;
}

Session::~Session() {
    if (dialog.m_timer) dialog.m_timer->Stop();
    port.Close();
    device::ResetDeviceState();
}

int Session::Open(const Options& options) {
    std::string path;
    if (options.simulate) {
        m_simulator = StartSimulator(&path);
        if (!m_simulator) return kExitPortNotOpened;
    } else {
        path = options.ports.front();
    }
    if (!port.Open(path)) {
        std::fprintf(
            stderr, "zelctl: %s\n",
            serial::DescribeOpenError(port.LastOpenError(), path, port.LastOpenHolder()).c_str());
        return kExitPortNotOpened;
    }
    // Configure says what went wrong itself, through the message-box hook.
    if (!port.Configure(115200, 0, 8, false, 0)) {
        std::fprintf(stderr, "zelctl: %s could not be set to 115200 baud 8N1\n", path.c_str());
        return kExitPortNotOpened;
    }
    return kExitDone;
}

bool Session::ReadEeprom() {
    dialog.progressBar = ::isatty(STDERR_FILENO);
    dialog.answeredBytes = 0;
    dialog.ReadEeprom();
    return dialog.answeredBytes > 0;
}

bool Session::PortGone() const {
    return port.IsGone() || g_portGone;
}

}  // namespace cli
