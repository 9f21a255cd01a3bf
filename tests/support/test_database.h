#pragma once

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/c_numbers.h"
#include "tests/support/scratch_files.h"

extern char** environ;

// A time-series database from Debian started by a test on 127.0.0.1 with a data folder of its
// own (victoria-metrics, or influxd of InfluxDB 1.x), written to and read back over HTTP.
// Without them the database tests fail: scripts/setup installs both.
namespace test_db {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
inline const auto& ReadFile = test_files::ReadWholeFile;

inline constexpr const char* kVictoriaMetricsProgram = "/usr/bin/victoria-metrics";
inline constexpr const char* kInfluxdProgram = "/usr/bin/influxd";

inline int FreePort() {
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

inline size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// One request; the status (0: no answer) and the body.
inline long Http(const std::string& url, std::string* body, const std::string& post = "") {
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
    long long time;  // in the database's own precision: VictoriaMetrics ms, InfluxDB ns
    std::string psi;
};

inline std::string UrlEncoded(const std::string& text) {
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
    std::string InfluxQl(const std::string& query, const std::string& epoch = "ms") {
        std::string body;
        Http(Url("/query?db=zel&epoch=" + epoch + "&q=" + UrlEncoded(query)), &body);
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
                         [](const Point& a, const Point& b) { return a.time < b.time; });
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
            nlohmann::json::parse(InfluxQl("SELECT psi FROM zel_pressure", "ns"), nullptr, false);
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

}  // namespace test_db
