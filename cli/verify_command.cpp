// zelctl verify: a verification run of the transducer against a reference.

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "cli/influx_setup.h"
#include "cli/reading_formats.h"
#include "cli/session.h"
#include "device/c_numbers.h"
#include "device/eeprom_contents.h"
#include "device/pressure_log.h"
#include "device/scpi_controller.h"
#include "device/verification_feed.h"
#include "device/verification_report.h"
#include "device/verification_worker.h"
#include "platform/file_check.h"
#include "platform/whole_file.h"
#include "res/build_info.h"
#include "sim/calibration.h"
#include "sim/pressure_controller.h"
#include "tsdb/reading_feed.h"

namespace cli {
namespace {

std::string Psi(double value) { return device::FormatC("%g", value); }

// The run's progress on standard error: a bar redrawn in place on a terminal, a line a point
// otherwise; the manual prompt; and a wake-up for the main thread when the run ends.
class CliVerificationEvents : public device::VerificationEvents {
public:
    explicit CliVerificationEvents(bool terminal) : m_terminal(terminal) {}

    void OnProgress(const device::VerificationProgress& p) override {
        if (!m_terminal) return;
        const int width = 30;
        const int filled = p.pointTotal ? p.pointIndex * width / p.pointTotal : 0;
        std::string state = device::VerificationPhaseName(p.phase);
        if (p.phase == device::VerificationPhase::kSettling ||
            p.phase == device::VerificationPhase::kDwelling) {
            char left[48];
            std::snprintf(left, sizeof left, " (%.0f s left)", std::ceil(p.secondsLeft));
            state += left;
        }
        std::lock_guard lock(m_mutex);
        std::fprintf(stderr, "\r[%s%s] %d/%d %s PSI %s, cycle %d: %-32s",
                     std::string(filled, '#').c_str(), std::string(width - filled, '.').c_str(),
                     p.pointIndex + 1, p.pointTotal, Psi(p.point.setpointPsi).c_str(),
                     p.point.up ? "up" : "down", p.point.cycle, state.c_str());
        std::fflush(stderr);
        m_barShown = true;
    }

    void OnManualPrompt(const device::ManualPrompt& prompt) override {
        {
            std::lock_guard lock(m_mutex);
            EndBar();
            std::fprintf(stderr, "%s: ", prompt.text.c_str());
            std::fflush(stderr);
        }
        ++promptsPending;
        WakeWaiter();
    }

    void OnPoint(const device::VerificationPoint& p) override {
        std::lock_guard lock(m_mutex);
        EndBar();
        ++m_done;
        if (!p.settled) {
            std::fprintf(stderr, "zelctl: %s PSI (%s, cycle %d) did not settle in %.1f s\n",
                         Psi(p.setpointPsi).c_str(), p.up ? "up" : "down", p.cycle,
                         p.settleSeconds);
            return;
        }
        std::fprintf(stderr,
                     "zelctl: point %d: %s PSI (%s, cycle %d): reference %.6f, mean %.6f, "
                     "error %+.6f PSI (%+.4f %% FS), settled in %.1f s\n",
                     m_done, Psi(p.setpointPsi).c_str(), p.up ? "up" : "down", p.cycle,
                     p.referencePsi, p.meanPsi, p.errorPsi, p.errorPctFs, p.settleSeconds);
    }

    void OnFinished(const device::VerificationResult&) override {
        {
            std::lock_guard lock(m_mutex);
            EndBar();
        }
        WakeWaiter();
    }

    std::atomic<int> promptsPending{0};

private:
    void EndBar() {
        if (m_barShown) std::fputs("\n", stderr);
        m_barShown = false;
    }

