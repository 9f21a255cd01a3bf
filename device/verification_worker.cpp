#include "device/verification_worker.h"

namespace device {

VerificationWorker::VerificationWorker(VerificationPlan plan, VerificationReference& reference,
                                       VerificationEvents* events)
    : m_run(std::move(plan), reference, events) {}

VerificationWorker::~VerificationWorker() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(StopRequest{"stopped"});
        }
        m_wake.notify_all();
        m_thread.join();
    }
}

void VerificationWorker::Start() {
    if (m_thread.joinable()) return;
    m_thread = std::thread([this] { Loop(); });
}

void VerificationWorker::Push(const std::vector<TimedReading>& readings) {
    {
        std::lock_guard lock(m_mutex);
        if (m_finished) return;
        m_queue.push_back(readings);
    }
    m_wake.notify_all();
}

void VerificationWorker::AnswerManual(double referencePsi) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(Answer{referencePsi});
    }
    m_wake.notify_all();
}

void VerificationWorker::ReadingsGap() {
    {
        std::lock_guard lock(m_mutex);
        if (m_finished) return;
        m_queue.push_back(Gap{});
    }
    m_wake.notify_all();
}

void VerificationWorker::Stop(const std::string& reason) {
    {
        std::lock_guard lock(m_mutex);
        if (m_finished) return;
        m_queue.push_back(StopRequest{reason});
    }
    m_wake.notify_all();
}

bool VerificationWorker::Finished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

bool VerificationWorker::WaitFinished(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_wake.wait_for(lock, timeout, [this] { return m_finished; });
}

VerificationResult VerificationWorker::Result() const {
    std::lock_guard lock(m_mutex);
    if (m_final) return *m_final;
    return VerificationResult{};
}

void VerificationWorker::Loop() {
    m_run.Start();
    for (;;) {
        if (m_run.Finished()) {
            {
                std::lock_guard lock(m_mutex);
                m_final = m_run.Result();
                m_finished = true;
                m_queue.clear();
            }
            m_wake.notify_all();
            return;
        }
        Command command;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            command = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (auto* readings = std::get_if<std::vector<TimedReading>>(&command)) {
            m_run.Feed(*readings);
        } else if (auto* answer = std::get_if<Answer>(&command)) {
            m_run.AnswerManual(answer->psi);
        } else if (std::holds_alternative<Gap>(command)) {
            m_run.ReadingsGap();
        } else if (auto* stop = std::get_if<StopRequest>(&command)) {
            m_run.Stop(stop->reason);
        }
    }
}

}  // namespace device
