#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "device/verification_run.h"

namespace device {

// Runs a VerificationRun on a thread of its own, so that the reference's round trips (a
// controller on a slow line) never hold up whoever hands in the readings: Push only queues
// them. The events are called on that thread.
class VerificationWorker {
public:
    // `reference` and `events` (may be null) outlive the worker; `plan` must be valid.
    VerificationWorker(VerificationPlan plan, VerificationReference& reference,
                       VerificationEvents* events);
    VerificationWorker(const VerificationWorker&) = delete;
    VerificationWorker& operator=(const VerificationWorker&) = delete;
    // Stops a run that is still going ("stopped") and joins the thread.
    ~VerificationWorker();

    // Starts the thread and the run on it (the first set point goes out from there).
    void Start();
    // Any thread; never waits for the reference.
    void Push(const std::vector<TimedReading>& readings);
    void AnswerManual(double referencePsi);
    void ReadingsGap();
    void Stop(const std::string& reason);

    bool Finished() const;
    // Waits up to `timeout` for the run to finish; true when it has.
    bool WaitFinished(std::chrono::milliseconds timeout) const;
    // The final points, figures and verdict once Finished (before: empty; the events tell the
    // points as they come).
    VerificationResult Result() const;

private:
    struct Answer {
        double psi;
    };
    struct Gap {};
    struct StopRequest {
        std::string reason;
    };
    using Command = std::variant<std::vector<TimedReading>, Answer, Gap, StopRequest>;

    void Loop();

    VerificationRun m_run;  // the worker thread's, once started
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_wake;
    std::deque<Command> m_queue;
    bool m_finished = false;
    std::optional<VerificationResult> m_final;
    std::thread m_thread;
};

}  // namespace device
