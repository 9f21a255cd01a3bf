#include "serial/port_probe.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/pseudo_terminal.h"
#include "serial/serial_port.h"

namespace fs = std::filesystem;
using serial::ProbeConfig;
using serial::ProbePorts;

namespace {

// A directory standing in for /dev and /sys/class/tty, holding links to pseudo-terminals.
struct FakeDev {
    fs::path root = fs::temp_directory_path() / ("zel-probe-" + std::to_string(::getpid()));
    FakeDev() {
        fs::remove_all(root);
        fs::create_directories(root / "dev");
        fs::create_directories(root / "sys");
    }
    ~FakeDev() { fs::remove_all(root); }
    std::string dev() const { return (root / "dev").string(); }
    std::string sys() const { return (root / "sys").string(); }
    std::string Link(const std::string& name, const std::string& target) {
        fs::create_symlink(target, root / "dev" / name);
        return (root / "dev" / name).string();
    }
    void SysType(const std::string& name, int type) {
        fs::create_directories(root / "sys" / name);
        std::ofstream(root / "sys" / name / "type") << type << "\n";
    }
    ProbeConfig Config() const {
        ProbeConfig config;
        config.devDir = dev();
        config.sysClassTty = sys();
        return config;
    }
};

}  // namespace

TEST(PortProbe, Lists_ports_from_the_command_line_first_then_families_in_ascending_order) {
    FakeDev dev;
    platform::PseudoTerminal extra, s3, usb0, usb1;
    ASSERT_TRUE(extra.Open(false) && s3.Open(false) && usb0.Open(false) && usb1.Open(false));
    std::string p1 = dev.Link("ttyUSB1", usb1.SlavePath());
    std::string p0 = dev.Link("ttyUSB0", usb0.SlavePath());
    std::string ps = dev.Link("ttyS3", s3.SlavePath());
    dev.SysType("ttyS3", 4);  // a real 16550A

    ProbeConfig config = dev.Config();
    config.extraPorts = {extra.SlavePath()};
    auto result = ProbePorts(config);
    EXPECT_EQ(result.names, (std::vector<std::string>{extra.SlavePath(), ps, p0, p1}));
    EXPECT_TRUE(result.denied.empty());
}

TEST(PortProbe, Skips_a_ttyS_placeholder_without_a_UART) {
    FakeDev dev;
    platform::PseudoTerminal s0, s1;
    ASSERT_TRUE(s0.Open(false) && s1.Open(false));
    dev.Link("ttyS0", s0.SlavePath());
    std::string real = dev.Link("ttyS1", s1.SlavePath());
    dev.SysType("ttyS0", 0);
    dev.SysType("ttyS1", 4);
    EXPECT_EQ(ProbePorts(dev.Config()).names, std::vector<std::string>{real});
}

TEST(PortProbe, Does_not_list_a_port_in_use_here_or_elsewhere) {
    FakeDev dev;
    platform::PseudoTerminal held, free;
    ASSERT_TRUE(held.Open(false) && free.Open(false));
    CSerialPort holder;
    ASSERT_TRUE(holder.Open(held.SlavePath()));
    ProbeConfig config = dev.Config();
    config.extraPorts = {held.SlavePath(), free.SlavePath()};
    EXPECT_EQ(ProbePorts(config).names, std::vector<std::string>{free.SlavePath()});
    EXPECT_TRUE(holder.IsOpen()) << "probing must not disturb the held port";
}

TEST(PortProbe, Never_configures_or_writes_to_a_port) {
    platform::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open(false));
    termios before{}, after{};
    ASSERT_EQ(::tcgetattr(pty.MasterFd(), &before), 0);
    ProbeConfig config;
    config.devDir = "/nonexistent-dev";
    config.extraPorts = {pty.SlavePath()};
    EXPECT_EQ(ProbePorts(config).names.size(), 1u);
    ASSERT_EQ(::tcgetattr(pty.MasterFd(), &after), 0);
    EXPECT_EQ(before.c_iflag, after.c_iflag);
    EXPECT_EQ(before.c_oflag, after.c_oflag);
    EXPECT_EQ(before.c_cflag, after.c_cflag);
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    pollfd p{pty.MasterFd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 50), 0) << "something was written to the port";
}

TEST(PortProbe, Remembers_devices_the_user_may_not_open_and_says_why) {
    platform::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open(false));
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0600), 0);
    // Probe as an unprivileged user in a child process: root may open anything.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ProbeConfig config;
        config.devDir = "/nonexistent-dev";
        config.extraPorts = {pty.SlavePath()};
        auto result = ProbePorts(config);
        std::string report = std::to_string(result.names.size()) + "\n";
        for (const auto& d : result.denied) report += d.name + "\n" + d.reason + "\n";
        [[maybe_unused]] ssize_t n = ::write(pipeFds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buf[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
        report.append(buf, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report.substr(0, 2), "0\n") << report;
    EXPECT_NE(report.find(pty.SlavePath()), std::string::npos) << report;
    EXPECT_NE(report.find("dialout"), std::string::npos) << report;
}
