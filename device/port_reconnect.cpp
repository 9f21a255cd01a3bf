#include "device/port_reconnect.h"

#include <unistd.h>

#include <utility>

#include "serial/port_return.h"

namespace device {

PortReconnect::PortReconnect(MeasurementSession& session, SessionPort& port,
                             serial::PortIdentity identity, serial::ProbeConfig search)
    : m_session(session),
      m_port(port),
      m_identity(std::move(identity)),
      m_search(std::move(search)) {}

PortReconnect::~PortReconnect() {
    Cancel();
    JoinWait();
}

RunEnd PortReconnect::Suspend() {
    RunEnd end = m_session.SuspendRun();
    m_port.ClosePort();
    return end;
}

std::optional<std::string> PortReconnect::Wait(Clock::time_point deadline) {
    if (m_cancelled) return std::nullopt;
    // The node's rights may still be udev's to set: a device that may not be opened yet is
    // looked at again at its next change. So is one whose open failed just now.
    bool firstLook = true;
    auto usable = [this, &firstLook](const std::string& path) {
        const bool retry = firstLook && path == m_notOpened;
        firstLook = false;
        return !retry && ::access(path.c_str(), R_OK | W_OK) == 0;
    };
    auto found = serial::WaitForPortReturn(m_identity, m_search, m_watch, deadline, usable);
    if (m_cancelled) return std::nullopt;
    return found;
}

void PortReconnect::WaitInBackground(std::function<void(std::optional<std::string>)> back) {
    JoinWait();
    m_waiter = std::thread([this, back = std::move(back)] {
        back(Wait(Clock::time_point::max()));
    });
}

void PortReconnect::Cancel() {
    m_cancelled = true;
    m_watch.Cancel();
}

void PortReconnect::JoinWait() {
    if (m_waiter.joinable()) m_waiter.join();
}

ReconnectStep PortReconnect::Resume(const std::string& path) {
    JoinWait();  // the waiting thread has handed over the path
    ReconnectStep step;
    step.opened = m_port.OpenAgain(path);
    if (!step.opened) {
        m_notOpened = path;
        return step;  // kWaitAgain
    }
    m_notOpened.clear();
    step.check = m_session.ResumeRun();
    switch (step.check.outcome) {
        case ResumeCheck::kResumed:
            step.outcome = ReconnectStep::kResumed;
            return step;
        case ResumeCheck::kGoneAgain:
            m_port.ClosePort();
            return step;  // kWaitAgain
        case ResumeCheck::kOtherTransducer:
            step.outcome = ReconnectStep::kOtherTransducer;
            break;
        case ResumeCheck::kUnconfirmed:
            step.outcome = ReconnectStep::kUnconfirmed;
            break;
        case ResumeCheck::kNoAnswer:
            step.outcome = ReconnectStep::kNoAnswer;
            break;
    }
    m_session.AbandonRun();
    m_port.ClosePort();
    return step;
}

void PortReconnect::GiveUp() {
    Cancel();
    JoinWait();
    m_session.AbandonRun();
}

std::optional<ReconnectStep> PortReconnect::WaitAndResume(Clock::time_point deadline,
                                                          const std::function<void()>& waiting) {
    for (;;) {
        if (waiting) waiting();
        const std::optional<std::string> path = Wait(deadline);
        if (!path) return std::nullopt;
        ReconnectStep step = Resume(*path);
        if (step.outcome != ReconnectStep::kWaitAgain) return step;
    }
}

}  // namespace device
