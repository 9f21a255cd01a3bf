// zelctl through the real executable, against the simulated transducer on a pseudo-terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "tests/support/wait_until.h"
#include "device/c_numbers.h"
#include "device/eeprom_map.h"
#include "device/pressure_formula.h"
#include "serial/serial_port.h"
#include "sim/simulator.h"

namespace {

ChildResult Zelctl(std::vector<std::string> args,
                   const std::function<void(int, const std::string&)>& whileRunning = {}) {
    args.insert(args.begin(), ZELCTL_PATH);
    return RunChild(args, whileRunning);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "zelctl-" + std::to_string(::getpid()) + "-" + name;
}

struct RunningSimulator {
    sim::Simulator simulator;
    explicit RunningSimulator(sim::Options options = {}) : simulator(options) {
        EXPECT_TRUE(simulator.Start());
    }
    std::string path() const { return simulator.PortPath(); }
    std::vector<std::string> Frames() const {
        std::vector<std::string> frames;
        for (const auto& f : simulator.Frames()) frames.push_back(f.frame);
        return frames;
    }
};

std::string Hex2(int byte) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

// The frames after the last C4: the run's stop sequence and the closing stop command.
int StopFramesAfterLastC4(const std::vector<std::string>& frames) {
    int last = -1;
    for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
        if (frames[i] == "*01C4") last = i;
    }
    if (last < 0) return -1;
    int in = 0;
    for (size_t i = static_cast<size_t>(last) + 1; i < frames.size(); ++i) {
        if (frames[i] == "*01IN") ++in;
    }
    return in;
}

// The log's readings (TAB + value each), time lines skipped.
std::vector<std::string> LogValues(const std::string& log) {
    std::vector<std::string> values;
    for (const auto& line : Lines(log)) {
        if (!line.empty() && line[0] == '\t') values.push_back(line.substr(1));
    }
    return values;
}

// One reading as a format carries it.
struct FormattedReading {
    std::string psi;  // as written
    long rawP = 0, rawT = 0;
    double seconds = 0;  // since the start of the run
    double wall = 0;     // seconds since the epoch
};

// RFC 4180: fields separated by commas, a quoted field may hold commas and doubled quotes.
std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// "2026-12-09T06:20:41.123Z" as seconds since the epoch; -1 when it is not that form.
double IsoUtcSeconds(const std::string& text) {
    std::tm t{};
    int millis = 0, end = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &t.tm_year, &t.tm_mon,
                    &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &millis, &end) != 7 ||
        end != static_cast<int>(text.size()) || text.size() != 24) {
        return -1;
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return static_cast<double>(timegm(&t)) + millis / 1000.0;
}

