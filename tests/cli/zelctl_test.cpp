// zelctl through the real executable, against the simulated transducer on a pseudo-terminal.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "device/eeprom_map.h"
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
         }) {
        SCOPED_TRACE(::testing::PrintToString(args));
        ChildResult r = Zelctl(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("zelctl: "), std::string::npos);
        EXPECT_NE(r.err.find("Usage: zelctl"), std::string::npos);
    }
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"ports", "--help"},
                                               {"eeprom", "--help"},
                                               {"acquire", "--help"},
                                               {"send", "--help"}}) {
        ChildResult r = Zelctl(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.rfind("Usage: zelctl", 0), 0u) << r.out;
    }
}

TEST(ZelctlPorts, Lists_a_given_port_and_says_on_standard_error_which_one_is_in_use) {
    RunningSimulator free, held;
    CSerialPort holder;
    ASSERT_TRUE(holder.Open(held.path()));
    const std::string emptyDev = TempPath("dev");
    std::filesystem::create_directories(emptyDev);  // none of the machine's own devices
    ChildResult r =
        Zelctl({"ports", "--dev-dir", emptyDev, "--port", free.path(), "--port", held.path()});
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
        for (int j = 0; j < 4; ++j) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "\t%02X", image[4 * row + j]);
            expected += byte;
        }
        expected += "\r\n";
    }
    EXPECT_EQ(r.out, expected);
    EXPECT_TRUE(r.err.empty()) << "no progress bar when standard error is not a terminal";
}

TEST(ZelctlEeprom, Json_and_the_table_carry_the_decoded_coefficients) {
    ChildResult json = Zelctl({"eeprom", "--simulate", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto coefficients = sim::DefaultCoefficients();
    char a[64];
    std::snprintf(a, sizeof a, "\"A\": %.9g", static_cast<double>(coefficients[0]));
    EXPECT_NE(json.out.find(a), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"description\": \"Checksum Bytes\", \"address\": \"B4\""),
              std::string::npos);
    EXPECT_NE(json.out.find("\"fa6\": "), std::string::npos);
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

TEST(ZelctlAcquire, Stops_after_the_count) {
    ChildResult r = Zelctl({"acquire", "--simulate", "--count", "40"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GE(Lines(r.out).size(), 40u);
    EXPECT_LT(Lines(r.out).size(), 400u);
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
