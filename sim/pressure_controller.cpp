#include "sim/pressure_controller.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace sim {

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One set point's step: from p0 at t0 towards sp.
struct Step {
    double t0;
    double p0;
    double sp;
};

constexpr size_t kMaxLineLength = 1024;  // a longer line is dropped
constexpr size_t kMaxErrors = 20;        // further errors are not queued
constexpr size_t kKeptSteps = 16;        // enough for records measured a moment before a step

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// One header node, in its short or its long form.
bool Node(std::string_view node, std::string_view shortForm, std::string_view longForm) {
    return node == shortForm || node == longForm;
}

// The header's nodes split at ':' (a leading ':' is allowed), all upper case.
std::vector<std::string> Nodes(std::string_view header) {
    if (!header.empty() && header.front() == ':') header.remove_prefix(1);
    std::vector<std::string> nodes;
    for (;;) {
        const size_t colon = header.find(':');
        nodes.push_back(Upper(header.substr(0, colon)));
        if (colon == std::string_view::npos) break;
        header.remove_prefix(colon + 1);
    }
    return nodes;
}

std::string Fixed(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.7f", value);
    return text;
}

}  // namespace

struct PressureController::Impl {
    explicit Impl(ControllerOptions o)
        : options(std::move(o)),
          random(options.seed),
          noise(0.0, options.noisePsi > 0 ? options.noisePsi : 1.0) {}

    void Run();
    std::string Handle(const std::string& line);
    double PressureAt(double time) const;  // with `mutex` held
    bool StableAtLocked(double time) const;
    void Error(std::string error);
    std::string SetPressure(std::string_view argument, double now);

    ControllerOptions options;
    int listenFd = -1;
    int wakeFd = -1;
    uint16_t port = 0;
    std::string host;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};

    mutable std::mutex mutex;  // the state below, shared with the public interface
    std::deque<Step> steps;    // the newest last
    std::deque<std::string> errors;
    std::mt19937_64 random;
    std::normal_distribution<double> noise;
};

PressureController::PressureController(ControllerOptions options)
    : m_impl(std::make_unique<Impl>(std::move(options))) {
    m_impl->steps.push_back({-INFINITY, m_impl->options.initialPsi, m_impl->options.initialPsi});
}

PressureController::~PressureController() {
    Stop();
}

bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port, std::string* error) {
    const size_t colon = text.rfind(':');
    unsigned long number = 0;
    const char* begin = text.data() + (colon == std::string::npos ? 0 : colon + 1);
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(begin, end, number);
    if (colon == std::string::npos || colon == 0 || begin == end || result.ec != std::errc() ||
        result.ptr != end || number > 65535) {
        *error = "give HOST:PORT, e.g. 127.0.0.1:5025 (port 0: one chosen)";
        return false;
    }
    *host = text.substr(0, colon);
    *port = static_cast<uint16_t>(number);
    return true;
}

bool PressureController::Start(const std::string& host, uint16_t port, std::string* error) {
    Impl& d = *m_impl;
    if (d.running) return true;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        if (d.listenFd >= 0) ::close(d.listenFd);
        if (d.wakeFd >= 0) ::close(d.wakeFd);
        d.listenFd = d.wakeFd = -1;
        return false;
    };
    in_addr address{};
    const std::string numeric = host == "localhost" ? "127.0.0.1" : host;
    if (::inet_pton(AF_INET, numeric.c_str(), &address) != 1 ||
        (ntohl(address.s_addr) >> 24) != 127) {
        return fail("the controller listens only on a loopback address (127.0.0.0/8), not " + host);
    }
    d.listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (d.listenFd < 0) return fail(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(d.listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in bindTo{};
    bindTo.sin_family = AF_INET;
    bindTo.sin_addr = address;
    bindTo.sin_port = htons(port);
    if (::bind(d.listenFd, reinterpret_cast<sockaddr*>(&bindTo), sizeof bindTo) != 0 ||
        ::listen(d.listenFd, 8) != 0) {
        return fail(numeric + ":" + std::to_string(port) + ": " + std::strerror(errno));
    }
    socklen_t length = sizeof bindTo;
    ::getsockname(d.listenFd, reinterpret_cast<sockaddr*>(&bindTo), &length);
    d.port = ntohs(bindTo.sin_port);
    d.host = numeric;
    d.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.wakeFd < 0) return fail(std::string("eventfd: ") + std::strerror(errno));
    d.stopping = false;
    d.running = true;
    d.thread = std::thread([&d] { d.Run(); });
    return true;
}

void PressureController::Stop() {
    Impl& d = *m_impl;
    if (d.thread.joinable()) {
        d.stopping = true;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(d.wakeFd, &one, sizeof one);
        d.thread.join();
    }
    if (d.listenFd >= 0) ::close(d.listenFd);
    if (d.wakeFd >= 0) ::close(d.wakeFd);
    d.listenFd = d.wakeFd = -1;
    d.running = false;
}

bool PressureController::Running() const {
    return m_impl->running;
}

uint16_t PressureController::Port() const {
    return m_impl->port;
}

std::string PressureController::Address() const {
    return m_impl->host + ":" + std::to_string(m_impl->port);
}

double PressureController::TruePressureAt(double time) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->PressureAt(time);
}

double PressureController::TruePressureNow() const {
    return TruePressureAt(Now());
}

double PressureController::SetPoint() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->steps.back().sp;
}

bool PressureController::StableAt(double time) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->StableAtLocked(time);
}