// InfluxDB line protocol: measurement, tags, fields (float, integer "i", string, boolean) and an
// integer time stamp, with backslash escapes. Returns false when a line breaks the grammar.
bool ParseLineProtocol(const std::string& line, std::map<std::string, std::string>* tags,
                       std::map<std::string, std::string>* fields, long long* time) {
    static const std::string name = R"((?:[^\\,= ]|\\.)+)";
    static const std::string value =
        R"((?:-?[0-9]+(?:\.[0-9]+)?(?:[eE][-+]?[0-9]+)?|-?[0-9]+[iu]|"(?:[^"\\]|\\.)*"|t|f|true|false))";
    static const std::regex kLine("^(" + name + ")((?:," + name + "=" + name + ")*) (" + name +
                                  "=" + value + "(?:," + name + "=" + value + ")*) (-?[0-9]+)$");
    static const std::regex kPair("(" + name + ")=(" + name + R"(|"(?:[^"\\]|\\.)*"))");
    std::smatch m;
    if (!std::regex_match(line, m, kLine) || m[1] != "zel_pressure") return false;
    const std::string tagText = m[2], fieldText = m[3];
    for (auto [text, out] : {std::pair{&tagText, tags}, std::pair{&fieldText, fields}}) {
        for (std::sregex_iterator it(text->begin(), text->end(), kPair), e; it != e; ++it)
            (*out)[(*it)[1]] = (*it)[2];
    }
    *time = std::stoll(m[4]);
    return true;
}

// The readings of one `acquire --format` run; false with a trace when a line does not parse.
bool ParseFormatted(const std::string& format, const std::string& out,
                    std::vector<FormattedReading>* readings, std::string* influxPort,
                    std::string* influxSerial) {
    auto lines = Lines(out);
    if (format == "csv") {
        if (lines.empty() || CsvFields(lines[0]) != std::vector<std::string>{
                                                        "time", "seconds", "psi", "raw_p", "raw_t"})
            return false;
        lines.erase(lines.begin());
    }
    for (const auto& line : lines) {
        SCOPED_TRACE(line);
        FormattedReading r;
        if (format == "csv") {
            const auto f = CsvFields(line);
            if (f.size() != 5) return false;
            r = {f[2], std::stol(f[3]), std::stol(f[4]), std::stod(f[1]), IsoUtcSeconds(f[0])};
        } else if (format == "ndjson") {
            const auto j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_discarded() || !j.is_object() || j.size() != 5) return false;
            for (const char* key : {"time", "seconds", "psi", "raw_p", "raw_t"}) {
                if (!j.contains(key)) return false;
            }
            if (!j["time"].is_string() || !j["seconds"].is_number() ||
                !j["psi"].is_number_float() || !j["raw_p"].is_number_integer() ||
                !j["raw_t"].is_number_integer())
                return false;
            r = {device::FormatFixed6(j["psi"].get<double>()), j["raw_p"].get<long>(),
                 j["raw_t"].get<long>(), j["seconds"].get<double>(),
                 IsoUtcSeconds(j["time"].get<std::string>())};
        } else {
            std::map<std::string, std::string> tags, fields;
            long long ns = 0;
            if (!ParseLineProtocol(line, &tags, &fields, &ns) || fields.size() != 3) return false;
            *influxPort = tags["port"];
            *influxSerial = tags["serial"];
            auto integer = [](std::string text) {
                return std::stol(text.substr(0, text.size() - 1));
            };
            r = {fields["psi"], integer(fields["raw_p"]), integer(fields["raw_t"]), 0, ns / 1e9};
        }
        if (r.wall < 0) return false;
        readings->push_back(r);
    }
    return true;
}

}  // namespace

TEST(ZelctlUsage, Bad_usage_exits_2_with_a_message_and_help_exits_0) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"eeprom"},
             {"eeprom", "--simulate", "--port", "/dev/null"},
             {"eeprom", "--simulate", "--tsv", "--json"},
             {"acquire", "--simulate", "--duration", "0"},
             {"acquire", "--simulate", "--count", "x"},
             {"acquire", "--simulate", "--duration", "1", "--count", "2"},
             {"send", "--simulate"},
             {"send", "--simulate", "--wait", "-3", "C1"},
             {"ports", "--tsv"},
             {"eeprom", "--tsv=yes", "--simulate"},
             {"acquire", "--simulate", "--format", "xml"},
             {"send", "--simulate", "--", "-x", "C1"},
             {"stats"},
             {"stats", "run.csv", "--window", "0"},
             {"stats", "run.csv", "more.csv"},
             {"stats", "--simulate", "run.csv"},
         }) {
        SCOPED_TRACE(::testing::PrintToString(args));
        ChildResult r = Zelctl(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.empty());
        // The fault in one line and a pointer to the command's --help; no usage lines.
        const bool command = !args.empty() && args[0] != "frobnicate";
        const std::string name = command ? args[0] + " " : "";
        EXPECT_EQ(r.err.rfind("zelctl: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
        EXPECT_NE(r.err.find("\nTry 'zelctl " + name + "--help' for more information.\n"),
                  std::string::npos)
            << r.err;
    }
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"ports", "--help"},
                                               {"eeprom", "--help"},
                                               {"acquire", "--help"},
                                               {"send", "--help"},
                                               {"stats", "--help"}}) {
        ChildResult r = Zelctl(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.rfind("Usage: zelctl", 0), 0u) << r.out;
    }
}

