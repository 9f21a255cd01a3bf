#include "device/acq_timer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "device/device_state.h"
#include "device_fixture.h"
#include "platform/periodic_timer.h"
#include "tests/support/wait_until.h"

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

TEST_F(AcqTimer, Unqueryable_caps_are_told_and_start_nothing) {
    device::CAcqTimer timer([](platform::TimerCaps*) { return false; });
    EXPECT_FALSE(timer.Start());
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_TRUE(timer.NoTimerDevice());
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
    WaitUntil([] { return !device::MonitorTextCopy().empty(); });
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
    ASSERT_TRUE(WaitUntil([&] { return timer.Calls() >= 20; }));
    timer.Stop();
    std::lock_guard lock(mutex);
    ASSERT_GE(times.size(), 15u);
    for (size_t k = 0; k < times.size(); ++k) {
        EXPECT_GE(times[k] - start, (k + 1) * 100ms) << k;  // never early
    }
    // Twenty ticks of 40 ms extra would put the last one 800 ms late; a busy machine may make a
    // tick late, and the ones after it skip back onto the grid.
    const auto last = times.size();
    EXPECT_LT(times.back() - start, last * 100ms + 500ms);
}

TEST(PeriodicTimer, Ticks_never_overlap_and_an_overrun_skips_missed_deadlines) {
    platform::PeriodicTimer timer;
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::mutex mutex;
    std::vector<Clock::time_point> starts;
    ASSERT_TRUE(timer.Start(100, [&] {
        int now = ++inside;
        if (now > maxInside) maxInside = now;
        {
            std::lock_guard lock(mutex);
            starts.push_back(Clock::now());
        }
        std::this_thread::sleep_for(250ms);
        --inside;
    }));
    ASSERT_TRUE(WaitUntil([&] { return timer.Calls() >= 5; }));
    timer.Stop();
    EXPECT_EQ(maxInside.load(), 1);
    // Each call takes 250 ms and then waits for the next grid point after its end, at least
    // 300 ms after the grid point it started on: the fifth call starts more than 1150 ms after
    // the first however late any of them came. A burst of the missed deadlines would start them
    // 250 ms apart, 1000 ms in all.
    std::lock_guard lock(mutex);
    ASSERT_GE(starts.size(), 5u);
    EXPECT_GT(starts[4] - starts[0], 1150ms);
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
    ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
    EXPECT_TRUE(timer.Stop());
    EXPECT_TRUE(finished);
    EXPECT_FALSE(timer.IsRunning());
}

TEST(PeriodicTimer, Stop_from_inside_a_tick_ends_the_thread_without_deadlock) {
    platform::PeriodicTimer timer;
    std::atomic<int> calls{0};
    std::atomic<bool> innerResult{true};
    std::atomic<pid_t> thread{0};
    ASSERT_TRUE(timer.Start(100, [&] {
        thread = ::gettid();
        ++calls;
        innerResult = timer.Stop();
    }));
    // Once the timer's thread has ended, no call can come any more.
    const auto ended = [&] {
        return thread != 0 &&
               !std::filesystem::exists("/proc/self/task/" + std::to_string(thread.load()));
    };
    EXPECT_TRUE(WaitUntil(ended));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_FALSE(innerResult);
    timer.Stop();  // joins
}

}  // namespace
