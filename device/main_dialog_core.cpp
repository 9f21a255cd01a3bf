#include "device/main_dialog_core.h"

#include <cstring>
#include <mutex>

#include "device/command_frames.h"
#include "device/command_page_core.h"
#include "device/device_state.h"
#include "device/monitor_text.h"
#include "device/pressure_log.h"
#include "device/session_events.h"
#include "platform/clock.h"
#include "serial/port_settings.h"
#include "serial/serial_port.h"

namespace device {
namespace {

constexpr uint32_t kReadSize = 512;

// The monitor text has lost `dropped` characters from its front and gained `appended` at its end.
void ShowMonitor(size_t dropped, size_t appended) {
    if (g_monitorEdit) g_monitorEdit->ShowAppended(g_monitorText, dropped, appended);
}

// "01" until the dialog has set an address of its own.
std::string DeviceAddressOf(const MainDialogCore* dialog) {
    return dialog && !dialog->m_deviceAddress.empty() ? dialog->m_deviceAddress : "01";
}

}  // namespace

std::string CurrentDeviceAddress() {
    return DeviceAddressOf(g_mainDlg);
}

bool CheckPortPresent(CSerialPort* port) {
    if (!port) return false;
    if (!port->IsGone()) return true;
    if (g_mainDlg && !g_mainDlg->m_portGone.exchange(true) && g_mainDlg->m_events)
        g_mainDlg->m_events->OnPortGone();
    return false;
}

MainDialogCore::~MainDialogCore() {
    if (m_timer) m_timer->Stop();
}

serial::PortOpenResult MainDialogCore::OpenPort() {
    if (!m_port) {
        serial::PortOpenResult none;
        none.failure = serial::PortOpenResult::kOpen;
        none.openError = platform::OpenError::NoSuchDevice;
        return none;
    }
    serial::PortOpenResult result = serial::OpenPort(m_port);
    if (result) m_portGone = false;
    return result;
}

void MainDialogCore::EchoCommand(const std::string& text) {
    std::lock_guard lock(MonitorMutex());
    g_lastEcho = AppendEchoText(g_monitorText, text);
    ShowMonitor(0, g_lastEcho.size());
}

uint32_t MainDialogCore::CollectResponse() {
    char buffer[kReadSize + 1];
    // Checked before the lock: the port-gone event must not run under it.
    const bool present = CheckPortPresent(m_readPort);
    std::lock_guard lock(PortMutex());
    g_responseText.clear();
    if (!present) return 0;
    uint32_t got = 0;
    if (!m_readPort->Read(buffer, kReadSize, &got) || got == 0) return 0;
    buffer[got] = '\0';
    g_responseText.assign(buffer, std::strlen(buffer));  // bytes after a NUL are dropped
    return got;
}

void MainDialogCore::AppendResponse(std::string text) {
    std::lock_guard lock(MonitorMutex());
    const size_t before = g_monitorText.size();
    size_t dropped = 0;
    if (AppendResponseText(g_monitorText, text, &dropped))
        ShowMonitor(dropped, g_monitorText.size() - (before - dropped));
}

std::string MainDialogCore::Address() const {
    return DeviceAddressOf(this);
}

void MainDialogCore::SendFrame(const std::string& frame) {
    if (g_commandPage) {
        g_commandPage->SendCommand(frame);
        return;
    }
    std::lock_guard lock(PortMutex());
    if (m_port) m_port->Write(frame.data(), static_cast<uint32_t>(frame.size()));
}

bool MainDialogCore::StartTimer(CAcqTimer::CapsQuery caps) {
    if (m_timer) m_timer->Stop();
    m_timer = std::make_unique<CAcqTimer>(std::move(caps));
    m_timer->Start();
    return !m_timer->NoTimerDevice();
}

void MainDialogCore::CloseSequence() {
    SendFrame(FrameCommand(Address(), "IN"));
    platform::Sleep(10);
    CloseLog();
    if (m_timer) m_timer->Stop();
}

}  // namespace device
