// zelctl acquire --influx against real time-series databases: Debian's victoria-metrics and
// influxdb (1.x), each started by the test on 127.0.0.1 with a scratch data folder, stopped in the
// middle of a run, and read back through their own APIs. Without them the tests fail:
// scripts/setup installs both.

#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
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
#include "device/c_numbers.h"
#include "tests/support/scratch_files.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kVictoriaMetricsProgram = "/usr/bin/victoria-metrics";
constexpr const char* kInfluxdProgram = "/usr/bin/influxd";

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

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// One request; the status (0: no answer) and the body.
long Http(const std::string& url, std::string* body, const std::string& post = "") {
    CURL* curl = curl_easy_init();
    if (url.find("/query?") != std::string::npos) curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    body->clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
    if (!post.empty()) curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post.c_str());
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return status;
}

struct Point {
    long long ms;  // VictoriaMetrics keeps milliseconds
    std::string psi;
};

std::string UrlEncoded(const std::string& text) {
    char* encoded = curl_easy_escape(nullptr, text.c_str(), static_cast<int>(text.size()));
    std::string out = encoded;
    curl_free(encoded);
    return out;
}

// A database on 127.0.0.1 with a data folder of its own: victoria-metrics, or influxd (InfluxDB
// 1.x) with a configuration written there; stopped when this goes, whatever the test did.
class Database {
public:
    enum Kind { kVictoriaMetrics, kInfluxDb };
    Database(Kind kind, const std::string& dir) : m_kind(kind), m_dir(dir), m_port(FreePort()) {
        if (kind == kInfluxDb) {
            std::ofstream(dir + "/influxdb.conf")
                << "reporting-disabled = true\n"
                << "bind-address = \"127.0.0.1:" << FreePort() << "\"\n"
                << "[meta]\n  dir = \"" << dir << "/meta\"\n"
                << "[data]\n  dir = \"" << dir << "/data\"\n  wal-dir = \"" << dir
                << "/wal\"\n  query-log-enabled = false\n"
                << "[monitor]\n  store-enabled = false\n"
                << "[http]\n  bind-address = \"127.0.0.1:" << m_port
                << "\"\n  log-enabled = false\n"
                << "[logging]\n  level = \"warn\"\n  suppress-logo = true\n";
        }
    }
    ~Database() { Stop(); }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string WriteUrl() const { return Url(m_kind == kInfluxDb ? "/write?db=zel" : "/write"); }
    std::string Log() const { return ReadFile(m_dir + "/database.log"); }

    // Started and answering (InfluxDB: with the database "zel"); false after 20 s without.
    bool Start() {
        std::vector<std::string> args;
        if (m_kind == kInfluxDb) {
            args = std::vector<std::string>{kInfluxdProgram, "-config", m_dir + "/influxdb.conf"};
        } else {
            args = std::vector<std::string>{kVictoriaMetricsProgram,
                                            "-httpListenAddr",
                                            "127.0.0.1:" + std::to_string(m_port),
                                            "-storageDataPath",
                                            m_dir + "/data",
                                            "-loggerLevel",
                                            "WARN",
                                            "-search.latencyOffset",
                                            "0s"};
        }
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = m_dir + "/database.log";
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        const int spawned = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            m_pid = -1;
            return false;
        }
        const std::string health = m_kind == kInfluxDb ? "/ping" : "/health";
        for (const auto end = Clock::now() + 20s; Clock::now() < end;) {
            std::string body;
            if (Http(Url(health), &body) / 100 == 2) {
                return m_kind != kInfluxDb ||
                       Http(Url("/query"), &body, "q=CREATE+DATABASE+zel") == 200;
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    // SIGTERM: it writes what it took to disk first. SIGKILL after 15 s. InfluxDB: the points it
    // acknowledged are counted first.
    void Stop() {
        if (m_pid <= 0) return;
        m_acknowledgedBefore += AcknowledgedSinceStart();
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (const auto end = Clock::now() + 15s; Clock::now() < end;) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

    // InfluxDB 1.x: the points its HTTP writes acknowledged, over all its starts. A re-sent batch
    // shows only here: InfluxDB keeps one point per series and time stamp.
    long long Acknowledged() { return m_acknowledgedBefore + AcknowledgedSinceStart(); }

    // An InfluxQL query's answer as InfluxDB gives it.
    std::string InfluxQl(const std::string& query) {
        std::string body;
        Http(Url("/query?db=zel&epoch=ms&q=" + UrlEncoded(query)), &body);
        return body;
    }

    // Every psi point, oldest first, once `expected` have arrived (or after 20 s).
    std::vector<Point> Psi(size_t expected) {
        std::vector<Point> points;
        for (const auto end = Clock::now() + 20s; Clock::now() < end;) {
            points = m_kind == kInfluxDb ? InfluxPsi() : VictoriaPsi();
            if (points.size() >= expected) break;
            std::this_thread::sleep_for(200ms);
        }
        std::stable_sort(points.begin(), points.end(),
                         [](const Point& a, const Point& b) { return a.ms < b.ms; });
        return points;
    }

private:
    std::vector<Point> VictoriaPsi() {
        std::vector<Point> points;
        std::string body;
        Http(Url("/internal/force_flush"), &body);
        if (Http(Url("/api/v1/export"), &body, "match[]=zel_pressure_psi") != 200) return points;
        std::istringstream in(body);
        for (std::string line; std::getline(in, line);) {
            const auto series = nlohmann::json::parse(line);
            for (size_t i = 0; i < series["values"].size(); ++i) {
                points.push_back({series["timestamps"][i].get<long long>(),
                                  device::FormatFixed6(series["values"][i].get<double>())});
            }
        }
        return points;
    }

    std::vector<Point> InfluxPsi() {
        std::vector<Point> points;
        const auto answer =
            nlohmann::json::parse(InfluxQl("SELECT psi FROM zel_pressure"), nullptr, false);
        if (answer.is_discarded()) return points;
        for (const auto& result : answer.value("results", nlohmann::json::array())) {
            for (const auto& series : result.value("series", nlohmann::json::array())) {
                for (const auto& row : series["values"])
                    points.push_back(
                        {row[0].get<long long>(), device::FormatFixed6(row[1].get<double>())});
            }
        }
        return points;
    }

    long long AcknowledgedSinceStart() {
        if (m_kind != kInfluxDb) return 0;
        const auto answer =
            nlohmann::json::parse(InfluxQl("SHOW STATS FOR 'httpd'"), nullptr, false);
        if (answer.is_discarded()) return 0;
        try {
            const auto& series = answer["results"][0]["series"][0];
            const auto& columns = series["columns"];
            for (size_t i = 0; i < columns.size(); ++i) {
                if (columns[i] == "pointsWrittenOK") return series["values"][0][i].get<long long>();
            }
        } catch (const nlohmann::json::exception&) {
        }
        return 0;
    }

    Kind m_kind;
    std::string m_dir;
    int m_port;
    pid_t m_pid = -1;
    long long m_acknowledgedBefore = 0;
};

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
    EXPECT_EQ(Values(stored), logged) << "the same values in the same order";
    EXPECT_EQ(DuplicateTimes(stored), 0u);
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
    EXPECT_EQ(DuplicateTimes(stored), 0u);
}

}  // namespace
