// zelctl acquire --influx through the real executable: the errors found before the read-out.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "sim/simulator.h"
#include "tests/support/fake_http_server.h"
#include "tests/support/scratch_files.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using test_files::ScratchDir;

// A port of 127.0.0.1 that nothing listens on while the socket lives: bound, never listening.
struct SilentPort {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port = 0;
    SilentPort() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~SilentPort() { ::close(fd); }
};

TEST(ZelctlInflux, A_url_that_is_not_http_or_options_without_influx_are_usage_errors) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--influx", "ftp://db:8428/write"},
             {"--influx", "db:8428/write"},
             {"--influx", "http:///write"},
             {"--spool", "/tmp/x"},
             {"--influx-token-file", "/tmp/x"},
             {"--flush-timeout", "3"},
             {"--influx-no-gzip"},
             {"--influx", "http://db:8428/write", "--flush-timeout", "-1"},
             {"--influx", "http://db:8428/write", "--influx-token", "secret"},
         }) {
        SCOPED_TRACE(::testing::PrintToString(args));
        std::vector<std::string> argv = {ZELCTL_PATH, "acquire", "--simulate"};
        argv.insert(argv.end(), args.begin(), args.end());
        const ChildResult r = RunChild(argv);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("\nTry 'zelctl acquire --help'"), std::string::npos) << r.err;
    }
    const ChildResult r = RunChild({ZELCTL_PATH, "acquire", "--simulate", "--influx", "ftp://db"});
    EXPECT_EQ(r.err.rfind("zelctl: --influx needs an http:// or https:// URL", 0), 0u) << r.err;
}

TEST(ZelctlInflux, A_refused_token_ends_zelctl_with_2_before_the_read_out) {
    FakeHttpServer server([](const FakeHttpServer::Request&) {
        return FakeHttpServer::Answer{401, "{\"message\":\"unauthorized access\"}"};
    });
    const std::string dir = ScratchDir("token");
    std::ofstream(dir + "/token") << "wrong-token\n";
    fs::permissions(dir + "/token", fs::perms::owner_read | fs::perms::owner_write);
    sim::Simulator simulator;
    ASSERT_TRUE(simulator.Start());
    const auto before = Clock::now();
    const ChildResult r =
        RunChild({ZELCTL_PATH, "acquire", "--port", simulator.PortPath(), "--influx", server.Url(),
                  "--influx-token-file", dir + "/token", "--spool", dir + "/spool"});
    EXPECT_LT(Clock::now() - before, 4s);  // at once: the connect time-out is 5 s
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "zelctl: the database at " + server.Url() +
                         " refused the token (HTTP 401: {\"message\":\"unauthorized access\"})\n");
    EXPECT_TRUE(simulator.Frames().empty()) << "nothing went to the transducer";
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_NE(server.Requests()[0].head.find("\r\nAuthorization: Token wrong-token\r\n"),
              std::string::npos);
    fs::remove_all(dir);
}

TEST(ZelctlInflux, A_token_file_every_user_may_read_is_warned_about_with_its_mode_and_the_fix) {
    FakeHttpServer server([](const FakeHttpServer::Request&) { return FakeHttpServer::Answer{}; });
    const std::string dir = ScratchDir("open-token");
    const std::string token = dir + "/token";
    std::ofstream(token) << "secret\n";
    fs::permissions(token, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);
    const ChildResult r =
        RunChild({ZELCTL_PATH, "acquire", "--simulate", "--count", "1", "--influx", server.Url(),
                  "--influx-token-file", token, "--spool", dir + "/spool"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.rfind("zelctl: warning: the token file " + token +
                              " may be read by every user (mode 0644); keep it to its owner: "
                              "chmod 600 " +
                              token + "\n",
                          0),
              0u)
        << r.err;
    fs::remove_all(dir);
}

TEST(ZelctlInflux, A_token_file_that_cannot_be_read_or_a_spool_in_use_end_zelctl_with_2) {
    const std::string dir = ScratchDir("files");
    FakeHttpServer server([](const FakeHttpServer::Request&) { return FakeHttpServer::Answer{}; });
    ChildResult r = RunChild({ZELCTL_PATH, "acquire", "--simulate", "--influx", server.Url(),
                              "--influx-token-file", dir + "/none", "--spool", dir + "/spool"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "zelctl: the token file " + dir + "/none cannot be read\n");

    std::ofstream(dir + "/file") << "x";
    r = RunChild({ZELCTL_PATH, "acquire", "--simulate", "--influx", server.Url(), "--spool",
                  dir + "/file/spool"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.rfind("zelctl: the spool " + dir + "/file/spool cannot be created", 0), 0u)
        << r.err;
    EXPECT_TRUE(server.Requests().empty());
    fs::remove_all(dir);
}

TEST(ZelctlInflux, Nothing_listening_is_told_at_once_and_the_readings_wait_in_the_spool_exit_9) {
    SilentPort silent;
    const std::string url = "http://127.0.0.1:" + std::to_string(silent.port) + "/write";
    const std::string dir = ScratchDir("silent");
    sim::Simulator simulator;
    ASSERT_TRUE(simulator.Start());
    size_t framesAtWarning = 0;
    std::string err;
    const ChildResult r =
        RunChild({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1 >/dev/null", ZELCTL_PATH, "acquire",
                  "--port", simulator.PortPath(), "--count", "20", "--influx", url, "--spool",
                  dir + "/spool", "--flush-timeout", "0.5"},
                 [&](int, const std::string& out) {
                     if (framesAtWarning == 0 && out.find("does not answer") != std::string::npos)
                         framesAtWarning = simulator.Frames().size() + 1;
                 });
    EXPECT_EQ(r.exitCode, 9) << r.out;
    EXPECT_GT(framesAtWarning, 0u) << r.out;
    EXPECT_LT(framesAtWarning, 100u) << "told at the start of the read-out, not after it";
    EXPECT_EQ(r.out.rfind("zelctl: warning: the database at " + url +
                              " does not answer (Failed to connect to 127.0.0.1 port " +
                              std::to_string(silent.port),
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find(" readings are left in the spool " + dir + "/spool: "), std::string::npos)
        << r.out;
    fs::remove_all(dir);
}

}  // namespace
