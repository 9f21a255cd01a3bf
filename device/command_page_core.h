#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "device/continuous_parser.h"

class CSerialPort;

namespace device {

class SessionEvents;

// Tick thread, once per continuous step that read something: what the step found, for the
// owner of the run. Must not wait for another thread.
class StepObserver {
public:
    virtual ~StepObserver() = default;
    virtual void OnContinuousStep(const StepResult& result) = 0;
};

// The measurement side of the command page; the UI's CCommandPage derives from it. One object
// per process, reached by the tick through g_commandPage.
class CommandPageCore {
public:
    CommandPageCore() = default;
    CommandPageCore(const CommandPageCore&) = delete;
    CommandPageCore& operator=(const CommandPageCore&) = delete;
    virtual ~CommandPageCore();

    // Writes m_command to m_port and empties it, under the port lock. Either thread.
    void SendCommand();
    // Builds and sends `frame` through m_command under one hold of the port lock; what every
    // sender uses. Either thread.
    void SendCommand(const std::string& frame);

    // UI thread. A Command Inquiry selection (0..5; -1 is no selection): switches the tick to
    // monitor mode, echoes, sends. No selection (or an index outside 0..5) sends nothing and
    // returns false, for the page's "INFO List Box error".
    bool SendListCommand(int index);
    // UI thread. Keeps the Manual Command box text, trimmed, in m_manualCommand.
    void SetManualCommand(const std::string& boxText);
    // UI thread. Enter in the Manual Command box: monitor mode, echo, send m_manualCommand + CR.
    void SendManualCommand();

    // UI thread, set before the timer starts: told of every continuous step.
    StepObserver* m_stepObserver = nullptr;
    // Set by the session before the timer starts: told, on the tick thread, when the host falls
    // behind the transducer (once a run) and when a log write fails.
    SessionEvents* m_events = nullptr;

    // UI thread. Continuous mode on, OnAcquisitionStateChanged(true), C1, 10 ms, C4, 5 ms.
    void StartContinuous();
    // Tick thread. One read of at most 512 bytes turned into PSI lines for the read-out and the
    // log; C1 at the 1st, 21st, 41st ... reading.
    void ContinuousStep();
    // UI thread. Drain, IN, 20 ms, IN, 20 ms, drain, monitor mode,
    // OnAcquisitionStateChanged(false). The bytes the two drains threw away are counted in
    // m_stopDiscardedBytes.
    void StopContinuous();

    CSerialPort* m_port = nullptr;  // the main dialog's port
    std::string m_command;          // guarded by the port lock; empty between sends
    std::string m_manualCommand;    // UI thread

    // Continuous acquisition, tick thread (and the UI before the timer starts). They carry over
    // from one run to the next.
    float m_pressure = 0.0f;     // raw / 16777215 of the reading last processed
    float m_temperature = 0.0f;  // raw / 65535 as last refreshed
    long m_rawTemperature = 0;   // the raw count of that refresh
    std::string m_temperatureText;
    std::string m_carry;       // unfinished text of the last read, at most kCarryCap characters
    std::string m_batchLines;  // the current step's read-out lines; empty between steps

    // The run's reads came back full (512 bytes) tick after tick: the transducer sends more
    // than a tick takes in, and the rest waits in the port. Tick thread; reset by
    // StartContinuous.
    std::atomic<bool> m_fellBehind{false};
    int m_fullReads = 0;            // consecutive full reads (tick)
    long m_stopDiscardedBytes = 0;  // UI thread, set by StopContinuous

protected:
    // UI thread, from StartContinuous (true) and StopContinuous (false): the Run/Stop text and
    // the control states.
    virtual void OnAcquisitionStateChanged(bool running) {}

private:
    void Echo(const std::string& frame);
    uint32_t DrainPort();  // the bytes thrown away
};

// What the user is told when a run falls behind, and at its stop how much the stop sequence
// threw away.
std::string FallingBehindText();
std::string StopDiscardedText(long bytes);

}  // namespace device
