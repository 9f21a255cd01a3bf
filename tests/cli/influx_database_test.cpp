// zelctl acquire --influx against real time-series databases: Debian's victoria-metrics and
// influxdb (1.x), each started by the test on 127.0.0.1 with a scratch data folder, stopped in the
// middle of a run, and read back through their own APIs. Without them the tests fail:
// scripts/setup installs both.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_database.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test_db::Database;
using test_db::Http;
using test_db::kInfluxdProgram;
using test_db::kVictoriaMetricsProgram;
using test_db::Point;
using test_db::UrlEncoded;
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

// Where the stored readings first break the order of time: each must come later than the one
// before, in the database's own precision (VictoriaMetrics keeps milliseconds), or it could not be
// told from its neighbour. The count when there is no such place.
size_t FirstOutOfTime(const std::vector<Point>& points) {
    for (size_t i = 1; i < points.size(); ++i) {
        if (points[i].time <= points[i - 1].time) return i;
    }
    return points.size();
}

// Where two lists of values first differ, for a message that shows it.
size_t FirstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
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
        for (const char* program : {kVictoriaMetricsProgram, kInfluxdProgram}) {
            ASSERT_TRUE(fs::exists(program))
                << program << " is missing: scripts/setup installs victoria-metrics and influxdb";
        }
    }
    // The scratch folder stays for a look when the test failed.
    void TearDown() override {
        if (!HasFailure() && !m_dir.empty()) fs::remove_all(m_dir);
    }
    std::string Scratch(const std::string& name) { return m_dir = ScratchDir(name); }

private:
    std::string m_dir;
};

class EachDatabase : public InfluxDatabase, public ::testing::WithParamInterface<Database::Kind> {};

INSTANTIATE_TEST_SUITE_P(, EachDatabase,
                         ::testing::Values(Database::kVictoriaMetrics, Database::kInfluxDb),
                         [](const ::testing::TestParamInfo<Database::Kind>& param) {
                             return param.param == Database::kInfluxDb ? "InfluxDB1"
                                                                       : "VictoriaMetrics";
                         });

TEST_P(EachDatabase, A_run_across_a_database_outage_stores_every_logged_reading_once_in_order) {
    const std::string dir = Scratch("outage");
    Database db(GetParam(), dir);
    ASSERT_TRUE(db.Start()) << db.Log();
    const std::string log = dir + "/run.txt";
    const auto start = Clock::now();
    bool stopped = false, restarted = false, restartFailed = false;
    const ChildResult r = RunChild(
        {ZELCTL_PATH, "acquire", "--simulate", "--duration", "30", "--influx", db.WriteUrl(),
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
    ASSERT_FALSE(restartFailed) << db.Log();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("does not answer"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("answers again; the spool goes first"), std::string::npos) << r.err;

    const std::vector<std::string> logged = LogValues(log);
    ASSERT_GT(logged.size(), 3000u) << "about 150 readings a second for 30 s";
    const std::vector<Point> stored = db.Psi(logged.size());
    EXPECT_EQ(stored.size(), logged.size());
    const size_t differ = FirstDifference(Values(stored), logged);
    EXPECT_EQ(differ, logged.size()) << "the same values in the same order; the first to differ: "
                                     << (differ < stored.size() ? stored[differ].psi : "none")
                                     << " stored, " << logged[std::min(differ, logged.size() - 1)]
                                     << " logged";
    EXPECT_EQ(FirstOutOfTime(stored), stored.size());
    if (GetParam() == Database::kInfluxDb) {
        EXPECT_EQ(db.Acknowledged(), static_cast<long long>(logged.size())) << "none sent twice";
    }
}

// README's queries for Grafana, with the panel's interval and time range filled in as Grafana
// does; the answer is printed for README.
TEST_P(EachDatabase, The_grafana_query_of_readme_gives_one_series_a_transducer) {
    const std::string dir = Scratch("grafana");
    Database db(GetParam(), dir);
    ASSERT_TRUE(db.Start()) << db.Log();
    const auto from = std::chrono::system_clock::now();
    const ChildResult r = RunChild({ZELCTL_PATH, "acquire", "--simulate", "--count", "450",
                                    "--influx", db.WriteUrl(), "--spool", dir + "/spool"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_GE(db.Psi(450).size(), 450u);
    const auto to = std::chrono::system_clock::now();
    const auto ms = [](auto t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    };
    std::string body;
    nlohmann::json series;
    if (GetParam() == Database::kVictoriaMetrics) {
        const std::string query = "avg by (serial, port) (avg_over_time(zel_pressure_psi[1s]))";
        ASSERT_EQ(Http(db.Url("/api/v1/query_range"), &body,
                       "query=" + UrlEncoded(query) + "&start=" + std::to_string(ms(from) / 1000) +
                           "&end=" + std::to_string(ms(to) / 1000 + 1) + "&step=1s"),
                  200)
            << body;
        const auto answer = nlohmann::json::parse(body);
        ASSERT_EQ(answer["status"], "success") << body;
        series = answer["data"]["result"];
        ASSERT_EQ(series.size(), 1u) << body;
        EXPECT_EQ(series[0]["metric"]["serial"], "1234567") << body;
        EXPECT_TRUE(series[0]["metric"].contains("port")) << body;
        EXPECT_GE(series[0]["values"].size(), 2u) << body;
    } else {
        body = db.InfluxQl("SELECT mean(\"psi\") FROM \"zel_pressure\" WHERE time >= " +
                           std::to_string(ms(from)) + "ms and time <= " + std::to_string(ms(to)) +
                           "ms GROUP BY time(1s), \"serial\", \"port\"");
        const auto answer = nlohmann::json::parse(body);
        series = answer["results"][0]["series"];
        ASSERT_EQ(series.size(), 1u) << body;
        EXPECT_EQ(series[0]["tags"]["serial"], "1234567") << body;
        EXPECT_TRUE(series[0]["tags"].contains("port")) << body;
        EXPECT_GE(series[0]["values"].size(), 2u) << body;
    }
    std::cout << body << "\n";
}

TEST_F(InfluxDatabase, A_run_while_the_database_is_down_spools_every_reading_for_the_next_run) {
    const std::string dir = Scratch("down");
    Database db(Database::kVictoriaMetrics, dir);  // not started yet
    const std::string spool = dir + "/spool";
    ChildResult r = RunChild({ZELCTL_PATH, "acquire", "--simulate", "--duration", "3", "--influx",
                              db.WriteUrl(), "--spool", spool, "--flush-timeout", "1", "--log",
                              dir + "/first.txt"});
    EXPECT_EQ(r.exitCode, 9) << r.err;
    const std::vector<std::string> first = LogValues(dir + "/first.txt");
    ASSERT_GT(first.size(), 200u);
    EXPECT_NE(r.err.find("zelctl: " + std::to_string(first.size()) +
                         " readings are left in the spool " + spool + ": "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(PsiOfLines(SpooledLines(spool)), first) << "the spool holds every reading";

    ASSERT_TRUE(db.Start()) << db.Log();
    r = RunChild({ZELCTL_PATH, "acquire", "--simulate", "--count", "20", "--influx", db.WriteUrl(),
                  "--spool", spool, "--log", dir + "/second.txt"});
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
    EXPECT_EQ(FirstOutOfTime(stored), stored.size());
}

}  // namespace
