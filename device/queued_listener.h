#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "device/measurement_session.h"

namespace device {

// Hands the readings to `target` on a thread of its own, in order, so that a listener that may
// block (a pipe whose reader stopped reading, a slow disk) holds up neither the tick nor the
// listeners after it. Nothing is dropped: the queue grows while the target is slow.
class QueuedListener : public SessionEvents {
public:
    explicit QueuedListener(SessionEvents& target);
    QueuedListener(const QueuedListener&) = delete;
    QueuedListener& operator=(const QueuedListener&) = delete;
    // Finish first.
    ~QueuedListener() override;

    void OnRunStarted() override;  // queued too, so that it keeps its place among the readings
    void OnReadings(const std::vector<TimedReading>& readings) override;  // tick: queues only

    // Returns once everything queued has been handed over, and ends the thread. Later readings
    // are handed over at once, on the caller's thread. The owner's thread only.
    void Finish();

private:
    struct Item {
        bool runStarted = false;
        std::vector<TimedReading> readings;
    };
    void Run();

    SessionEvents& m_target;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Item> m_queue;
    bool m_finishing = false;
    bool m_finished = false;
    std::thread m_thread;
};

}  // namespace device
