#include "cli/session.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "device/device_state.h"
#include "platform/device_watch.h"
#include "serial/port_return.h"
#include "serial/port_probe.h"
#include "serial/port_settings.h"
#include "sim/simulator.h"

namespace cli {

void CliMainDialog::EndEepromWait() {
    if (progressBar) std::fputs("\n", stderr);
}

bool CliMainDialog::EepromReadoutCancelled() {
    return StopRequested();
}

void SessionMessages::OnReadoutProgress(int byteAddress, const std::string&) {
    if (!m_dialog.progressBar) return;
    const int done = byteAddress + 1;
    const int width = 40;
    const int filled = done * width / 256;
    std::fprintf(stderr, "\rReading EEPROM [%s%s] %3d/256", std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), done);
    std::fflush(stderr);
}

void SessionMessages::OnReadoutUnconfirmed(const std::vector<device::UnconfirmedRow>& rows) {
    std::fprintf(stderr, "zelctl: %s\n", device::UnconfirmedRowsMessage(rows).c_str());
}

void SessionMessages::OnPortGone() {
    WakeWaiter();
}

void SessionMessages::OnFallingBehind() {
    std::fprintf(stderr, "zelctl: warning: %s\n", device::FallingBehindText().c_str());
}

void SessionMessages::OnLogFailed(const std::string& message) {
    std::fprintf(stderr, "zelctl: %s\n", message.c_str());
    logFailed = true;
    RequestStop();
}

void ReadingsPrinter::OnReadings(const std::vector<device::TimedReading>& readings) {
    const std::string out = FormatReadings(format, readings, tags);
    // A closed pipe (zelctl ... | head) ends the run like Ctrl-C, through the stop sequence;
    // any other failure (a full disk) does too, and says so.
    errno = 0;
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        if (errno == EPIPE) OutputPipeClosed() = true;
        if (errno != EPIPE && !outputFailed.exchange(true)) {
            std::fprintf(stderr, "zelctl: standard output could not be written: %s\n",
                         std::strerror(errno));
        }
        RequestStop();
    }
    printedReadings += static_cast<long>(readings.size());
    if (stopAfterReadings > 0 && printedReadings >= stopAfterReadings) WakeWaiter();
}

namespace {

std::atomic<int> g_stopSignal{0};
// The reconnect waiting for a port, while there is one: the stop signal's handler cancels its
// wait, and a signal handler can reach nothing but a process-wide variable.
std::atomic<device::PortReconnect*> g_reconnect{nullptr};
// Made once, before any signal can arrive: the signal handler only writes to it.
std::atomic<int> g_wakeFd{-1};

extern "C" void OnStopSignal(int signal) {
    g_stopSignal = signal;
    RequestStop();
    if (device::PortReconnect* reconnect = g_reconnect.load()) reconnect->Cancel();
}

}  // namespace

void WakeWaiter() {
    const int fd = g_wakeFd.load();
    if (fd < 0) return;
    const int saved = errno;  // also called from the signal handler
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
    errno = saved;
}

void RequestStop() {
    StopRequested() = true;
    WakeWaiter();
}

void WaitForWake(int timeoutMs) {
    const int fd = g_wakeFd.load();
    if (fd < 0) {
        ::poll(nullptr, 0, timeoutMs < 0 ? 10 : std::min(timeoutMs, 10));
        return;
    }
    pollfd wake{fd, POLLIN, 0};
    if (::poll(&wake, 1, timeoutMs) > 0) {
        uint64_t count;
        [[maybe_unused]] ssize_t n = ::read(fd, &count, sizeof count);
    }
}

std::atomic<bool>& StopRequested() {
    static std::atomic<bool> requested{false};
    return requested;
}

std::atomic<bool>& OutputPipeClosed() {
    static std::atomic<bool> closed{false};
    return closed;
}

void CatchStopSignals() {
    if (g_wakeFd.load() < 0) g_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

int StopSignal() {
    return g_stopSignal;
}

std::unique_ptr<sim::Simulator> StartSimulator(const Options& options, std::string* portPath) {
    sim::Options simOptions;
    simOptions.errors = options.simErrors;
    simOptions.seed = options.simSeed;
    simOptions.truePressure = options.simTruePressure;
    auto simulator = std::make_unique<sim::Simulator>(simOptions);
    std::string error;
    if (!simulator->Start(&error)) {
        std::fprintf(stderr, "zelctl: the simulated transducer could not start: %s\n",
                     error.c_str());
        portPath->clear();
        return nullptr;
    }
    *portPath = simulator->PortPath();
    return simulator;
}

Session::Session() : core(dialog, page, {&monitor, &readout, &eepromTable}) {
    core.AddListener(&messages);
}

Session::~Session() {
    if (dialog.m_timer) dialog.m_timer->Stop();
    core.RemoveListener(&messages);
}

int Session::Open(const Options& options) {
    std::string path;
    if (options.simulate) {
        m_simulator = StartSimulator(options, &path);
        if (!m_simulator) return kExitPortNotOpened;
    } else {
        path = options.ports.front();
    }
    portPath = path;
    identity = serial::ReadPortIdentity(path, serial::ProbeConfig{});
    const serial::PortOpenResult opened = core.OpenOwnPort(path);
    switch (opened.failure) {
        case serial::PortOpenResult::kNone:
            return kExitDone;
        case serial::PortOpenResult::kOpen:
            std::fprintf(stderr, "zelctl: %s\n",
                         serial::DescribeOpenError(opened.openError, path, opened.holder).c_str());
            return kExitPortNotOpened;
        case serial::PortOpenResult::kConfigure:
            std::fprintf(stderr, "zelctl: %s\nzelctl: %s could not be set to 115200 baud 8N1\n",
                         opened.configureError.c_str(), path.c_str());
            return kExitPortNotOpened;
    }
    return kExitPortNotOpened;
}

int Session::ReadEeprom() {
    dialog.progressBar = ::isatty(STDERR_FILENO);
    const auto& outcome = core.ReadEeprom();
    if (StopSignal() != 0) return 128 + StopSignal();
    if (PortGone()) {
        std::fprintf(stderr, "zelctl: the port went away during the EEPROM read-out\n");
        return kExitPortGone;
    }
    if (!outcome.answered) {
        std::fprintf(stderr, "zelctl: the transducer never answered (every EEPROM byte empty)\n");
        return kExitNoAnswer;
    }
    // The rows were named on standard error (SessionMessages).
    return outcome.unconfirmedRows.empty() ? kExitDone : kExitEepromUnconfirmed;
}

std::optional<device::ReconnectStep> Session::Reconnect(double seconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        std::isinf(seconds)
            ? Clock::time_point::max()
            : Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(seconds));
    device::PortReconnect reconnect(core, *this, identity, serial::ProbeConfig{});
    reconnect.Suspend();
    g_reconnect = &reconnect;
    if (StopRequested()) reconnect.Cancel();  // a signal just before the pointer was set
    const auto step = reconnect.WaitAndResume(deadline, [this] {
        std::fprintf(stderr, "zelctl: the port %s went away; waiting for it to come back\n",
                     portPath.c_str());
        dialog.progressBar = ::isatty(STDERR_FILENO);
    });
    g_reconnect = nullptr;
    return step;
}

serial::PortOpenResult Session::OpenAgain(const std::string& path) {
    serial::PortOpenResult opened = core.OpenOwnPort(path);
    if (opened) portPath = path;
    return opened;
}

void Session::ClosePort() {
    core.Port()->Close();
}

bool Session::PortGone() const {
    return core.Port()->IsGone() || dialog.PortGone();
}

}  // namespace cli
