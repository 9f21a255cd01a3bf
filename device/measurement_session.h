#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/command_page_core.h"
#include "device/live_statistics.h"
#include "device/main_dialog_core.h"
#include "device/reading_stream.h"
#include "device/run_ledger.h"
#include "device/session_events.h"
#include "device/views.h"

class CSerialPort;

namespace device {

// What a run is asked to do besides measuring. An empty path: no log.
struct RunOptions {
    std::string logPath;
    bool timeStamps = false;
};

struct RunEnd {
    RunLedger ledger;
    bool logCloseFailed = false;
    std::string logCloseFailure;  // why, for the user
};

// What checking the transducer on a port that came back found.
struct ResumeCheck {
    enum Outcome {
        kResumed,         // the same transducer: the run goes on
        kOtherTransducer, // another image: `rows` differ
        kUnconfirmed,     // `rows` could not be confirmed, so sameness cannot be told
        kNoAnswer,        // the transducer said nothing on a port that is there
        kGoneAgain,       // the port went away again during the read-out
    };
    Outcome outcome = kNoAnswer;
    std::vector<int> rows;
    double gapSeconds = 0;
    bool logNotOpened = false;  // resumed, but the log could not be opened again
};

// One session with a transducer: the main dialog's and the command page's measurement sides
// wired to one port and to the views, the EEPROM read-out's result, the runs with their log and
// their ledger, and the stream of readings. The program and zelctl each make one and drive it;
// while it lives it is what the process-wide pointers of the tick point at.
class MeasurementSession : private StepObserver {
public:
    struct Views {
        TextView* monitor = nullptr;
        TextView* readout = nullptr;
        TableView* eepromTable = nullptr;
    };

    // UI thread. Points g_mainDlg, g_commandPage and the views at these, the device address
    // "01"; `port` is the port both sides use, held by the dialog (it may be set later with
    // AttachPort). Without one the session has a port of its own (OpenOwnPort).
    MeasurementSession(MainDialogCore& dialog, CommandPageCore& page, Views views,
                       CSerialPort* port = nullptr);
    MeasurementSession(const MeasurementSession&) = delete;
    MeasurementSession& operator=(const MeasurementSession&) = delete;
    // Stops the timer and points the process-wide pointers it set at nothing again.
    ~MeasurementSession() override;

    void AttachPort(CSerialPort* port);
    // The session's own port (zelctl's): opens `path` at 115200 8N1 on it, and attaches it.
    serial::PortOpenResult OpenOwnPort(const std::string& path);
    CSerialPort* Port() const { return m_dialog.m_port; }

    // The EEPROM read-out (UI thread, before the timer starts); its image, coefficients and
    // what it could not confirm.
    const MainDialogCore::EepromReadoutResult& ReadEeprom();
    const MainDialogCore::EepromReadoutResult& Eeprom() const { return m_eeprom; }

    // False when the timer device does not answer ("Error 01" for the user).
    bool StartTimer();

    // UI thread, while no run is on. The start sequence, the readings' clock from its first
    // frame, and the log opened as `options` say. False when the log could not be opened: the
    // run goes on without it.
    bool StartRun(const RunOptions& options);
    // UI thread, while a run is on. The stop sequence, the log closed; what the run counted.
    RunEnd StopRun();
    bool Running() const;

    // UI thread, when the port went away during a run: the run ends as Stop ends it (the log
    // closed with every line written), but keeps its clock and its ledger for ResumeRun. The
    // timer stops until ResumeRun.
    RunEnd SuspendRun();
    bool Suspended() const { return m_suspended; }
    // UI thread, once the port is open again: reads the EEPROM again, starts the timer, and
    // compares the image with the one read at start-up. The same transducer: the run goes on,
    // timed on as before, its log appended to. Otherwise the run stays stopped and the
    // start-up image, table and coefficients stay as they were.
    ResumeCheck ResumeRun();
    // Ends a suspended run for good (the wait was given up); the timer runs again.
    void AbandonRun();

    // Any thread: the counts so far of the run that is on, or of the last one, and the
    // statistics of its readings.
    RunLedger Ledger() const;
    Figures Statistics(StatsWindow window) const;

    // UI thread: who hears the session's events. RemoveListener returns once a call in
    // progress to it has ended.
    void AddListener(SessionEvents* listener);
    void RemoveListener(SessionEvents* listener);

    MainDialogCore& Dialog() { return m_dialog; }
    CommandPageCore& Page() { return m_page; }

private:
    // What the measurement sides tell the session, passed on to the listeners.
    class Relay : public SessionEvents {
    public:
        explicit Relay(MeasurementSession& session) : m_session(session) {}
        void OnReadoutProgress(int byteAddress, const std::string& byteText) override;
        void OnReadoutUnconfirmed(const std::vector<UnconfirmedRow>& rows) override;
        void OnPortGone() override;
        void OnFallingBehind() override;
        void OnLogFailed(const std::string& message) override;

    private:
        MeasurementSession& m_session;
    };

    void OnContinuousStep(const StepResult& result) override;  // tick thread
    RunEnd EndRun();  // StopRun's work, without telling the listeners
    // `event` for each listener, outside the lock: on the user-interface thread, or (TellFromTick)
    // on the tick thread, where a listener removed meanwhile must no longer be called.
    template <typename Event>
    void Tell(Event event);
    template <typename Event>
    void TellFromTick(Event event);
    // Tick thread, under m_mutex: the step into the ledger and the statistics.
    void Count(const StepResult& result, const std::vector<TimedReading>& readings);

    MainDialogCore& m_dialog;
    CommandPageCore& m_page;
    Views m_views;
    std::unique_ptr<CSerialPort> m_ownPort;  // zelctl's; the program's belongs to its window
    MainDialogCore::EepromReadoutResult m_eeprom;  // of the start-up read-out
    RunOptions m_runOptions;  // of the run that is on (UI thread)
    ReadingClock m_clock;  // tick thread during a run; UI thread at its start
    bool m_suspended = false;  // UI thread
    ReadingClock::Steady::time_point m_gapStart{};

    mutable std::mutex m_mutex;  // guards the ledger, the statistics and the listeners
    RunLedger m_ledger;
    LiveStatistics m_statistics;
    std::vector<SessionEvents*> m_listeners;
    Relay m_relay{*this};
    // Held while the tick calls the listeners (not m_mutex: readers of the figures never wait
    // for a listener), so that a listener removed is no longer called.
    std::mutex m_callMutex;
};

}  // namespace device
