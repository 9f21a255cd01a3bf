#include "cli/commands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>

#include "cli/influx_setup.h"
#include "cli/reading_formats.h"
#include "cli/run_summary.h"
#include "cli/session.h"
#include "device/c_numbers.h"
#include "device/command_frames.h"
#include "device/device_state.h"
#include "device/eeprom_contents.h"
#include "device/eeprom_map.h"
#include "device/eeprom_row_text.h"
#include "device/pressure_log.h"
#include "device/queued_listener.h"
#include "platform/file_check.h"
#include "platform/whole_file.h"
#include "serial/port_probe.h"
#include "sim/simulator.h"
#include "tsdb/reading_feed.h"

namespace cli {
namespace {

using namespace std::chrono_literals;

void Print(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && errno == EPIPE)
        OutputPipeClosed() = true;
}

// After the data went out: kExitOutputFailed when standard output could not take it (a closed
// pipe is the reader's choice and no failure, also when an earlier write met it and left only
// the stream's error mark).
int FinishOutput() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return kExitDone;
    if (errno == EPIPE || OutputPipeClosed()) return kExitDone;
    std::fprintf(stderr, "zelctl: standard output could not be written: %s\n",
                 std::strerror(errno));
    return kExitOutputFailed;
}

// Shortest text that reads back as the same float, in "C" rules whatever the locale.
std::string CoefficientText(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    std::string text = buffer;
    for (char& c : text) {
        if (c == ',') c = '.';
    }
    return text;
}

