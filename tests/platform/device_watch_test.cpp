#include "platform/device_watch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

namespace fs = std::filesystem;
using platform::DeviceWatch;
using Result = DeviceWatch::WaitResult;

namespace {

struct Folders {
    fs::path root = fs::temp_directory_path() / ("zel-watch-" + std::to_string(::getpid()));
    fs::path watched = root / "dev", other = root / "elsewhere";
    Folders() {
        fs::remove_all(root);
        fs::create_directories(watched);
        fs::create_directories(other);
    }
    ~Folders() { fs::remove_all(root); }
};

// Waits on another thread while `act` runs on this one.
Result WaitWhile(DeviceWatch& watch, int timeoutMs, const std::function<void()>& act) {
    auto result = std::async(std::launch::async, [&] { return watch.Wait(timeoutMs); });
    act();
    if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "the wait did not end";
        watch.Cancel();
    }
    return result.get();
}

}  // namespace

TEST(DeviceWatch, Wakes_when_a_node_appears_a_link_is_renamed_into_place_or_rights_change) {
    Folders f;
    std::ofstream(f.watched / "ttyUSB7") << "";
    const std::function<void()> cases[] = {
        [&] { std::ofstream(f.watched / "ttyUSB0") << ""; },
        [&] {
            fs::create_symlink("ttyUSB0", f.other / "link");
            fs::rename(f.other / "link", f.watched / "ttyZEL0");
        },
        [&] { ::chmod((f.watched / "ttyUSB7").c_str(), 0660); },
    };
    for (const auto& act : cases) {
        DeviceWatch watch;
        ASSERT_TRUE(watch.Watch({f.watched.string(), (f.root / "missing").string()}));
        EXPECT_EQ(WaitWhile(watch, 30000, act), Result::Created);
    }
}

TEST(DeviceWatch, Ends_a_wait_on_cancel_and_times_out_when_nothing_appears_in_its_folders) {
    Folders f;
    DeviceWatch watch;
    ASSERT_TRUE(watch.Watch({f.watched.string()}));
    EXPECT_FALSE(watch.Watch({(f.root / "missing").string()}));
    EXPECT_EQ(WaitWhile(watch, -1, [&] { watch.Cancel(); }), Result::Cancelled);
    watch.Cancel();  // before the wait, as a signal handler may
    EXPECT_EQ(watch.Wait(-1), Result::Cancelled);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitWhile(watch, 200, [&] { std::ofstream(f.other / "ttyUSB0") << ""; }),
              Result::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}