TEST(ZelctlUsage, Version_is_the_project_version) {
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{"--version"}, {"acquire", "--version"}}) {
        ChildResult r = Zelctl(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.substr(r.out.rfind(' ') + 1), ZEL_PROJECT_VERSION "\n");
    }
}

TEST(ZelctlPorts, Lists_a_given_port_and_says_on_standard_error_which_one_is_in_use) {
    RunningSimulator free, held;
    CSerialPort holder;
    ASSERT_TRUE(holder.Open(held.path()));
    const std::string emptyDev = TempPath("dev");
    std::filesystem::create_directories(emptyDev);  // none of the machine's own devices
    ChildResult r =
        Zelctl({"ports", "--dev-dir", emptyDev, "--port=" + free.path(), "--port", held.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{free.path()});
    EXPECT_EQ(r.err, "zelctl: " + held.path() + " not listed: " + held.path() +
                         " is in use by PID " + std::to_string(::getpid()) + " (cli_tests).\n");
    std::filesystem::remove_all(emptyDev);
}

TEST(ZelctlOpen, A_port_that_cannot_be_opened_exits_3_and_says_why) {
    ChildResult missing = Zelctl({"eeprom", "--port", "/dev/ttyZEL-none"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;

    const std::string file = TempPath("not-a-port");
    std::ofstream(file) << "x";
    for (const std::string& path : {::testing::TempDir(), file, std::string("/dev/null")}) {
        ChildResult r = Zelctl({"send", "--port", path, "C1"});
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_EQ(r.err, "zelctl: " + path + " is not a serial device.\n");
    }
    std::remove(file.c_str());

    RunningSimulator simulator;
    CSerialPort holder;
    ASSERT_TRUE(holder.Open(simulator.path()));
    ChildResult busy = Zelctl({"send", "--port", simulator.path(), "C1"});
    EXPECT_EQ(busy.exitCode, 3);
    EXPECT_NE(busy.err.find("in use"), std::string::npos) << busy.err;
}

TEST(ZelctlEeprom, Tsv_is_the_image_exactly_as_the_EEPROM_page_copies_it) {
    ChildResult r = Zelctl({"eeprom", "--simulate", "--tsv"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto image = sim::DefaultEeprom();
    std::string expected;
    for (int row = 0; row < device::kEepromRows; ++row) {
        expected += device::EepromRows()[row].description;
        expected += std::string("\t") + device::EepromRows()[row].address;
        for (int j = 0; j < 4; ++j) expected += "\t" + Hex2(image[4 * row + j]);
        expected += "\r\n";
    }
    EXPECT_EQ(r.out, expected);
    EXPECT_TRUE(r.err.empty()) << "no progress bar when standard error is not a terminal";
}

TEST(ZelctlEeprom, Json_carries_the_rows_the_decoded_coefficients_and_every_byte_confirmed) {
    ChildResult r = Zelctl({"eeprom", "--simulate", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << r.out;
    ASSERT_EQ(json["rows"].size(), static_cast<size_t>(device::kEepromRows));
    const auto image = sim::DefaultEeprom();
    nlohmann::json checksumRow = {{"description", "Checksum Bytes"}, {"address", "B4"}};
    for (int j = 0; j < 4; ++j) checksumRow["bytes"].push_back(Hex2(image[0xB4 + j]));
    EXPECT_EQ(json["rows"][45], checksumRow);
    const auto coefficients = sim::DefaultCoefficients();
    ASSERT_EQ(json["coefficients"].size(), coefficients.size());
    for (size_t k = 0; k < coefficients.size(); ++k) {
        const char* name = device::EepromRows()[k].description;
        EXPECT_EQ(json["coefficients"][name].get<float>(), coefficients[k]) << name;
    }
    ASSERT_EQ(json["bytes"].size(), 256u);
    ASSERT_EQ(json["confirmed"].size(), 256u);
    for (int a = 0; a < 256; ++a) {
        EXPECT_EQ(json["bytes"][a], Hex2(image[a])) << a;
        EXPECT_EQ(json["confirmed"][a], true) << a;
    }
}

TEST(ZelctlEeprom, A_silent_transducer_exits_4) {
    sim::Options options;
    options.faults.silent = true;
    RunningSimulator simulator(options);
    ChildResult r = Zelctl({"eeprom", "--port", simulator.path()});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(r.err.find("never answered"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST(ZelctlAcquire, Stops_after_the_duration_through_the_stop_sequence_with_the_log_complete) {
    RunningSimulator simulator;
    const std::string log = TempPath("duration.txt");
    ChildResult r = Zelctl(
        {"acquire", "--port", simulator.path(), "--duration", "1.5", "--log", log, "--timestamps"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto printed = Lines(r.out);
    EXPECT_GT(printed.size(), 100u) << "about 150 readings a second";
    EXPECT_EQ(LogValues(ReadFile(log)), printed);
    EXPECT_NE(ReadFile(log).find(":"), std::string::npos) << "time lines";
    EXPECT_GE(StopFramesAfterLastC4(simulator.Frames()), 2);
    EXPECT_FALSE(simulator.simulator.Continuous());
    std::remove(log.c_str());
}

TEST(ZelctlAcquire, A_reader_that_stops_reading_for_a_while_stalls_neither_the_run_nor_the_log) {
    RunningSimulator simulator;
    const std::string log = TempPath("stalled-reader.txt");
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    ::fcntl(out[1], F_SETPIPE_SZ, 4096);  // with stdio's buffer, full after some 140 CSV lines
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string port = simulator.path();
    const char* argv[] = {ZELCTL_PATH, "acquire", "--port", port.c_str(), "--duration", "12",
                          "--format", "csv", "--log", log.c_str(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, ZELCTL_PATH, &actions, nullptr, const_cast<char**>(argv),
                            environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    auto logged = [&] { return LogValues(ReadFile(log)).size(); };
    // Nobody reads standard output yet: the log must go on growing well past the pipe.
    ASSERT_TRUE(WaitUntil([&] { return logged() > 100; }, std::chrono::seconds(30)));
    // The pipe is full within about a second; 300 lines more take two more.
    const size_t before = logged();
    EXPECT_TRUE(WaitUntil([&] { return logged() > before + 300; }, std::chrono::seconds(30)))
        << "the tick waited for the reader";
    std::string printed;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Nothing lost and nothing out of order on the way through the queue.
    std::vector<std::string> psi;
    for (const std::string& line : Lines(printed)) {
        const size_t second = line.find(',', line.find(',') + 1);
        psi.push_back(line.substr(second + 1, line.find(',', second + 1) - second - 1));
    }
    ASSERT_FALSE(psi.empty());
    psi.erase(psi.begin());  // the header
    EXPECT_EQ(psi, LogValues(ReadFile(log)));
    std::remove(log.c_str());
}

TEST(ZelctlAcquire, Each_format_parses_and_carries_the_values_of_the_read_out_lines) {
    const auto image = sim::DefaultEeprom();
    const std::string serial =
        std::to_string(image[0xAC] << 24 | image[0xAD] << 16 | image[0xAE] << 8 | image[0xAF]);
    const auto coefficients = sim::DefaultCoefficients();
    for (const std::string format : {"csv", "ndjson", "influx"}) {
        SCOPED_TRACE(format);
        RunningSimulator simulator;
        const std::string log = TempPath("format.txt");
        const double before =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        ChildResult r = Zelctl({"acquire", "--port", simulator.path(), "--count", "30",
                                "--format=" + format, "--log", log});
        const double after =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        ASSERT_EQ(r.exitCode, 0) << r.err;

        std::vector<FormattedReading> readings;
        std::string port, serialTag;
        ASSERT_TRUE(ParseFormatted(format, r.out, &readings, &port, &serialTag)) << r.out;
        std::vector<std::string> psi;
        for (const auto& reading : readings) psi.push_back(reading.psi);
        EXPECT_EQ(psi, LogValues(ReadFile(log))) << "the same values as the read-out's lines";
        ASSERT_GE(readings.size(), 30u);
        for (size_t i = 0; i < readings.size(); ++i) {
            const auto& reading = readings[i];
            EXPECT_EQ(device::FormatFixed6(device::CalculatePressure(
                          coefficients, device::NormalisePressure(reading.rawP),
                          device::NormaliseTemperature(reading.rawT))),
                      reading.psi)
                << "the raw counts behind reading " << i;
            EXPECT_GE(reading.wall, before - 0.001);
            EXPECT_LE(reading.wall, after + 0.001);
            EXPECT_LE(reading.seconds, after - before);
            if (i > 0) {
                EXPECT_GE(reading.wall, readings[i - 1].wall);
                EXPECT_GE(reading.seconds, readings[i - 1].seconds);
            }
        }
        if (format == "influx") {
            EXPECT_EQ(port, simulator.path());
            EXPECT_EQ(serialTag, serial);
        } else {
            EXPECT_GT(readings.back().seconds, 0);
        }
        std::remove(log.c_str());
    }
}

TEST(ZelctlAcquire, Stops_after_the_count) {
    ChildResult r = Zelctl({"acquire", "--simulate", "--count", "40"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GE(Lines(r.out).size(), 40u);
    EXPECT_LT(Lines(r.out).size(), 400u);
}

TEST(ZelctlAcquire, A_reader_that_closes_the_pipe_ends_the_run_quietly_with_0) {
    ChildResult r =
        RunChild({"/bin/bash", "-c",
                  std::string(ZELCTL_PATH) + " acquire --simulate | head -n 3 >/dev/null; "
                                             "exit ${PIPESTATUS[0]}"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}

TEST(ZelctlAcquire, Ctrl_C_and_SIGTERM_stop_through_the_stop_sequence) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        RunningSimulator simulator;
        const std::string log = TempPath("signal.txt");
        bool sent = false;
        ChildResult r = Zelctl({"acquire", "--port", simulator.path(), "--log", log},
                               [&](int pid, const std::string& out) {
                                   if (!sent && Lines(out).size() >= 50) {
                                       ::kill(pid, signal);
                                       sent = true;
                                   }
                               });
        ASSERT_TRUE(sent);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(LogValues(ReadFile(log)), Lines(r.out));
        EXPECT_GE(StopFramesAfterLastC4(simulator.Frames()), 2);
        std::remove(log.c_str());
    }
}

TEST(ZelctlAcquire, A_port_that_goes_away_exits_5) {
    sim::Options options;
    options.faults.disconnectAfterMs = 7000;  // after the EEPROM read-out, during the run
    RunningSimulator simulator(options);
    ChildResult r = Zelctl({"acquire", "--port", simulator.path()});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_NE(r.err.find("went away"), std::string::npos) << r.err;
    EXPECT_FALSE(r.out.empty()) << "readings before the port went";
}

TEST(ZelctlSend, Frames_list_codes_as_the_list_does_and_sends_other_text_as_typed) {
    RunningSimulator simulator;
    ChildResult c1 = Zelctl({"send", "--port", simulator.path(), "C1"});
    ASSERT_EQ(c1.exitCode, 0) << c1.err;
    EXPECT_EQ(c1.out.substr(0, 1), "T") << c1.out;
    EXPECT_EQ(c1.out.back(), '\n') << "CR shown as a line break";
    ChildResult reset = Zelctl({"send", "--port", simulator.path(), "--wait", "50", "RESET"});
    EXPECT_EQ(reset.exitCode, 0);
    ChildResult manual = Zelctl({"send", "--port", simulator.path(), "--wait", "50", "  c3 "});
    EXPECT_EQ(manual.exitCode, 0);
    EXPECT_EQ(simulator.Frames(), (std::vector<std::string>{"*01C1", "*01IN=RESET", "c3"}));
}

TEST(ZelctlEeprom, Unconfirmed_rows_are_named_and_exit_6_after_the_table) {
    sim::Options options;
    options.faults.doubledBytes.set(0x11);  // every read of it answered twice: row "a4"
    options.faults.byteFaultsEveryRead = true;
    RunningSimulator simulator(options);
    ChildResult r = Zelctl({"eeprom", "--port", simulator.path(), "--tsv"});
    EXPECT_EQ(r.exitCode, 6);
    EXPECT_EQ(Lines(r.out).size(), 64u);
    EXPECT_NE(r.err.find("zelctl: The EEPROM row a4 (10) could not be confirmed"),
              std::string::npos)
        << r.err;
}

TEST(ZelctlAcquire, A_log_that_cannot_be_written_exits_2_before_anything_is_sent) {
    RunningSimulator simulator;
    ChildResult r = Zelctl({"acquire", "--port", simulator.path(), "--log", ::testing::TempDir()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("cannot be written: Is a directory"), std::string::npos) << r.err;
    EXPECT_TRUE(simulator.Frames().empty());
}

TEST(ZelctlAcquire, A_signal_during_the_read_out_ends_it_at_once_and_leaves_the_log) {
    for (auto [signal, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(signal);
        RunningSimulator simulator;
        const std::string log = TempPath("interrupted.txt");
        std::ofstream(log, std::ios::binary) << "an older log\r\n";
        auto sentAt = std::chrono::steady_clock::time_point::max();
        ChildResult r = Zelctl({"acquire", "--port", simulator.path(), "--log", log},
                               [&](int pid, const std::string&) {
                                   if (sentAt == sentAt.max() && simulator.Frames().size() > 20) {
                                       ::kill(pid, signal);
                                       sentAt = std::chrono::steady_clock::now();
                                   }
                               });
        const auto after = std::chrono::steady_clock::now() - sentAt;
        EXPECT_EQ(r.exitCode, code) << r.err;
        EXPECT_LT(after, std::chrono::seconds(1)) << "the read-out would take seconds more";
        EXPECT_LT(simulator.Frames().size(), 257u);
        for (const auto& frame : simulator.Frames())
            EXPECT_TRUE(frame.rfind("*01rd", 0) == 0 || frame == "*02IN") << frame;
        EXPECT_EQ(ReadFile(log), "an older log\r\n");
        std::remove(log.c_str());
    }
}

TEST(ZelctlEeprom, A_port_that_goes_away_during_the_read_out_exits_5_at_once) {
    sim::Options options;
    options.faults.disconnectAfterMs = 1000;
    RunningSimulator simulator(options);
    const auto start = std::chrono::steady_clock::now();
    ChildResult r = Zelctl({"eeprom", "--port", simulator.path()});
    EXPECT_EQ(r.exitCode, 5);
    // The whole read-out would take 5.1 s more.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500));
    EXPECT_NE(r.err.find("went away during the EEPROM read-out"), std::string::npos) << r.err;
}

// Standard output on a full disk, and a log past the file-size limit, as a full disk fails it.
TEST(ZelctlAcquire, A_failed_write_of_the_output_or_the_log_stops_the_run_with_its_own_code) {
    {
        RunningSimulator simulator;
        ChildResult r = RunChild({"/bin/sh", "-c", "exec \"$0\" \"$@\" > /dev/full", ZELCTL_PATH,
                                  "acquire", "--port", simulator.path(), "--duration", "20"});
        EXPECT_EQ(r.exitCode, 8);
        EXPECT_NE(r.err.find("standard output could not be written: No space left on device"),
                  std::string::npos)
            << r.err;
        EXPECT_GE(StopFramesAfterLastC4(simulator.Frames()), 2);
    }
    {
        RunningSimulator simulator;
        const std::string log = TempPath("limited.txt");
        ChildResult r = RunChild({"/usr/bin/prlimit", "--fsize=1000", ZELCTL_PATH, "acquire",
                                  "--port", simulator.path(), "--log", log, "--duration", "20"});
        EXPECT_EQ(r.exitCode, 7);
        EXPECT_NE(r.err.find("The log file " + log + " could not be written: File too large"),
                  std::string::npos)
            << r.err;
        EXPECT_GE(StopFramesAfterLastC4(simulator.Frames()), 2);
        const std::string text = ReadFile(log);
        EXPECT_LE(text.size(), 1000u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "whole lines only";
        const auto logged = LogValues(text);
        const auto shown = Lines(r.out);
        ASSERT_LE(logged.size(), shown.size());
        EXPECT_EQ(logged, std::vector<std::string>(shown.begin(), shown.begin() + logged.size()));
        std::remove(log.c_str());
    }
}
