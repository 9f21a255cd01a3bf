#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/options.h"
#include "cli/reading_formats.h"
#include "device/command_page_core.h"
#include "device/main_dialog_core.h"
#include "device/measurement_session.h"
#include "device/port_reconnect.h"
#include "device/views.h"
#include "serial/port_identity.h"
#include "serial/serial_port.h"

namespace sim {
class Simulator;
}

namespace cli {

// The main dialog's measurement side without a window: whether the EEPROM read-out shows a
// progress bar, and the read-out cancelled by a stop request.
class CliMainDialog : public device::MainDialogCore {
public:
    bool progressBar = false;

protected:
    void EndEepromWait() override;
    bool EepromReadoutCancelled() override;
};

// What zelctl makes of a session's events besides the readings: the read-out's progress bar and
// its unconfirmed rows on standard error, the acquisition's wait woken when the port goes, a
// warning when the host falls behind, and a failed log write that ends the run (through
// StopRequested).
class SessionMessages : public device::SessionEvents {
public:
    explicit SessionMessages(const CliMainDialog& dialog) : m_dialog(dialog) {}
    std::atomic<bool> logFailed{false};

    void OnReadoutProgress(int byteAddress, const std::string& byteText) override;
    void OnReadoutUnconfirmed(const std::vector<device::UnconfirmedRow>& rows) override;
    void OnPortGone() override;
    void OnFallingBehind() override;
    void OnLogFailed(const std::string& message) override;

private:
    const CliMainDialog& m_dialog;
};

// Prints each step's readings to standard output, as the read-out's lines or in another format.
// A failed write ends the run (through StopRequested).
class ReadingsPrinter : public device::SessionEvents {
public:
    std::atomic<long> printedReadings{0};
    std::atomic<bool> outputFailed{false};
    // Above 0: the tick wakes the acquisition's wait once this many readings are printed.
    std::atomic<long> stopAfterReadings{0};

    // Set before the run starts; the tick only reads them.
    ReadingsFormat format = ReadingsFormat::Text;
    InfluxTags tags;

    void OnReadings(const std::vector<device::TimedReading>& readings) override;
};

// One run of zelctl against one port: the measurement session (which owns the port zelctl
// opens) with its two measurement objects, the string views in place of the windows, and the
// built-in simulated transducer for --simulate.
class Session : public device::SessionPort {
public:
    Session();
    ~Session() override;

    // Opens the port of `options` (starting the simulator for --simulate) at 115200 8N1.
    // Returns kExitDone, or kExitPortNotOpened after saying why on standard error.
    int Open(const Options& options);

    // Reads the EEPROM as the program does. Returns kExitDone, or the code of what went wrong
    // after saying so on standard error: interrupted, the port gone, never answered, or
    // bytes that could not be confirmed (the table is complete then).
    int ReadEeprom();

    bool PortGone() const;

    // The port went away during the run: the run is suspended, and waited for up to `seconds`
    // (infinity: without end) to come back with the same transducer; a stop request ends the
    // wait. Nothing: not back in time, or stopped (StopRequested says which).
    std::optional<device::ReconnectStep> Reconnect(double seconds);

    // device::SessionPort, for the reconnect.
    serial::PortOpenResult OpenAgain(const std::string& path) override;
    void ClosePort() override;

    std::string portPath;  // the device Open opened
    serial::PortIdentity identity;  // what identifies it, read when it was opened
    CliMainDialog dialog;
    device::CommandPageCore page;
    SessionMessages messages{dialog};
    device::StringTextView monitor;
    device::StringTextView readout;
    device::StringTableView eepromTable;
    device::MeasurementSession core;

private:
    std::unique_ptr<sim::Simulator> m_simulator;
};

// Set by Ctrl-C, SIGTERM, standard output going away or a failed write: the run ends through
// the stop sequence (during the EEPROM read-out, at once).
std::atomic<bool>& StopRequested();
// Set when a write to standard output found its pipe closed (the reader went, e.g. `| head`).
std::atomic<bool>& OutputPipeClosed();
// Sets StopRequested and wakes WaitForWake.
void RequestStop();
// Any thread, and the signal handler: wakes WaitForWake, which then looks again at what ends
// the run.
void WakeWaiter();
// Waits up to `timeoutMs` (-1: without end) for WakeWaiter, so that the acquisition waits
// without waking every few milliseconds. Before CatchStopSignals it only sleeps 10 ms.
void WaitForWake(int timeoutMs);
// SIGINT or SIGTERM from then on ask for the stop (RequestStop); SIGPIPE and SIGXFSZ are
// ignored, so that the write sees a closed pipe or a file grown too large.
void CatchStopSignals();
// The signal that asked for the stop, 0 for none.
int StopSignal();

// Starts the built-in simulated transducer; returns its port path, or empty after saying why.
std::unique_ptr<sim::Simulator> StartSimulator(const Options& options, std::string* portPath);

}  // namespace cli
