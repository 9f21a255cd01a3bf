#include "tests/support/victoria_metrics.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "device/c_numbers.h"

extern char** environ;

namespace test_db {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

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

namespace {

size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

}  // namespace

long Http(const std::string& url, std::string* body, const std::string& post) {
    CURL* curl = curl_easy_init();
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

VictoriaMetrics::VictoriaMetrics(const std::string& dir) : m_dir(dir), m_port(FreePort()) {}

bool VictoriaMetrics::Start() {
    const std::string listen = "127.0.0.1:" + std::to_string(m_port);
    const std::string data = m_dir + "/data";
    std::vector<std::string> args = {kVictoriaMetrics,
                                     "-httpListenAddr",
                                     listen,
                                     "-storageDataPath",
                                     data,
                                     "-loggerLevel",
                                     "WARN"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = m_dir + "/victoria-metrics.log";
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
    for (const auto end = Clock::now() + 20s; Clock::now() < end;) {
        std::string body;
        if (Http(Url("/health"), &body) == 200) return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

void VictoriaMetrics::Stop() {
    if (m_pid <= 0) return;
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

std::vector<Point> VictoriaMetrics::Psi(size_t expected) {
    std::vector<Point> points;
    for (const auto end = Clock::now() + 20s; Clock::now() < end;) {
        std::string body;
        Http(Url("/internal/force_flush"), &body);
        points.clear();
        if (Http(Url("/api/v1/export"), &body, "match[]=zel_pressure_psi") != 200) continue;
        std::istringstream in(body);
        for (std::string line; std::getline(in, line);) {
            const auto series = nlohmann::json::parse(line);
            for (size_t i = 0; i < series["values"].size(); ++i) {
                points.push_back({series["timestamps"][i].get<long long>(),
                                  device::FormatFixed6(series["values"][i].get<double>())});
            }
        }
        if (points.size() >= expected) break;
        std::this_thread::sleep_for(200ms);
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const Point& a, const Point& b) { return a.ms < b.ms; });
    return points;
}

}  // namespace test_db
