#pragma once

#include <chrono>
#include <thread>

// Polls `condition` until it holds or `timeout` has passed; true when it held. What a test waits
// for happens on another thread (the tick, the simulator, the kernel's side of a line), so the
// timeout is generous: a busy machine only makes the wait longer, never the test fail.
template <class Condition>
bool WaitUntil(Condition condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
