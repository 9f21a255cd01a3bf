// zelctl acquire --influx against a real time-series database: Debian's victoria-metrics, started
// by the test on 127.0.0.1 with a scratch data folder, stopped in the middle of a run, and read
// back through its export API. Without victoria-metrics the tests fail: scripts/setup installs it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "tests/support/scratch_files.h"
#include "tests/support/victoria_metrics.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using test_db::kVictoriaMetrics;
using test_db::Point;
using test_db::VictoriaMetrics;

using test_files::ScratchDir;
const auto& ReadFile = test_files::ReadWholeFile;

// The log's readings (TAB + value each), time lines skipped.
std::vector<std::string> LogValues(const std::string& path) {
    std::vector<std::string> values;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '\t') values.push_back(line.substr(1));
    }
    return values;
}

std::vector<std::string> Values(const std::vector<Point>& points) {
    std::vector<std::string> values;
    for (const Point& p : points) values.push_back(p.psi);
    return values;
}

size_t DuplicateTimes(const std::vector<Point>& points) {
    size_t duplicates = 0;
    for (size_t i = 1; i < points.size(); ++i) duplicates += points[i].ms == points[i - 1].ms;
    return duplicates;
}

// The spool's batches in their order, joined.
std::string SpooledLines(const std::string& spool) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(spool)) {
        if (entry.path().extension() == ".lp" && entry.path().filename() != "rejected.lp")
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    std::string lines;
    for (const auto& file : files) lines += ReadFile(file);
    return lines;
}

std::vector<std::string> PsiOfLines(const std::string& lines) {
    static const std::regex kPsi(" psi=([-0-9.]+),");
    std::vector<std::string> values;
    for (std::sregex_iterator it(lines.begin(), lines.end(), kPsi), e; it != e; ++it)
        values.push_back((*it)[1]);
    return values;
}

class InfluxDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(kVictoriaMetrics))
            << kVictoriaMetrics << " is missing: scripts/setup installs victoria-metrics";
    }
    // The scratch folder stays for a look when the test failed.
    void TearDown() override {
        if (!HasFailure() && !m_dir.empty()) fs::remove_all(m_dir);
    }
    std::string Scratch(const std::string& name) { return m_dir = ScratchDir(name); }

private:
    std::string m_dir;
};

TEST_F(InfluxDatabase, A_run_across_a_database_outage_stores_every_logged_reading_once_in_order) {
    const std::string dir = Scratch("outage");
    VictoriaMetrics db(dir);
    ASSERT_TRUE(db.Start()) << ReadFile(dir + "/victoria-metrics.log");
    const std::string log = dir + "/run.txt";
    const auto start = Clock::now();
    bool stopped = false, restarted = false, restartFailed = false;
    const ChildResult r = RunChild(
        {ZELCTL_PATH, "acquire", "--simulate", "--duration", "30", "--influx", db.Url("/write"),
         "--spool", dir + "/spool", "--log", log},
        [&](int, const std::string&) {
            // The read-out takes 5 s: down from 10 s to 20 s into the run's 30.
            const auto t = Clock::now() - start;
            if (!stopped && t > 15s) {
                db.Stop();
                stopped = true;
            } else if (stopped && !restarted && t > 25s) {
                restartFailed = !db.Start();
                restarted = true;
            }
        },
        120s);
    ASSERT_TRUE(restarted);
    ASSERT_FALSE(restartFailed) << ReadFile(dir + "/victoria-metrics.log");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("does not answer"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("answers again; the spool goes first"), std::string::npos) << r.err;

    const std::vector<std::string> logged = LogValues(log);
    ASSERT_GT(logged.size(), 3000u) << "about 150 readings a second for 30 s";
    const std::vector<Point> stored = db.Psi(logged.size());
    EXPECT_EQ(stored.size(), logged.size());
    EXPECT_EQ(Values(stored), logged) << "the same values in the same order";
    EXPECT_EQ(DuplicateTimes(stored), 0u);
}

TEST_F(InfluxDatabase, A_run_while_the_database_is_down_spools_every_reading_for_the_next_run) {
    const std::string dir = Scratch("down");
    VictoriaMetrics db(dir);  // not started yet
    const std::string spool = dir + "/spool";
    ChildResult r = RunChild({ZELCTL_PATH, "acquire", "--simulate", "--duration", "3", "--influx",
                              db.Url("/write"), "--spool", spool, "--flush-timeout", "1", "--log",
                              dir + "/first.txt"});
    EXPECT_EQ(r.exitCode, 9) << r.err;
    const std::vector<std::string> first = LogValues(dir + "/first.txt");
    ASSERT_GT(first.size(), 200u);
    EXPECT_NE(r.err.find("zelctl: " + std::to_string(first.size()) +
                         " readings are left in the spool " + spool + ": "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(PsiOfLines(SpooledLines(spool)), first) << "the spool holds every reading";

    ASSERT_TRUE(db.Start()) << ReadFile(dir + "/victoria-metrics.log");
    r = RunChild({ZELCTL_PATH, "acquire", "--simulate", "--count", "20", "--influx",
                  db.Url("/write"), "--spool", spool, "--log", dir + "/second.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(
        r.err.find(std::to_string(first.size()) + " readings of an earlier run wait in the spool"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(SpooledLines(spool), "") << "the spool emptied";

    std::vector<std::string> expected = first;
    for (const auto& v : LogValues(dir + "/second.txt")) expected.push_back(v);
    const std::vector<Point> stored = db.Psi(expected.size());
    EXPECT_EQ(Values(stored), expected);
    EXPECT_EQ(DuplicateTimes(stored), 0u);
}

}  // namespace
