#include "device/device_state.h"

#include "device/pressure_log.h"

std::atomic<bool> g_tickReady{true};
std::atomic<bool> g_continuousMode{false};
std::atomic<bool> g_acquisitionStopped{true};

std::string g_responseText;
std::string g_monitorText;
std::string g_lastEcho;

int g_readingCount = 0;
std::string g_readoutText;

std::array<float, 37> g_coefficients{};

std::ofstream g_logFile;
std::string g_logPath;
std::atomic<bool> g_logActive{false};
std::atomic<bool> g_logChecked{false};
std::atomic<bool> g_timeStampChecked{false};

device::TextView* g_monitorEdit = nullptr;
device::TextView* g_readoutEdit = nullptr;
device::TableView* g_eepromList = nullptr;
device::MainDialogCore* g_mainDlg = nullptr;
device::CommandPageCore* g_commandPage = nullptr;

namespace device {

std::mutex& PortMutex() {
    static std::mutex mutex;
    return mutex;
}

std::mutex& MonitorMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string ResponseTextCopy() {
    std::lock_guard lock(PortMutex());
    return g_responseText;
}

void ClearResponseText() {
    std::lock_guard lock(PortMutex());
    g_responseText.clear();
}

std::string MonitorTextCopy() {
    std::lock_guard lock(MonitorMutex());
    return g_monitorText;
}

void ResetDeviceState() {
    g_tickReady = true;
    g_continuousMode = false;
    g_acquisitionStopped = true;
    {
        std::lock_guard lock(PortMutex());
        g_responseText.clear();
    }
    {
        std::lock_guard lock(MonitorMutex());
        g_monitorText.clear();
        g_lastEcho.clear();
    }
    g_readingCount = 0;
    g_readoutText.clear();
    g_coefficients.fill(0.0f);
    CloseLog();
    g_logFile.clear();
    g_logPath.clear();
    g_logActive = false;
    g_logChecked = false;
    g_timeStampChecked = false;
    g_monitorEdit = nullptr;
    g_readoutEdit = nullptr;
    g_eepromList = nullptr;
    g_mainDlg = nullptr;
    g_commandPage = nullptr;
}

}  // namespace device
