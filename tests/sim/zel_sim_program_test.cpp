#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "device/pressure_formula.h"
#include "host_side_port.h"
#include "scpi_client.h"
#include "sim/calibration.h"
#include "sim/eeprom_image.h"

namespace {

// zel-sim as a child process, its standard output (and standard error, when asked) on a pipe.
class Program {
public:
    explicit Program(std::vector<std::string> args, bool withStderr = false) {
        args.insert(args.begin(), ZEL_SIM_PROGRAM);
        int out[2];
        if (::pipe(out) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            if (withStderr) ::dup2(out[1], 2);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = ::fdopen(out[0], "r");
    }
    ~Program() {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_out) std::fclose(m_out);
    }

    std::string Line() {
        char line[4096];
        if (!m_out || !std::fgets(line, sizeof line, m_out)) return {};
        std::string text = line;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    std::string Rest() {
        std::string text;
        char buffer[4096];
        size_t n;
        while (m_out && (n = std::fread(buffer, 1, sizeof buffer, m_out)) > 0)
            text.append(buffer, n);
        return text;
    }
    void Terminate() { ::kill(m_pid, SIGTERM); }
    // The exit status, or -1 when it did not end normally.
    int Wait() {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    FILE* m_out = nullptr;
};

std::string Hex2(int a) {
    char text[3];
    std::snprintf(text, sizeof text, "%02x", a);
    return text;
}

TEST(ZelSimProgram, Serves_a_host_the_whole_eeprom_then_continuous_output_until_IN) {
    Program program({});
    const std::string path = program.Line();
    ASSERT_FALSE(path.empty());
    SimHost host(path);
    ASSERT_TRUE(host.opened) << path;

    const auto image = sim::DefaultEeprom();
    host.Send("*02IN\r");
    for (int a = 0; a < 256; ++a) {
        host.Send("*01rd" + Hex2(a) + "\r");
        ASSERT_EQ(SimHost::ReplyValue(host.ReadLines(1)), image[a]) << "address " << a;
    }

    host.Send("*01C1\r");
    host.Send("*01C4\r");
    const std::string text = host.ReadFor(1.0);
    host.Send("*01IN\r");
    const auto records = std::count(text.begin(), text.end(), 'P');
    std::printf("zel-sim: %ld pressure records in 1 s\n", static_cast<long>(records));
    EXPECT_EQ(std::count(text.begin(), text.end(), 'T'), 1);
    EXPECT_GE(records, 100);
    EXPECT_LE(records, 200);
    host.ReadFor(0.1);
    EXPECT_EQ(host.ReadFor(0.3), "");

    program.Terminate();
    EXPECT_EQ(program.Wait(), 0);
}

// The host's PSI of one P record, with the T record just before it.
double HostPsi(SimHost& host) {
    auto raw = [&](const std::string& frame) {
        host.Send(frame);
        const std::string record = host.ReadLines(1);
        return std::strtol(record.c_str() + 3, nullptr, 10);
    };
    const long rawT = raw("*01C1\r");
    const long rawP = raw("*01C3\r");
    return device::CalculatePressure(sim::DefaultCoefficients(), device::NormalisePressure(rawP),
                                     device::NormaliseTemperature(rawT));
}

TEST(ZelSimProgram, Its_controller_on_a_chosen_port_sets_the_true_pressure_the_host_sees) {
    Program program({"--controller", "127.0.0.1:0", "--controller-tau-s", "0", "--offset-psi",
                     "0.25", "--pressure", "3"});
    SimHost host(program.Line());
    const std::string address = program.Line();
    ASSERT_TRUE(host.opened);
    ASSERT_EQ(address.rfind("127.0.0.1:", 0), 0u) << address;
    ScpiClient controller(static_cast<uint16_t>(std::stoi(address.substr(10))));
    ASSERT_TRUE(controller.connected);

    EXPECT_NEAR(HostPsi(host), 3.25, 7e-7);  // --pressure is where the controller starts
    controller.Send("SOUR:PRES 11.5");
    EXPECT_EQ(controller.Query("MEAS:PRES?"), "11.5000000");
    EXPECT_NEAR(HostPsi(host), 11.75, 7e-7);
    program.Terminate();
    EXPECT_EQ(program.Wait(), 0);
}

TEST(ZelSimProgram, Makes_the_link_and_removes_it_on_exit) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zel-sim-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto link = dir / "ttyZEL0";
    Program program({"--link", link.string()});
    const std::string path = program.Line();
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
    SimHost host(link.string());
    ASSERT_TRUE(host.opened);
    host.Send("*01C1\r");
    EXPECT_EQ(host.ReadLines(1).substr(0, 3), "T00");
    program.Terminate();
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    std::filesystem::remove_all(dir);
}

TEST(ZelSimProgram, Takes_over_a_stale_link_and_leaves_a_link_another_one_took_over) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zel-sim-restart-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "ttyZEL0").string();
    {
        Program killed({"--link", link});
        ASSERT_FALSE(killed.Line().empty());
    }  // SIGKILL: the link stays, leading nowhere
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    Program first({"--link", link});
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), first.Line());
    Program second({"--link", link});
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), second.Line());
    first.Terminate();
    EXPECT_EQ(first.Wait(), 0);
    SimHost host(link);
    ASSERT_TRUE(host.opened) << "the link of the one still running is left alone";
    host.Send("*01C1\r");
    EXPECT_EQ(host.ReadLines(1).substr(0, 3), "T00");
    EXPECT_EQ(std::filesystem::directory_iterator(dir)->path().string(), link) << "no temporary";
    std::filesystem::remove_all(dir);
}

