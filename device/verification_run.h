#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "device/reading_statistics.h"
#include "device/reading_stream.h"
#include "device/verification_figures.h"
#include "device/verification_plan.h"
#include "device/verification_reference.h"

// The verification run as a state machine driven by a session's readings: at each planned
// point the set point goes to the reference, the readings settle, then are averaged for the
// dwell while the reference is read; after the last point the figures and the verdict. No
// threads and no locks: VerificationWorker runs it on a thread of its own; a test feeds it a
// series of readings.
namespace device {

enum class VerificationPhase {
    kIdle,
    kAwaitingReference,  // manual: waiting for the user's typed reading
    kSettling,
    kDwelling,
    kFinished,
};
const char* VerificationPhaseName(VerificationPhase phase);  // "settling", ...

struct VerificationProgress {
    VerificationPhase phase = VerificationPhase::kIdle;
    int pointIndex = 0;  // of the planned points, from 0
    int pointTotal = 0;
    PlannedPoint point;
    double phaseSeconds = 0;  // in this phase so far, in the readings' time
    double secondsLeft = 0;   // of the dwell, or until the settling times out
    std::optional<double> windowStdPsi, windowSlopePsiPerSecond;  // while settling
};

struct ManualPrompt {
    int pointIndex = 0;
    PlannedPoint point;
    std::string
        text;  // "Set the pressure to 7.5 PSI (up, cycle 1) and type the reference's reading"
};

struct VerificationResult {
    VerificationPlan plan;
    std::string reference;                  // "manual" or the controller's *IDN? answer
    std::vector<VerificationPoint> points;  // measured so far, the one that did not settle last
    std::vector<VerificationFigure> figures;
    Verdict verdict = Verdict::kIncomplete;
    std::string incompleteReason;  // why the run is incomplete; empty otherwise
    std::chrono::system_clock::time_point startUtc{}, endUtc{};
};

// Told what the run does, on the thread that drives it (a window posts to its own thread).
class VerificationEvents {
public:
    virtual ~VerificationEvents() = default;
    virtual void OnProgress(const VerificationProgress&) {}
    // Manual reference: the run waits for VerificationRun::AnswerManual.
    virtual void OnManualPrompt(const ManualPrompt&) {}
    virtual void OnPoint(const VerificationPoint&) {}
    virtual void OnFinished(const VerificationResult&) {}
};

class VerificationRun {
public:
    // `reference` and `events` (may be null) outlive the run. `plan` must be valid.
    VerificationRun(VerificationPlan plan, VerificationReference& reference,
                    VerificationEvents* events);

    // Sends the first set point (or asks for it). A reference that fails ends the run at once.
    void Start();
    // The session's readings, in order.
    void Feed(const std::vector<TimedReading>& readings);
    // Manual reference: the user's reading for the point asked for; ignored at other times.
    void AnswerManual(double referencePsi);
    // The readings had a gap (the port went away and came back): the point settles afresh.
    void ReadingsGap();
    // Ends the run as incomplete with `reason` ("stopped", "the port went away").
    void Stop(const std::string& reason);

    bool Finished() const { return m_phase == VerificationPhase::kFinished; }
    VerificationPhase Phase() const { return m_phase; }
    // The points so far, figures and verdict as they stand (final once Finished).
    VerificationResult Result() const;

private:
    struct Sample {
        double seconds;
        double psi;
    };

    void BeginPoint();
    void BeginSettling();
    void Take(const TimedReading& reading);
    void Settle(const TimedReading& reading, double t);
    void Dwell(const TimedReading& reading, double t);
    void ReadReference();
    void EndDwell();
    void Finish(const std::string& incompleteReason);
    void Progress(double t);
    std::string PointText() const;

    VerificationPlan m_plan;
    VerificationReference& m_reference;
    VerificationEvents* m_events;
    std::vector<PlannedPoint> m_order;
    size_t m_index = 0;
    VerificationPhase m_phase = VerificationPhase::kIdle;

    std::optional<double> m_phaseStart;  // readings' seconds at the phase's first reading
    double m_lastSeconds = 0;
    std::deque<Sample> m_window;  // the settling window
    std::optional<double> m_windowStd, m_windowSlope;
    double m_settleSeconds = 0;
    std::optional<double> m_manualReference;
    std::vector<StatsReading> m_dwellReadings;
    std::vector<double> m_referenceReadings;
    bool m_readThisBatch = false;
    VerificationPoint m_current;

    std::vector<VerificationPoint> m_points;
    std::string m_incompleteReason;
    std::chrono::system_clock::time_point m_startUtc{}, m_endUtc{};
};

}  // namespace device