// The coefficient as the number its shortest text reads as (JSON has no NaN or infinity: null).
nlohmann::ordered_json JsonNumber(float value) {
    if (!std::isfinite(value)) return nullptr;
    const std::string text = CoefficientText(value);
    double number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

// The table, the coefficients and the bytes are all derived from the read-out's image, as the
// program's EEPROM page is.
void PrintEepromTable(const device::EepromImage& image) {
    std::string out;
    char line[160];
    std::snprintf(line, sizeof line, "%-22s %-7s %-8s %-8s %-8s %-8s\n", "Description", "Address",
                  "Byte1", "Byte2", "Byte3", "Byte4");
    out += line;
    for (int row = 0; row < device::kEepromRows; ++row) {
        const auto cells = device::RowCells(image, row);
        std::snprintf(line, sizeof line, "%-22s %-7s %-8s %-8s %-8s %-8s\n", cells[0].c_str(),
                      cells[1].c_str(), cells[2].c_str(), cells[3].c_str(), cells[4].c_str(),
                      cells[5].c_str());
        out += line;
    }
    out += "\nCoefficients:\n";
    const auto& rows = device::EepromRows();
    const auto coefficients = device::Coefficients(image);
    for (int k = 0; k < device::kCoefficientRows; ++k) {
        out += std::string("  ") + rows[k].description + " = " + CoefficientText(coefficients[k]) +
               "\n";
    }
    Print(out);
}

void PrintEepromTsv(const device::EepromImage& image) {
    std::string out;
    for (int row = 0; row < device::kEepromRows; ++row) {
        const auto cells = device::RowCells(image, row);
        out += device::EepromRowLine({cells.begin(), cells.end()});
    }
    Print(out);
}

void PrintEepromJson(const device::EepromImage& image) {
    const auto& rows = device::EepromRows();
    nlohmann::ordered_json json;
    json["rows"] = nlohmann::ordered_json::array();
    for (int row = 0; row < device::kEepromRows; ++row) {
        const auto cells = device::RowCells(image, row);
        json["rows"].push_back({{"description", cells[0]},
                                {"address", cells[1]},
                                {"bytes", {cells[2], cells[3], cells[4], cells[5]}}});
    }
    json["coefficients"] = nlohmann::ordered_json::object();
    const auto coefficients = device::Coefficients(image);
    for (int k = 0; k < device::kCoefficientRows; ++k)
        json["coefficients"][rows[k].description] = JsonNumber(coefficients[k]);
    json["bytes"] = nlohmann::ordered_json::array();
    json["confirmed"] = nlohmann::ordered_json::array();
    for (int a = 0; a < device::kEepromBytes; ++a) {
        json["bytes"].push_back(device::ByteText(image, a));
        json["confirmed"].push_back(static_cast<bool>(image.confirmed[a]));
    }
    // Byte texts are ASCII; anything else would be shown as U+FFFD rather than break the JSON.
    Print(json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

// The Command Inquiry list's items by their code; -1 for a manual command.
int ListIndexOf(const std::string& text) {
    static const char* const kCodes[] = {"C1", "C2", "C3", "C4", "IN", "RESET"};
    for (int i = 0; i < device::kListCommandCount; ++i) {
        if (text == kCodes[i]) return i;
    }
    return -1;
}

}  // namespace

int Reconnect(Session& session, const Options& options) {
    const auto step = session.Reconnect(*options.reconnectSeconds);
    if (!step) return StopRequested() ? kExitInterrupted : kExitPortGone;
    const std::string rows = device::RowNames(step->check.rows);
    switch (step->outcome) {
        case device::ReconnectStep::kResumed:
            std::fprintf(stderr,
                         "zelctl: the port %s is back after %s s with the same transducer; "
                         "the run goes on\n",
                         session.portPath.c_str(), device::FormatFixed(step->check.gapSeconds, 1).c_str());
            if (step->check.logNotOpened) {
                std::fprintf(stderr,
                             "zelctl: the log file %s could not be opened again; going on "
                             "without it\n",
                             options.logPath.c_str());
            }
            return kExitDone;
        case device::ReconnectStep::kOtherTransducer:
            std::fprintf(stderr,
                         "zelctl: another transducer is on %s: its EEPROM differs in %s; the "
                         "run stays stopped\n",
                         session.portPath.c_str(), rows.c_str());
            return kExitOtherTransducer;
        case device::ReconnectStep::kUnconfirmed:
            std::fprintf(stderr,
                         "zelctl: the transducer on %s could not be confirmed as the same (%s); "
                         "the run stays stopped\n",
                         session.portPath.c_str(), rows.c_str());
            return kExitOtherTransducer;
        case device::ReconnectStep::kNoAnswer:
        case device::ReconnectStep::kWaitAgain:
            if (StopRequested()) return kExitInterrupted;
            std::fprintf(stderr, "zelctl: the transducer on %s never answered\n",
                         session.portPath.c_str());
            return kExitNoAnswer;
    }
    return kExitNoAnswer;
}

namespace {

// The run's statistics and ledger (and what --influx sent): into --summary FILE as JSON, else
// for a person on a terminal.
bool WriteSummary(const Options& options, const device::MeasurementSession& core,
                  const device::RunLedger& ledger, const tsdb::Counts* influx) {
    const device::Figures figures = core.Statistics(device::StatsWindow::kWholeRun);
    if (options.summaryPath.empty()) {
        if (::isatty(STDERR_FILENO)) std::fputs(RunSummaryText(figures, ledger).c_str(), stderr);
        return true;
    }
    nlohmann::ordered_json json = RunSummaryJson(figures, ledger);
    if (influx) {
        json["sent"] = influx->sent;
        json["spooled"] = influx->spooled;
        json["rejected"] = influx->rejected;
        json["sent_bytes"] = influx->wireBytes;
        json["line_protocol_bytes"] = influx->bodyBytes;
    }
    const std::string text = json.dump(2) + "\n";
    std::string reason;
    if (platform::WriteWholeFile(options.summaryPath, text, &reason)) return true;
    std::fprintf(stderr, "zelctl: the summary file %s could not be written: %s\n",
                 options.summaryPath.c_str(), reason.c_str());
    return false;
}

}  // namespace

int RunPorts(const Options& options) {
    std::vector<std::string> extra = options.ports;
    std::unique_ptr<sim::Simulator> simulator;
    if (options.simulate) {
        std::string path;
        simulator = StartSimulator(options, &path);
        if (!simulator) return kExitPortNotOpened;
        extra.insert(extra.begin(), path);
    }
    serial::ProbeConfig config;
    config.extraPorts = extra;
    if (!options.devDir.empty()) config.devDir = options.devDir;
    serial::ProbeResult result = serial::ProbePorts(config);
    // The name stays the whole first column, so that scripts reading it keep working.
    for (size_t i = 0; i < result.names.size(); ++i) {
        const std::string& adapter = i < result.adapters.size() ? result.adapters[i] : "";
        std::printf("%s%s%s\n", result.names[i].c_str(), adapter.empty() ? "" : "\t",
                    adapter.c_str());
    }
    std::fflush(stdout);
    for (const auto* group : {&result.denied, &result.inUse}) {
        for (const auto& port : *group) {
            std::fprintf(stderr, "zelctl: %s not listed: %s\n", port.name.c_str(),
                         port.reason.c_str());
        }
    }
    return kExitDone;
}

int RunEeprom(const Options& options) {
    CatchStopSignals();
    Session session;
    if (int code = session.Open(options); code != kExitDone) return code;
    const int readout = session.ReadEeprom();
    if (readout != kExitDone && readout != kExitEepromUnconfirmed) return readout;
    if (options.tsv) {
        PrintEepromTsv(session.core.Eeprom().image);
    } else if (options.json) {
        PrintEepromJson(session.core.Eeprom().image);
    } else {
        PrintEepromTable(session.core.Eeprom().image);
    }
    const int output = FinishOutput();
    return output != kExitDone ? output : readout;
}

bool FilesWritable(std::initializer_list<std::pair<std::string, const char*>> files) {
    for (const auto& [path, what] : files) {
        std::string reason;
        if (!path.empty() && !platform::CanWriteFile(path, &reason)) {
            std::fprintf(stderr, "zelctl: the %s %s cannot be written: %s\n", what, path.c_str(),
                         reason.c_str());
            return false;
        }
    }
    return true;
}

namespace {

// How the acquisition's wait ended: the port gone for good, or what the reconnect gave.
struct AcquireEnd {
    bool portGone = false;
    int reconnectExit = kExitDone;
};

// Woken by what ends the run (a signal, a failed write, the port gone, the count reached),
// otherwise asleep until the duration is over. A port gone is waited for with --reconnect.
AcquireEnd WaitForRunEnd(Session& session, const Options& options,
                         const ReadingsPrinter& printer) {
    const auto start = std::chrono::steady_clock::now();
    AcquireEnd end;
    while (!StopRequested()) {
        if (session.PortGone()) {
            if (options.reconnectSeconds) {
                end.reconnectExit = Reconnect(session, options);
                if (end.reconnectExit == kExitDone) continue;
                if (end.reconnectExit == kExitPortGone) end.portGone = true;
                if (end.reconnectExit == kExitInterrupted) end.reconnectExit = kExitDone;  // as Stop
                break;
            }
            end.portGone = true;
            break;
        }
        if (options.count && printer.printedReadings >= *options.count) break;
        int timeoutMs = -1;
        if (options.durationSeconds) {
            const auto left = std::chrono::duration<double>(*options.durationSeconds) -
                              (std::chrono::steady_clock::now() - start);
            if (left <= 0s) break;
            const double ms = std::chrono::duration<double, std::milli>(left).count();
            timeoutMs = static_cast<int>(std::ceil(std::min(ms, 60'000.0)));
        }
        WaitForWake(timeoutMs);
    }
    return end;
}

}  // namespace

int RunAcquire(const Options& options) {
    CatchStopSignals();
    if (!FilesWritable({{options.logPath, "log file"}, {options.summaryPath, "summary file"}}))
        return kExitUsage;
    // --influx: the URL, the token and the spool checked before the read-out as well.
    InfluxReport influxReport;
    std::unique_ptr<tsdb::Writer> influx;
    if (!options.influxUrl.empty() && !(influx = StartInfluxWriter(options, &influxReport)))
        return kExitUsage;
    Session session;
    if (int code = session.Open(options); code != kExitDone) return code;
    const int readout = session.ReadEeprom();
    if (readout != kExitDone && readout != kExitEepromUnconfirmed) return readout;
    ReadingsPrinter printer;
    printer.format = options.format;
    printer.tags = {session.portPath, device::SerialNumberText(session.core.Eeprom().image)};
    if (options.count) printer.stopAfterReadings = *options.count;
    // Before the printer, which may end the run at --count: the database gets that step too.
    std::optional<tsdb::ReadingFeed> feed;
    if (influx) session.core.AddListener(&feed.emplace(*influx, printer.tags));
    // Standard output may be a pipe whose reader stops for a while: it gets the readings on a
    // thread of its own, so that the tick, the log, the database and the statistics go on.
    device::QueuedListener queuedPrinter(printer);
    session.core.AddListener(&queuedPrinter);
    if (options.format == ReadingsFormat::Csv) Print(device::CsvHeader());
    if (!session.core.StartTimer()) std::fputs("zelctl: Error 01\n", stderr);

    if (!session.core.StartRun({options.logPath, options.timestamps})) {
        std::fprintf(stderr, "zelctl: the log file %s could not be opened; going on without it\n",
                     options.logPath.c_str());
    }

    const AcquireEnd ended = WaitForRunEnd(session, options, printer);

    const bool suspended = session.core.Suspended();
    const device::RunEnd end = suspended ? device::RunEnd{session.core.Ledger(), false, {}}
                                         : session.core.StopRun();
    bool logFailed = session.messages.logFailed;
    if (end.logCloseFailed) {
        std::fprintf(stderr, "zelctl: %s\n", end.logCloseFailure.c_str());
        logFailed = true;
    }
    if (!suspended) session.dialog.CloseSequence();
    session.core.RemoveListener(&queuedPrinter);
    queuedPrinter.Finish();
    if (feed) session.core.RemoveListener(&*feed);
    const tsdb::Counts influxCounts = influx ? influx->Finish() : tsdb::Counts{};
    if (end.ledger.fellBehind) {
        std::fprintf(stderr, "zelctl: warning: %s\n",
                     device::StopDiscardedText(end.ledger.drainedBytes).c_str());
    }
    const int output = FinishOutput();
    const bool summaryWritten =
        WriteSummary(options, session.core, end.ledger, influx ? &influxCounts : nullptr);
    if (ended.portGone) {
        std::fprintf(stderr, "zelctl: the port went away during the run\n");
        return kExitPortGone;
    }
    if (ended.reconnectExit != kExitDone) return ended.reconnectExit;
    if (logFailed) return kExitLogFailed;
    if (printer.outputFailed || output != kExitDone || !summaryWritten) return kExitOutputFailed;
    if (influxCounts.spooled > 0 || influxCounts.lost > 0) return kExitReadingsSpooled;
    return readout;
}

int RunSend(const Options& options) {
    Session session;
    if (int code = session.Open(options); code != kExitDone) return code;
    int index = ListIndexOf(options.sendText);
    if (index >= 0) {
        session.page.SendListCommand(index);
    } else {
        session.page.SetManualCommand(options.sendText);
        session.page.SendManualCommand();
    }
    // Collect what arrives within the wait, through the same read the monitor uses.
    std::string answer;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.waitMs);
    do {
        session.dialog.CollectResponse();
        answer += device::ResponseTextCopy();
        if (session.PortGone()) break;
        std::this_thread::sleep_for(5ms);
    } while (std::chrono::steady_clock::now() < deadline);
    session.dialog.CollectResponse();
    answer += device::ResponseTextCopy();

    std::string out;
    for (char c : answer) out += (c == '\r') ? '\n' : c;
    Print(out);
    std::fflush(stdout);
    if (session.PortGone()) {
        std::fprintf(stderr, "zelctl: the port went away\n");
        return kExitPortGone;
    }
    return kExitDone;
}

}  // namespace cli