TEST(ZelSimProgram, Refuses_to_replace_a_file_that_is_no_link) {
    const auto file =
        std::filesystem::temp_directory_path() / ("zel-sim-file-" + std::to_string(::getpid()));
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        std::fclose(f);
    }
    Program program({"--link", file.string()});
    EXPECT_EQ(program.Wait(), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    std::filesystem::remove(file);
}

TEST(ZelSimProgram, Passes_address_filler_and_faults_to_the_simulator) {
    Program program({"--address=05", "--filler", "ab", "--out-of-range"});
    SimHost host(program.Line());
    ASSERT_TRUE(host.opened);
    host.Send("*05C3\r");
    EXPECT_EQ(host.ReadLines(1).substr(0, 3), "Pab");
    host.Send("*05rdb9\r");
    EXPECT_EQ(host.ReadLines(1), "RD=-1\r");
}

TEST(ZelSimProgram, Ends_by_itself_when_the_disconnect_fault_strikes) {
    Program program({"--disconnect-after", "200"});
    SimHost host(program.Line());
    ASSERT_TRUE(host.opened);
    EXPECT_EQ(program.Wait(), 0);
    host.ReadOnce();
    EXPECT_TRUE(host.port.IsGone());
}

TEST(ZelSimProgram, Help_explains_options_wt_records_pattern_and_error_bound) {
    Program program({"--help"});
    const std::string help = program.Rest();
    EXPECT_EQ(program.Wait(), 0);
    for (const char* word : {"--link",
                             "--address",
                             "--filler",
                             "--seed",
                             "--serial",
                             "--raw",
                             "--silent",
                             "--eeprom-delay",
                             "--out-of-range",
                             "--garbage",
                             "--nul",
                             "--split",
                             "--hash-restarts",
                             "--rate",
                             "--disconnect-after",
                             "WTHH=V",
                             "0xB7",
                             "Records:",
                             "Truth:",
                             "PSI",
                             "dropped",
                             "--pressure",
                             "--noise-psi",
                             "--gain",
                             "4x(1 - x)",
                             "-H/2",
                             "--tone-hz",
                             "--controller-tau-s",
                             "STAT:STAB?",
                             "-113,\"Undefined header\""}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

TEST(ZelSimProgram, Rejects_unknown_options_and_bad_values) {
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--filler", "abc"},
                                               {"--rate", "fast"},
                                               {"--eeprom-delay"},
                                               {"--raw=1"},
                                               {"--serial=-1"},
                                               {"--gain", "0"},
                                               {"--tone-psi", "1"},
                                               {"--controller", "x"}}) {
        Program program(args, true);
        const std::string message = program.Rest();
        EXPECT_EQ(program.Wait(), 2) << args[0];
        EXPECT_NE(message.find("\nUsage: zel-sim [OPTION]...\nTry 'zel-sim --help'"),
                  std::string::npos)
            << message;
        EXPECT_EQ(message.find("Faults:"), std::string::npos) << "the short form, not the help";
    }
}

TEST(ZelSimProgram, Version_is_the_project_version) {
    Program program({"--version"});
    const std::string line = program.Line();
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), ZEL_PROJECT_VERSION);
}

}  // namespace
