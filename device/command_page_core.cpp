#include "device/command_page_core.h"

#include <algorithm>
#include <mutex>

#include "device/command_frames.h"
#include "device/continuous_parser.h"
#include "device/device_state.h"
#include "device/main_dialog_core.h"
#include "device/pressure_log.h"
#include "device/session_events.h"
#include "platform/clock.h"
#include "serial/serial_port.h"

namespace device {
namespace {

constexpr uint32_t kReadSize = 512;
// A second of full reads: more than a burst after a late tick.
constexpr int kFullReadsBehind = 10;

// Writes `frame` up to its first NUL, as a C string would be written. Under the port lock.
void WriteFrame(CSerialPort* port, const std::string& frame) {
    const size_t length = std::min(frame.find('\0'), frame.size());
    if (port && length > 0) port->Write(frame.data(), static_cast<uint32_t>(length));
}

}  // namespace

std::string FallingBehindText() {
    // 512 bytes a 100 ms read: about 440 readings a second.
    return "Falling behind: more than 440 readings a second come in. Some may be lost.";
}

std::string StopDiscardedText(long bytes) {
    return "The stop threw away " + std::to_string(bytes) + " bytes of unread output.";
}

CommandPageCore::~CommandPageCore() = default;

void CommandPageCore::SendCommand() {
    std::lock_guard lock(PortMutex());
    WriteFrame(m_port, m_command);
    m_command.clear();
}

void CommandPageCore::SendCommand(const std::string& frame) {
    std::lock_guard lock(PortMutex());
    m_command = frame;
    WriteFrame(m_port, m_command);
    m_command.clear();
}

void CommandPageCore::Echo(const std::string& frame) {
    if (g_mainDlg) g_mainDlg->EchoCommand(CrToCrLf(frame));
}

bool CommandPageCore::SendListCommand(int index) {
    std::string frame;
    if (!ListCommandFrame(index, CurrentDeviceAddress(), &frame)) return false;
    g_continuousMode = false;
    Echo(frame);  // the echo reaches the monitor before the command is written
    SendCommand(frame);
    return true;
}

void CommandPageCore::SetManualCommand(const std::string& boxText) {
    m_manualCommand = TrimCommandText(boxText);
}

void CommandPageCore::SendManualCommand() {
    g_continuousMode = false;
    const std::string frame = m_manualCommand + "\r";
    Echo(frame);
    SendCommand(frame);
}

uint32_t CommandPageCore::DrainPort() {
    char buffer[kReadSize];
    std::lock_guard lock(PortMutex());
    uint32_t got = 0;
    if (!m_port || m_port->IsGone() || !m_port->Read(buffer, kReadSize, &got)) return 0;
    return got;
}

void CommandPageCore::StartContinuous() {
    m_fellBehind = false;
    m_fullReads = 0;
    g_acquisitionStopped = false;
    g_continuousMode = true;
    OnAcquisitionStateChanged(true);
    const std::string address = CurrentDeviceAddress();
    SendCommand(FrameCommand(address, "C1"));
    platform::Sleep(10);
    SendCommand(FrameCommand(address, "C4"));
    platform::Sleep(5);
}

void CommandPageCore::StopContinuous() {
    g_acquisitionStopped = true;
    m_stopDiscardedBytes = DrainPort();
    const std::string stop = FrameCommand(CurrentDeviceAddress(), "IN");
    SendCommand(stop);
    platform::Sleep(20);
    SendCommand(stop);
    platform::Sleep(20);
    m_stopDiscardedBytes += DrainPort();
    g_continuousMode = false;
    OnAcquisitionStateChanged(false);
}

void CommandPageCore::ContinuousStep() {
    g_tickReady = false;
    char buffer[kReadSize];
    uint32_t got = 0;
    if (CheckPortPresent(m_port)) {
        std::lock_guard lock(PortMutex());
        if (!m_port->Read(buffer, kReadSize, &got)) got = 0;
    }
    if (got == 0) {
        g_tickReady = true;
        return;
    }
    m_fullReads = got == kReadSize ? m_fullReads + 1 : 0;
    if (m_fullReads == kFullReadsBehind && !m_fellBehind.exchange(true) && m_events)
        m_events->OnFallingBehind();

    ContinuousState state{std::move(m_carry), std::move(m_temperatureText),
                          m_pressure,         m_temperature,
                          m_rawTemperature,   g_readingCount};
    const std::string c1 = FrameCommand(CurrentDeviceAddress(), "C1");
    StepResult result = ParseContinuousChunk(std::string_view(buffer, got), state, g_coefficients,
                                             [&] { SendCommand(c1); });
    m_carry = std::move(state.carry);
    m_temperatureText = std::move(state.temperatureText);
    m_pressure = state.pressure;
    m_temperature = state.temperature;
    m_rawTemperature = state.rawTemperature;
    g_readingCount = state.readingCount;

    if (!result.logText.empty()) {
        if (std::string failure; !WriteLogText(result.logText, &failure) && m_events)
            m_events->OnLogFailed(failure);
        m_batchLines += result.lines;
        const size_t before = g_readoutText.size();
        AppendReadoutLines(g_readoutText, m_batchLines);
        // The trim may reach into the new lines themselves when one step brings more than the
        // whole read-out holds.
        const size_t dropped =
            std::min(before, before + m_batchLines.size() - g_readoutText.size());
        m_batchLines.clear();
        if (g_readoutEdit)
            g_readoutEdit->ShowAppended(g_readoutText, dropped,
                                        g_readoutText.size() - (before - dropped));
    }
    if (m_stepObserver) m_stepObserver->OnContinuousStep(result);
    g_tickReady = true;
}

}  // namespace device
