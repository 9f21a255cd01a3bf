#include "sim/simulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include "platform/pseudo_terminal.h"
#include "sim/transducer.h"

namespace sim {

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Junk for the garbage fault: nothing a host takes for a record, a restart or a reply value.
constexpr std::string_view kGarbage =
    "ABCDEFGHIJKLMNOQRSUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 !$%&()*+,-./:;<>?@[]^_{|}~";

// Continuous records are made only while less than this is waiting for the pty.
constexpr size_t kBacklogLimit = 256;
constexpr size_t kMaxFrameLength = 256;  // a longer run without CR is dropped
constexpr double kMaxPollWaitS = 0.010;

struct Piece {
    std::string bytes;
    double due;
};

}  // namespace

struct Simulator::Impl {
    explicit Impl(Options o) : options(std::move(o)), random(options.seed) {}

    void Run();
    void ReadFrames(double now);
    void Queue(Output output, double now);
    void Stall(int milliseconds);
    void Flush(double now);

    Options options;
    platform::PseudoTerminal pty;
    std::thread thread;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};
    std::atomic<bool> continuous{false};

    // Guarded by `mutex`: shared with the callers of the public interface.
    mutable std::mutex mutex;
    std::unique_ptr<Transducer> transducer;
    Faults faults;
    std::vector<FrameRecord> frames;
    std::vector<ReadingRecord> readings;

    // The thread's own.
    double startTime = 0;
    std::mt19937 random;
    std::string partialFrame;
    bool overlong = false;
    std::deque<Piece> pending;
    size_t pendingBytes = 0;
    bool blocked = false;  // the pty refused bytes: wait for POLLOUT
};

Simulator::Simulator(Options options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start(std::string* error) {
    Impl& d = *m_impl;
    if (d.running) return true;
    Stop();  // after the disconnect fault: a fresh pty
    if (d.options.address.size() != 2 || d.options.recordFiller.size() != 2) {
        if (error) *error = "address and record filler must be two characters each";
        return false;
    }
    if (!d.pty.Open(d.options.rawPty, error)) return false;
    d.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.wakeFd < 0) {
        if (error) *error = std::string("eventfd: ") + std::strerror(errno);
        d.pty.Close();
        return false;
    }
    d.startTime = Now();
    d.pending.clear();
    d.pendingBytes = 0;
    d.blocked = false;
    d.partialFrame.clear();
    d.overlong = false;
    {
        std::lock_guard lock(d.mutex);
        d.faults = d.options.faults;
        d.transducer = std::make_unique<Transducer>(d.options, d.startTime);
    }
    d.stopping = false;
    d.running = true;
    d.thread = std::thread([&d] { d.Run(); });
    return true;
}

void Simulator::Stop() {
    Impl& d = *m_impl;
    if (d.thread.joinable()) {
        d.stopping = true;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(d.wakeFd, &one, sizeof one);
        d.thread.join();
    }
    // Only after the join: the thread must never see a closed descriptor number reused.
    d.pty.Close();
    if (d.wakeFd >= 0) ::close(d.wakeFd);
    d.wakeFd = -1;
    d.running = false;
    d.continuous = false;
}

bool Simulator::Running() const {
    return m_impl->running;
}

double Simulator::StartTime() const {
    return m_impl->startTime;
}

const std::string& Simulator::PortPath() const {
    return m_impl->pty.SlavePath();
}

void Simulator::SetFaults(const Faults& faults) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->options.faults = faults;  // also for a later Start
    m_impl->faults = faults;
    if (m_impl->transducer) m_impl->transducer->SetFaults(faults);
}

std::vector<FrameRecord> Simulator::Frames() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->frames;
}

std::vector<ReadingRecord> Simulator::Readings() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->readings;
}

void Simulator::ClearRecords() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->frames.clear();
    m_impl->readings.clear();
}

std::array<uint8_t, 256> Simulator::Eeprom() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->transducer ? m_impl->transducer->Eeprom()
                              : DefaultEeprom(m_impl->options.serialNumber);
}

bool Simulator::Continuous() const {
    return m_impl->continuous;
}

uint64_t Simulator::DroppedRecords() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->transducer ? m_impl->transducer->Dropped() : 0;
}

