#include "device/queued_listener.h"

namespace device {

QueuedListener::QueuedListener(SessionEvents& target)
    : m_target(target), m_thread([this] { Run(); }) {}

QueuedListener::~QueuedListener() {
    Finish();
}

void QueuedListener::OnRunStarted() {
    std::unique_lock lock(m_mutex);
    if (m_finished) {
        lock.unlock();
        m_target.OnRunStarted();
        return;
    }
    m_queue.push_back({true, {}});
    m_ready.notify_one();
}

void QueuedListener::OnReadings(const std::vector<TimedReading>& readings) {
    std::unique_lock lock(m_mutex);
    if (m_finished) {
        lock.unlock();
        m_target.OnReadings(readings);
        return;
    }
    m_queue.push_back({false, readings});
    m_ready.notify_one();
}

void QueuedListener::Finish() {
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
        m_ready.notify_one();
    }
    if (m_thread.joinable()) m_thread.join();
}

void QueuedListener::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_ready.wait(lock, [this] { return !m_queue.empty() || m_finishing; });
        if (m_queue.empty()) {  // finishing, and everything handed over
            m_finished = true;
            return;
        }
        Item item = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        if (item.runStarted) {
            m_target.OnRunStarted();
        } else {
            m_target.OnReadings(item.readings);
        }
        lock.lock();
    }
}

}  // namespace device
