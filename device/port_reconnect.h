#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "device/measurement_session.h"
#include "platform/device_watch.h"
#include "serial/port_identity.h"
#include "serial/port_settings.h"

namespace device {

// The port a session measures on, as a reconnect needs it: the program's main window holds its
// port, zelctl's session its own. User-interface thread.
class SessionPort {
public:
    virtual ~SessionPort() = default;
    // Opens `path` at 115200 8N1; from then on the session's port goes by that name.
    virtual serial::PortOpenResult OpenAgain(const std::string& path) = 0;
    virtual void ClosePort() = 0;
};

// What a reconnect came to once the device was found again.
struct ReconnectStep {
    enum Outcome {
        kResumed,          // the same transducer: the run goes on
        kOtherTransducer,  // another image: `check.rows` differ
        kUnconfirmed,      // `check.rows` could not be confirmed, so sameness cannot be told
        kNoAnswer,         // the port is there and opened, but the transducer said nothing
        kWaitAgain,        // not usable yet (it could not be opened, or went again): wait on
    };
    Outcome outcome = kWaitAgain;
    ResumeCheck check;
    serial::PortOpenResult opened;  // kWaitAgain after an open that failed
};

// A run whose port went away, waiting for the same device (the same USB adapter, also under
// another name; for other ports a link made anew) and going on when the same transducer is on
// it. One rule for both front ends: a device that cannot be opened yet, or that goes again
// during the read-out, is waited for again; a transducer that does not answer on a port that is
// there ends the wait (nothing else would wake it), as does another transducer or one that
// cannot be confirmed. The run then stays stopped and the port closed. The front ends only
// word the outcome.
class PortReconnect {
public:
    using Clock = std::chrono::steady_clock;

    PortReconnect(MeasurementSession& session, SessionPort& port, serial::PortIdentity identity,
                  serial::ProbeConfig search);
    PortReconnect(const PortReconnect&) = delete;
    PortReconnect& operator=(const PortReconnect&) = delete;
    // Ends a wait in progress and joins its thread.
    ~PortReconnect();

    // UI thread, once the port is found gone during a run: the run ends as Stop ends it (the log
    // closed with every reading written) but keeps its clock and ledger; the port is closed.
    RunEnd Suspend();

    // Until the device is there again and may be opened, `deadline`, or Cancel: its path.
    std::optional<std::string> Wait(Clock::time_point deadline);
    // The same on a thread of its own, without end; `back` runs on that thread with the path,
    // or with nothing after a Cancel. One wait at a time.
    void WaitInBackground(std::function<void(std::optional<std::string>)> back);
    // Any thread, also a signal handler: ends the wait in progress, and every later one.
    void Cancel();

    // UI thread, once the device is back at `path`: opens it, reads the EEPROM again and
    // compares. Not kResumed and not kWaitAgain: the run stays stopped, the port is closed.
    ReconnectStep Resume(const std::string& path);

    // UI thread: gives the wait up (cancelled, joined); the run stays stopped.
    void GiveUp();

    // zelctl's whole reconnect after Suspend: waits and resumes until the run goes on, ends, or
    // the deadline passes (nothing) or Cancel (nothing, Cancelled true). `waiting` runs before
    // each wait.
    std::optional<ReconnectStep> WaitAndResume(Clock::time_point deadline,
                                               const std::function<void()>& waiting = {});
    bool Cancelled() const { return m_cancelled; }

private:
    void JoinWait();

    MeasurementSession& m_session;
    SessionPort& m_port;
    serial::PortIdentity m_identity;
    serial::ProbeConfig m_search;
    // One watch for all the waits: a cancel is spent with it, and m_cancelled keeps every later
    // wait from starting.
    platform::DeviceWatch m_watch;
    std::atomic<bool> m_cancelled{false};
    std::string m_notOpened;  // a path found but not opened: tried again after the next change
    std::thread m_waiter;
};

}  // namespace device