void Simulator::Impl::Run() {
    const int master = pty.MasterFd();
    while (!stopping) {
        const double now = Now();
        int disconnectAfterMs;
        {
            std::lock_guard lock(mutex);
            disconnectAfterMs = faults.disconnectAfterMs;
        }
        if (disconnectAfterMs >= 0 && now >= startTime + disconnectAfterMs / 1000.0) break;

        ReadFrames(now);
        std::vector<Output> outputs;
        {
            std::lock_guard lock(mutex);
            transducer->Poll(now, pendingBytes < kBacklogLimit, &outputs);
        }
        for (auto& output : outputs) Queue(std::move(output), now);
        Flush(now);

        double next = now + kMaxPollWaitS;
        {
            std::lock_guard lock(mutex);
            next = std::min(next, transducer->NextDue());
        }
        if (!pending.empty() && !blocked) next = std::min(next, pending.front().due);
        if (disconnectAfterMs >= 0) next = std::min(next, startTime + disconnectAfterMs / 1000.0);
        const double wait = std::max(0.0, next - Now());
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(wait);
        timeout.tv_nsec = static_cast<long>((wait - std::floor(wait)) * 1e9);
        pollfd fds[2] = {{master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {wakeFd, POLLIN, 0}};
        if (::ppoll(fds, 2, &timeout, nullptr) > 0) {
            if (fds[0].revents & POLLOUT) blocked = false;
            // The kept slave end means no hang-up here; if one comes anyway, don't spin on it.
            if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (!stopping) pty.Close();  // the disconnect fault: the host sees a hang-up
    running = false;
    continuous = false;
}

void Simulator::Impl::ReadFrames(double now) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pty.MasterFd(), buffer, sizeof buffer);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n') continue;  // so that hand-typed CR LF lines work too
            if (c != '\r') {
                if (partialFrame.size() < kMaxFrameLength) {
                    partialFrame += c;
                } else {
                    overlong = true;
                }
                continue;
            }
            std::vector<Output> outputs;
            int stallMs = 0;
            if (!overlong) {
                std::lock_guard lock(mutex);
                frames.push_back({now, partialFrame});
                transducer->HandleFrame(partialFrame, now, &outputs);
                // Before the answer goes out: a host that has it sees the new state.
                continuous = transducer->Continuous();
                stallMs = transducer->TakeStall();
            }
            partialFrame.clear();
            overlong = false;
            for (auto& output : outputs) Queue(std::move(output), now);
            if (stallMs > 0) Stall(stallMs);
        }
    }
}

// Nothing read, nothing sent: what the host writes meanwhile waits in the pty. Stop ends it.
void Simulator::Impl::Stall(int milliseconds) {
    pollfd wake{wakeFd, POLLIN, 0};
    ::poll(&wake, 1, milliseconds);
}

void Simulator::Impl::Queue(Output output, double now) {
    Faults f;
    {
        std::lock_guard lock(mutex);
        f = faults;
        if (output.isReading) readings.push_back(output.reading);
    }
    std::string text;
    if (f.nulBytes && random() % 4 == 0) text.append(1 + random() % 2, '\0');
    if (f.garbage && random() % 4 == 0) {
        const int count = 1 + random() % 8;
        for (int i = 0; i < count; ++i) text += kGarbage[random() % kGarbage.size()];
    }
    text += output.text;
    // Output keeps its order: a delayed reply holds back what follows it.
    double due = now + output.delayMs / 1000.0;
    if (!pending.empty()) due = std::max(due, pending.back().due);
    if (!f.splitRecords) {
        pendingBytes += text.size();
        pending.push_back({std::move(text), due});
        return;
    }
    for (size_t at = 0; at < text.size();) {
        const size_t size = std::min<size_t>(1 + random() % 6, text.size() - at);
        pending.push_back({text.substr(at, size), due});
        pendingBytes += size;
        at += size;
        due += (random() % 2001) / 1e6;
    }
}

void Simulator::Impl::Flush(double now) {
    while (!pending.empty() && !blocked && pending.front().due <= now) {
        Piece& piece = pending.front();
        const ssize_t n = ::write(pty.MasterFd(), piece.bytes.data(), piece.bytes.size());
        if (n < 0) {
            // EAGAIN: the pty is full (about 20 KiB). Either way wait for POLLOUT, at most one
            // poll period, rather than spin.
            blocked = true;
            return;
        }
        pendingBytes -= static_cast<size_t>(n);
        if (static_cast<size_t>(n) < piece.bytes.size()) {
            piece.bytes.erase(0, static_cast<size_t>(n));
            blocked = true;
            return;
        }
        pending.pop_front();
    }
}

}  // namespace sim
