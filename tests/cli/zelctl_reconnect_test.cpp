// zelctl acquire --reconnect against a simulated transducer that goes away and comes back at the
// same link, as `zel-sim --link` puts it there.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "child_process.h"
#include "sim/simulator.h"
#include "tests/support/scratch_files.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Scratch(const std::string& name) {
    return test_files::ScratchPath("reconnect-" + name);
}
const auto& ReadFile = test_files::ReadWholeFile;

// A simulated transducer behind a fixed link: stopped, and started again with a serial number.
class LinkedTransducer {
public:
    explicit LinkedTransducer(std::string link) : m_link(std::move(link)) {}
    ~LinkedTransducer() { std::remove(m_link.c_str()); }
    void Start(uint32_t serialNumber, bool silent = false) {
        sim::Options options;
        options.serialNumber = serialNumber;
        options.faults.silent = silent;
        m_sim = std::make_unique<sim::Simulator>(options);
        ASSERT_TRUE(m_sim->Start());
        const std::string temp = m_link + ".new";
        std::remove(temp.c_str());
        ASSERT_EQ(::symlink(m_sim->PortPath().c_str(), temp.c_str()), 0);
        ASSERT_EQ(std::rename(temp.c_str(), m_link.c_str()), 0);
    }
    void Stop() { m_sim.reset(); }  // the pty closes: the host sees a hang-up

private:
    std::string m_link;
    std::unique_ptr<sim::Simulator> m_sim;
};

struct Reconnected {
    ChildResult result;
    nlohmann::json summary;
    std::string log;
};

// Runs zelctl acquire --reconnect on the link for `seconds`; once 150 readings are out, the
// transducer goes away and, unless `comesBackAs` is 0, another is started at the link 1 s later.
Reconnected RunAcrossAGap(uint32_t comesBackAs, const std::string& reconnect, int seconds,
                          bool comesBackSilent = false) {
    const std::string link = Scratch("link"), log = Scratch("log.txt"),
                      summary = Scratch("summary.json");
    LinkedTransducer transducer(link);
    transducer.Start(1234567);
    bool stopped = false, restarted = false;
    Clock::time_point stoppedAt;
    Reconnected r;
    r.result = RunChild(
        {ZELCTL_PATH, "acquire", "--port", link, "--duration", std::to_string(seconds),
         "--format", "csv", "--log", log, "--summary", summary, reconnect},
        [&](int, const std::string& out) {
            if (!stopped && std::count(out.begin(), out.end(), '\n') > 150) {
                transducer.Stop();
                stopped = true;
                stoppedAt = Clock::now();
            }
            if (stopped && !restarted && comesBackAs != 0 &&
                Clock::now() - stoppedAt > std::chrono::seconds(1)) {
                transducer.Start(comesBackAs, comesBackSilent);
                restarted = true;
            }
        },
        std::chrono::seconds(90));
    r.log = ReadFile(log);
    std::ifstream in(summary);
    r.summary = nlohmann::json::parse(in, nullptr, false);
    std::remove(log.c_str());
    std::remove(summary.c_str());
    return r;
}

TEST(ZelctlReconnect, The_same_transducer_back_at_the_link_continues_the_run_and_the_log) {
    const Reconnected r = RunAcrossAGap(1234567, "--reconnect=30", 25);
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    EXPECT_NE(r.result.err.find("with the same transducer; the run goes on"), std::string::npos)
        << r.result.err;
    ASSERT_FALSE(r.summary.is_discarded());
    EXPECT_EQ(r.summary["gaps"], 1);
    EXPECT_GT(r.summary["gap_seconds"].get<double>(), 1.0);
    // Every reading once, in order: the CSV's seconds only grow, with one jump over the gap,
    // and the log holds a line for each.
    std::stringstream csv(r.result.out);
    std::string line;
    std::getline(csv, line);
    double previous = -1, longestStep = 0;
    long lines = 0;
    while (std::getline(csv, line)) {
        const double seconds = std::stod(line.substr(line.find(',') + 1));
        EXPECT_GT(seconds, previous) << line;
        if (previous >= 0) longestStep = std::max(longestStep, seconds - previous);
        previous = seconds;
        ++lines;
    }
    EXPECT_GT(longestStep, 1.0);
    EXPECT_GT(lines, 300);
    EXPECT_EQ(r.summary["shown"], lines);
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), '\t'), lines);
}

TEST(ZelctlReconnect, Another_transducer_leaves_the_run_stopped_with_exit_10) {
    const Reconnected r = RunAcrossAGap(7654321, "--reconnect=30", 25);
    EXPECT_EQ(r.result.exitCode, 10) << r.result.err;
    EXPECT_NE(r.result.err.find("differs in Serial No (AC)"), std::string::npos) << r.result.err;
    // Nothing after the gap: the log has exactly the lines printed before it.
    const long lines = std::count(r.result.out.begin(), r.result.out.end(), '\n') - 1;
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), '\t'), lines);
    EXPECT_LT(lines, 400);
}

TEST(ZelctlReconnect, A_transducer_silent_on_the_port_that_came_back_ends_the_wait_with_exit_4) {
    const Reconnected r = RunAcrossAGap(1234567, "--reconnect", 60, true);
    EXPECT_EQ(r.result.exitCode, 4) << r.result.err;
    EXPECT_NE(r.result.err.find("never answered"), std::string::npos) << r.result.err;
    const long lines = std::count(r.result.out.begin(), r.result.out.end(), '\n') - 1;
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), '\t'), lines);
}

TEST(ZelctlReconnect, A_port_that_never_returns_ends_with_exit_5_after_the_wait) {
    const auto start = Clock::now();
    const Reconnected r = RunAcrossAGap(0, "--reconnect=3", 60);
    EXPECT_EQ(r.result.exitCode, 5) << r.result.err;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(40));
}

}  // namespace
