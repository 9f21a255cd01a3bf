#pragma once

#include <string>
#include <vector>

#include "device/eeprom_contents.h"
#include "device/reading_stream.h"

namespace device {

struct RunEnd;
struct ResumeCheck;

// What a session tells the front ends and feeds attached to it (MeasurementSession::AddListener):
// the readings of every run, the run's course, the EEPROM read-out's progress and what goes
// wrong on the way. OnReadings, OnPortGone, OnFallingBehind and OnLogFailed run on the tick
// thread (OnPortGone also on the user-interface thread during a read-out), outside the session's
// lock, and must not wait for another thread (a listener that may be slow, such as a pipe, takes
// the readings on a thread of its own: QueuedListener). The others run on the user-interface
// thread, from the session call that caused them. None may add or remove listeners.
class SessionEvents {
public:
    virtual ~SessionEvents() = default;
    // StartRun: a run begins; readings follow.
    virtual void OnRunStarted() {}
    virtual void OnReadings(const std::vector<TimedReading>& readings) {}
    // SuspendRun: the port went away; no readings until the run resumes or is abandoned.
    virtual void OnRunSuspended() {}
    // ResumeRun found the same transducer: the readings go on after a gap of `check.gapSeconds`.
    virtual void OnRunResumed(const ResumeCheck& check) {}
    // StopRun: the run ended as Stop ends it.
    virtual void OnRunEnded(const RunEnd& end) {}
    // AbandonRun: a suspended run ended for good (the port did not come back with the same
    // transducer, or the wait was given up).
    virtual void OnRunAbandoned() {}

    // The EEPROM read-out: each byte read (address 0..255 and its text, for a progress bar), and
    // once at its end, when the transducer answered but some rows could not be confirmed
    // (UnconfirmedRowsMessage words them).
    virtual void OnReadoutProgress(int byteAddress, const std::string& byteText) {}
    virtual void OnReadoutUnconfirmed(const std::vector<UnconfirmedRow>& rows) {}
    // Once: the port has disappeared (USB adapter pulled, simulator gone); reading it stops. A
    // widget must post to its own thread.
    virtual void OnPortGone() {}
    // Once a run: the host reads full buffers step after step and is falling behind the
    // transducer (FallingBehindText).
    virtual void OnFallingBehind() {}
    // Once a run: a write to the log failed and the log was closed (`message` says which file
    // and why, for the user). The run goes on.
    virtual void OnLogFailed(const std::string& message) {}
};

}  // namespace device
