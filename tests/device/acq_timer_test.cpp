#include "device/acq_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "device/device_state.h"
#include "device_fixture.h"
#include "platform/periodic_timer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class AcqTimer : public device_test::DeviceTest {};

TEST_F(AcqTimer, Second_start_is_refused_and_the_first_timer_keeps_running) {
    device::CAcqTimer timer;
    EXPECT_TRUE(timer.Start());
    EXPECT_TRUE(timer.IsRunning());
    EXPECT_EQ(timer.Period(), 100u);
    EXPECT_FALSE(timer.Start());
    EXPECT_TRUE(timer.IsRunning());
    EXPECT_TRUE(timer.Stop());
}

TEST_F(AcqTimer, Unqueryable_caps_show_error_01_and_start_nothing) {
    device::CAcqTimer timer([](platform::TimerCaps*) { return false; });
    EXPECT_FALSE(timer.Start());
    EXPECT_FALSE(timer.IsRunning());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error 01");
}

TEST_F(AcqTimer, Stop_ends_the_timer_and_a_second_stop_returns_false) {
    device::CAcqTimer timer;
    EXPECT_FALSE(timer.Stop());
    ASSERT_TRUE(timer.Start());
    EXPECT_TRUE(timer.Stop());
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_FALSE(timer.Stop());
    EXPECT_TRUE(timer.Start());  // and it can run again
    EXPECT_TRUE(timer.Stop());
}

TEST_F(AcqTimer, Ticks_run_OnTick_and_reach_the_monitor) {
    device_test::PtyLink link;
    Attach(&link.port);
    device::CAcqTimer timer;
    ASSERT_TRUE(timer.Start());
    link.DeviceSends("RD=1\r");
    const auto deadline = Clock::now() + 5s;
    while (device::MonitorTextCopy().empty() && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    timer.Stop();
    EXPECT_EQ(device::MonitorTextCopy(), "RD=1\r\n");
    EXPECT_GE(timer.Ticks(), 1u);
}

TEST(PeriodicTimer, Deadlines_are_absolute_so_slow_ticks_do_not_drift) {
    platform::PeriodicTimer timer;
    std::mutex mutex;
    std::vector<Clock::time_point> times;
    const auto start = Clock::now();
    ASSERT_TRUE(timer.Start(100, [&] {
        {
            std::lock_guard lock(mutex);
            times.push_back(Clock::now());
        }
        std::this_thread::sleep_for(40ms);  // a relative sleep would add this every tick
    }));
    std::this_thread::sleep_for(2050ms);
    timer.Stop();
    std::lock_guard lock(mutex);
    ASSERT_GE(times.size(), 15u);
    for (size_t k = 0; k < times.size(); ++k) {
        EXPECT_GE(times[k] - start, (k + 1) * 100ms) << k;  // never early
    }
    // Twenty ticks of 40 ms extra would put the last one 800 ms late.
    const auto last = times.size();
    EXPECT_LT(times.back() - start, last * 100ms + 300ms);
}

TEST(PeriodicTimer, Ticks_never_overlap_and_an_overrun_skips_missed_deadlines) {
    platform::PeriodicTimer timer;
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::atomic<int> calls{0};
    ASSERT_TRUE(timer.Start(100, [&] {
        int now = ++inside;
        if (now > maxInside) maxInside = now;
        std::this_thread::sleep_for(250ms);
        --inside;
        ++calls;
    }));
    std::this_thread::sleep_for(1400ms);
    timer.Stop();
    EXPECT_EQ(maxInside.load(), 1);
    // Each call takes 250 ms and then waits for the next grid point: at most one call every
    // 300 ms, never a burst of the deadlines it missed.
    EXPECT_LE(calls.load(), 5);
    EXPECT_GE(calls.load(), 2);
}

TEST(PeriodicTimer, Stop_returns_only_after_the_tick_in_progress_has_finished) {
    platform::PeriodicTimer timer;
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    ASSERT_TRUE(timer.Start(100, [&] {
        started = true;
        std::this_thread::sleep_for(300ms);
        finished = true;
    }));
    while (!started) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(timer.Stop());
    EXPECT_TRUE(finished);
    EXPECT_FALSE(timer.IsRunning());
}

TEST(PeriodicTimer, Stop_from_inside_a_tick_ends_the_thread_without_deadlock) {
    platform::PeriodicTimer timer;
    std::atomic<int> calls{0};
    std::atomic<bool> innerResult{true};
    ASSERT_TRUE(timer.Start(100, [&] {
        ++calls;
        innerResult = timer.Stop();
    }));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_FALSE(innerResult);
    timer.Stop();  // joins
}

}  // namespace