    bool m_terminal;
    std::mutex m_mutex;
    bool m_barShown = false;
    int m_done = 0;
};

// Reads the manual reference: one number a line on standard input, a line only once the run
// has asked for it (a file or pipe may hold them all from the start).
class StdinAnswers {
public:
    StdinAnswers(device::VerificationWorker& worker, CliVerificationEvents& events)
        : m_worker(worker), m_events(events), m_thread([this] { Loop(); }) {}
    ~StdinAnswers() {
        m_quit = true;
        m_thread.join();
    }
    std::atomic<bool> ended{false};

private:
    bool ReadLine(std::string* line) {
        line->clear();
        while (!m_quit) {
            if (const size_t lf = m_buffer.find('\n'); lf != std::string::npos) {
                *line = m_buffer.substr(0, lf);
                m_buffer.erase(0, lf + 1);
                return true;
            }
            pollfd p{STDIN_FILENO, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char chunk[256];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n <= 0) {
                if (m_buffer.empty()) return false;
                *line = m_buffer;
                m_buffer.clear();
                return true;
            }
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
        return false;
    }

    void Loop() {
        while (!m_quit) {
            if (m_events.promptsPending == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            std::string line;
            if (!ReadLine(&line)) {
                if (m_quit) return;
                ended = true;
                m_worker.Stop("standard input ended before the reference's reading was typed");
                return;
            }
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            const size_t first = line.find_first_not_of(" \t+");
            double psi = 0;
            const char* begin = line.data() + (first == std::string::npos ? line.size() : first);
            auto [ptr, ec] = std::from_chars(begin, line.data() + line.size(), psi);
            if (ec != std::errc() || ptr != line.data() + line.size() || !std::isfinite(psi)) {
                std::fprintf(stderr, "zelctl: \"%s\" is not a number; type the reading in PSI: ",
                             line.c_str());
                std::fflush(stderr);
                continue;
            }
            --m_events.promptsPending;
            m_worker.AnswerManual(psi);
        }
    }

    device::VerificationWorker& m_worker;
    CliVerificationEvents& m_events;
    std::atomic<bool> m_quit{false};
    std::string m_buffer;
    std::thread m_thread;
};

bool WriteOutput(const std::string& path, const std::string& what, const std::string& text) {
    if (path.empty()) return true;
    std::string reason;
    if (platform::WriteWholeFile(path, text, &reason)) return true;
    std::fprintf(stderr, "zelctl: the %s %s could not be written: %s\n", what.c_str(), path.c_str(),
                 reason.c_str());
    return false;
}

std::string FiguresText(const device::VerificationResult& result) {
    std::string text;
    char line[160];
    for (const auto& f : result.figures) {
        std::snprintf(line, sizeof line, "%-22s %12s PSI %10s %% FS", f.name,
                      f.psi ? std::to_string(*f.psi).c_str() : "n/a",
                      f.pctFs ? std::to_string(*f.pctFs).c_str() : "n/a");
        text += line;
        if (f.tolerancePctFs) {
            std::snprintf(line, sizeof line, "  tolerance %g %% FS: %s", *f.tolerancePctFs,
                          !f.pass   ? "n/a"
                          : *f.pass ? "pass"
                                    : "fail");
            text += line;
        }
        text += "\n";
    }
    text += std::string("verdict ") + device::VerdictName(result.verdict);
    if (!result.incompleteReason.empty()) text += " (" + result.incompleteReason + ")";
    return text + "\n";
}

}  // namespace

int RunVerify(const Options& options) {
    CatchStopSignals();
    std::string planText, reason;
    {
        std::ifstream in(options.planPath, std::ios::binary);
        std::ostringstream text;
        if (in) text << in.rdbuf();
        if (!in) {
            std::fprintf(stderr, "zelctl: the plan %s cannot be read: %s\n",
                         options.planPath.c_str(), std::strerror(errno));
            return kExitUsage;
        }
        planText = text.str();
    }
    device::VerificationPlan plan;
    if (!device::ParseVerificationPlan(planText, &plan, &reason)) {
        std::fprintf(stderr, "zelctl: the plan %s is refused: %s\n", options.planPath.c_str(),
                     reason.c_str());
        return kExitUsage;
    }
    if (!FilesWritable({{options.reportPath, "report"},
                        {options.jsonPath, "JSON file"},
                        {options.logPath, "log file"}}))
        return kExitUsage;
    InfluxReport influxReport;
    std::unique_ptr<tsdb::Writer> influx;
    if (!options.influxUrl.empty() && !(influx = StartInfluxWriter(options, &influxReport)))
        return kExitUsage;

    // --simulate --controller sim: the simulated controller, started before the simulated
    // transducer and stopped after it, holds the transducer's true pressure.
    sim::ControllerOptions controllerOptions;
    controllerOptions.initialPsi = options.simErrors.pressurePsi.value_or(sim::kPminPsi);
    controllerOptions.tauS = options.simControllerTauS;
    controllerOptions.noisePsi = options.simControllerNoisePsi;
    controllerOptions.seed = options.simSeed ^ 0x5bd1e995u;  // not the sensor's noise
    controllerOptions.identity =
        std::string("zel-sim,simulated pressure controller,0,") + res::kVersion;
    sim::PressureController simulatedController(controllerOptions);
    Options sessionOptions = options;
    std::string controllerUrl = options.controllerUrl;
    if (controllerUrl == "sim") {
        if (!simulatedController.Start("127.0.0.1", 0, &reason)) {
            std::fprintf(stderr, "zelctl: the simulated controller could not start: %s\n",
                         reason.c_str());
            return kExitUsage;
        }
        controllerUrl = "tcp://" + simulatedController.Address();
        sessionOptions.simTruePressure = [&simulatedController](double time) {
            return simulatedController.TruePressureAt(time);
        };
    }
    Session session;
    if (int code = session.Open(sessionOptions); code != kExitDone) return code;

    std::unique_ptr<device::VerificationReference> reference;
    if (options.manualReference) {
        reference = std::make_unique<device::ManualReference>();
    } else {
        auto controller = device::ConnectController(controllerUrl, plan.controller, &reason);
        if (!controller) {
            std::fprintf(stderr, "zelctl: the controller at %s does not answer: %s\n",
                         controllerUrl.c_str(), reason.c_str());
            return kExitUsage;
        }
        reference = std::move(controller);
    }

    const int readout = session.ReadEeprom();
    if (readout != kExitDone && readout != kExitEepromUnconfirmed) return readout;

    const bool terminal = ::isatty(STDERR_FILENO);
    CliVerificationEvents events(terminal);
    device::VerificationWorker worker(plan, *reference, &events);
    std::optional<tsdb::ReadingFeed> influxFeed;
    if (influx) {
        session.core.AddListener(&influxFeed.emplace(
            *influx,
            InfluxTags{session.portPath, device::SerialNumberText(session.core.Eeprom().image)}));
    }
    std::optional<device::VerificationFeed> feed;
    feed.emplace(session.core, worker);
    std::unique_ptr<StdinAnswers> answers;
    if (options.manualReference) answers = std::make_unique<StdinAnswers>(worker, events);

    session.core.StartTimer();
    if (!session.core.StartRun({options.logPath, false})) {
        std::fprintf(stderr, "zelctl: the log file %s could not be opened; going on without it\n",
                     options.logPath.c_str());
    }
    worker.Start();

    bool stopSent = false;
    int reconnectExit = kExitDone;
    while (!worker.Finished()) {
        if (StopRequested() && !stopSent) {
            worker.Stop(StopSignal() != 0 ? "stopped by a signal" : "stopped");
            stopSent = true;
        }
        if (!stopSent && session.PortGone()) {
            if (options.reconnectSeconds) {
                // Resumed, the feed has told the worker of the gap; abandoned, it has stopped it.
                reconnectExit = Reconnect(session, options);
                if (reconnectExit == kExitDone) continue;
            }
            worker.Stop("the port went away");
            stopSent = true;
        }
        WaitForWake(200);
    }
    worker.WaitFinished(std::chrono::seconds(5));
    answers.reset();

    const bool suspended = session.core.Suspended();
    const device::RunEnd end =
        suspended ? device::RunEnd{session.core.Ledger(), false, {}} : session.core.StopRun();
    if (end.logCloseFailed) std::fprintf(stderr, "zelctl: %s\n", end.logCloseFailure.c_str());
    if (!suspended && !session.PortGone()) session.dialog.CloseSequence();
    feed.reset();
    if (influxFeed) session.core.RemoveListener(&*influxFeed);
    if (influx) influx->Finish();

    device::VerificationReport report = device::ReportOf(
        worker.Result(), session.core,
        {options.simulate ? "simulated" : session.portPath, session.identity});
    report.ledger = end.ledger;

    std::fputs(FiguresText(report.result).c_str(), stdout);
    std::fflush(stdout);
    const bool written =
        WriteOutput(options.jsonPath, "JSON file", device::VerificationJson(report)) &
        WriteOutput(options.reportPath, "report", device::VerificationHtml(report));
    if (StopSignal() == SIGINT) return kExitInterrupted;
    if (StopSignal() != 0) return 128 + StopSignal();
    if (!written) return kExitOutputFailed;
    switch (report.result.verdict) {
        case device::Verdict::kPass:
            return kExitDone;
        case device::Verdict::kFail:
            return kExitVerifyFailed;
        case device::Verdict::kIncomplete:
            break;
    }
    return kExitVerifyIncomplete;
}

}  // namespace cli