double PressureController::Impl::PressureAt(double time) const {
    // The step in force at `time`: a record may be measured a moment before the newest one.
    auto step =
        std::find_if(steps.rbegin(), steps.rend(), [time](const Step& s) { return s.t0 <= time; });
    if (step == steps.rend()) step = std::prev(steps.rend());
    if (options.tauS <= 0 || !std::isfinite(step->t0)) return step->sp;
    return step->sp + (step->p0 - step->sp) * std::exp(-(time - step->t0) / options.tauS);
}

bool PressureController::Impl::StableAtLocked(double time) const {
    const Step& step = steps.back();
    const double distance = std::fabs(step.p0 - step.sp);
    double inBand = step.t0;
    if (distance > kStableBandPsi && options.tauS > 0)
        inBand += options.tauS * std::log(distance / kStableBandPsi);
    return !std::isfinite(step.t0) || time >= inBand + kStableForS;
}

void PressureController::Impl::Error(std::string error) {
    if (errors.size() < kMaxErrors) errors.push_back(std::move(error));
}

std::string PressureController::Impl::SetPressure(std::string_view argument, double now) {
    while (!argument.empty() && std::isspace(static_cast<unsigned char>(argument.front())))
        argument.remove_prefix(1);
    while (!argument.empty() && std::isspace(static_cast<unsigned char>(argument.back())))
        argument.remove_suffix(1);
    if (argument.empty()) {
        Error("-109,\"Missing parameter\"");
        return {};
    }
    double psi = 0;
    const auto result = std::from_chars(argument.data(), argument.data() + argument.size(), psi);
    if (result.ec != std::errc() || result.ptr != argument.data() + argument.size() ||
        !std::isfinite(psi)) {
        Error("-104,\"Data type error\"");
        return {};
    }
    if (psi < kControllerMinPsi || psi > kControllerMaxPsi) {
        Error("-222,\"Data out of range\"");
        return {};
    }
    steps.push_back({now, PressureAt(now), psi});
    if (steps.size() > kKeptSteps) steps.pop_front();
    return {};
}

std::string PressureController::Handle(const std::string& line) {
    return m_impl->Handle(line);
}

std::string PressureController::Impl::Handle(const std::string& line) {
    Impl& d = *this;
    std::string_view text = line;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    if (text.empty()) return {};
    const size_t space = text.find_first_of(" \t");
    std::string_view header = text.substr(0, space);
    const std::string_view argument =
        space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    const bool query = header.ends_with('?');
    if (query) header.remove_suffix(1);
    const std::vector<std::string> n = Nodes(header);
    const double now = Now();

    std::lock_guard lock(d.mutex);
    const bool noArgument = argument.find_first_not_of(" \t") == std::string_view::npos;
    if (n.size() == 1 && n[0] == "*IDN" && query && noArgument) return d.options.identity;
    if (n.size() == 1 && n[0] == "*CLS" && !query && noArgument) {
        d.errors.clear();
        return {};
    }
    if (n.size() == 2 && Node(n[0], "SOUR", "SOURCE") && Node(n[1], "PRES", "PRESSURE")) {
        if (!query) return d.SetPressure(argument, now);
        if (noArgument) return Fixed(d.steps.back().sp);
    }
    if (n.size() == 2 && Node(n[0], "MEAS", "MEASURE") && Node(n[1], "PRES", "PRESSURE") && query &&
        noArgument) {
        double psi = d.PressureAt(now);
        if (d.options.noisePsi > 0) psi += d.noise(d.random);
        return Fixed(psi);
    }
    if (n.size() == 2 && Node(n[0], "STAT", "STATUS") && Node(n[1], "STAB", "STABLE") && query &&
        noArgument) {
        return d.StableAtLocked(now) ? "1" : "0";
    }
    if (n.size() == 2 && Node(n[0], "SYST", "SYSTEM") && Node(n[1], "ERR", "ERROR") && query &&
        noArgument) {
        if (d.errors.empty()) return "0,\"No error\"";
        std::string error = std::move(d.errors.front());
        d.errors.pop_front();
        return error;
    }
    d.Error("-113,\"Undefined header\"");
    return {};
}

void PressureController::Impl::Run() {
    struct Client {
        int fd;
        std::string partial;
        bool overlong = false;
    };
    std::vector<Client> clients;
    while (!stopping) {
        std::vector<pollfd> fds = {{wakeFd, POLLIN, 0}, {listenFd, POLLIN, 0}};
        for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) clients.push_back({fd, {}});
        }
        for (size_t i = 0; i + 2 < fds.size(); ++i) {  // not the client just accepted
            if (!fds[i + 2].revents) continue;
            Client& c = clients[i];
            char buffer[4096];
            const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            for (ssize_t k = 0; k < got; ++k) {
                if (buffer[k] != '\n') {
                    if (c.partial.size() < kMaxLineLength) {
                        c.partial += buffer[k];
                    } else {
                        c.overlong = true;
                    }
                    continue;
                }
                std::string answer = c.overlong ? std::string() : Handle(c.partial);
                c.partial.clear();
                c.overlong = false;
                if (answer.empty()) continue;
                answer += '\n';
                // Answers are short; a client that does not read its answers is dropped.
                if (::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
                    static_cast<ssize_t>(answer.size())) {
                    ::close(c.fd);
                    c.fd = -1;
                    break;
                }
            }
        }
        clients.erase(std::remove_if(clients.begin(), clients.end(),
                                     [](const Client& c) { return c.fd < 0; }),
                      clients.end());
    }
    for (const Client& c : clients) ::close(c.fd);
    running = false;
}

}  // namespace sim
