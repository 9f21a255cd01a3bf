#pragma once

#include <array>
#include <atomic>
#include <fstream>
#include <mutex>
#include <string>

#include "device/views.h"

namespace device {
class MainDialogCore;
class CommandPageCore;
}  // namespace device

// The process-wide state of the measurement side, one variable per name. "UI" is the
// user-interface thread, "tick" the acquisition timer's thread.

// Tick dispatch. g_tickReady: false while a continuous step runs (tick). g_continuousMode: true
// from StartContinuous to the end of StopContinuous; false on a single command (UI).
// g_acquisitionStopped: the Run/Stop state, read by the UI only (UI).
extern std::atomic<bool> g_tickReady;
extern std::atomic<bool> g_continuousMode;
extern std::atomic<bool> g_acquisitionStopped;

// Text last collected from the port (tick; the UI during the EEPROM read-out, before the timer
// runs). Guarded by device::PortMutex(): use device::ResponseTextCopy / ClearResponseText.
extern std::string g_responseText;

// The Command/Response Monitor text and the last echo line (UI: echoes; tick: responses).
// Guarded by device::MonitorMutex(): read them with device::MonitorTextCopy.
extern std::string g_monitorText;
extern std::string g_lastEcho;

// Continuous acquisition (tick): readings since the last temperature refresh (0..19 between
// steps), and the whole pressure read-out text. Both carry over from one run to the next.
extern int g_readingCount;
extern std::string g_readoutText;

// Calibration coefficients A, a1..a6, b1..b6, c1..c6, d1..d6, e1..e6, fa1..fa6, decoded from
// EEPROM rows 0..36 (UI, once, before the timer starts; the tick only reads them).
extern std::array<float, 37> g_coefficients;

// The pressure log. g_logFile: guarded by the log mutex inside pressure_log.cpp (UI opens and
// closes, tick writes). g_logPath: the file chosen with Browse (UI). g_logActive: a run with
// logging is on (UI). g_logChecked, g_timeStampChecked: the two check boxes (UI).
extern std::ofstream g_logFile;
extern std::string g_logPath;
extern std::atomic<bool> g_logActive;
extern std::atomic<bool> g_logChecked;
extern std::atomic<bool> g_timeStampChecked;

// Views and objects the tick reaches; all set on the UI before the timer starts, and cleared
// only after it has stopped.
extern device::TextView* g_monitorEdit;
extern device::TextView* g_readoutEdit;
extern device::TableView* g_eepromList;
extern device::MainDialogCore* g_mainDlg;
extern device::CommandPageCore* g_commandPage;

namespace device {

// One lock around each port read and each build-and-send of a command (and g_responseText).
// Never held during a fixed wait or a view update.
std::mutex& PortMutex();
// Guards g_monitorText and g_lastEcho; held while the monitor view is given the new text, which
// is why a TextView must never wait for another thread.
std::mutex& MonitorMutex();

std::string ResponseTextCopy();
void ClearResponseText();  // OnRun's stop branch
std::string MonitorTextCopy();

// Back to the values at program start: flags, texts, counters, coefficients, the log (closed),
// every pointer null. For tests; never while a timer runs.
void ResetDeviceState();

}  // namespace device
