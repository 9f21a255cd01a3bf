#include "serial/port_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/pseudo_terminal.h"
#include "serial/serial_port.h"

namespace fs = std::filesystem;
using serial::ProbeConfig;
using serial::ProbePorts;

namespace {

// A directory standing in for /dev, /sys/class/tty and the lock directory; its device nodes are
// links to pseudo-terminals.
struct FakeDev {
    fs::path root = fs::temp_directory_path() / ("zel-probe-" + std::to_string(::getpid()));
    FakeDev() {
        fs::remove_all(root);
        for (const char* dir : {"dev", "sys", "lock"}) fs::create_directories(root / dir);
    }
    ~FakeDev() { fs::remove_all(root); }
    std::string dev() const { return (root / "dev").string(); }
    // A node `name` leading to `target`. Sysfs shows it with a device behind it unless
    // `isVirtual`, and with the UART type `type` when one is given.
    std::string Tty(const std::string& name, const std::string& target, int type = -1,
                    bool isVirtual = false) {
        fs::create_symlink(target, root / "dev" / name);
        fs::create_directories(root / "sys" / name);
        if (!isVirtual) fs::create_directories(root / "sys" / name / "device");
        if (type >= 0) std::ofstream(root / "sys" / name / "type") << type << "\n";
        return (root / "dev" / name).string();
    }
    void LockFile(const std::string& name, const std::string& pid) {
        std::ofstream(root / "lock" / ("LCK.." + name)) << pid;
    }
    ProbeConfig Config() const {
        ProbeConfig config;
        config.devDir = dev();
        config.sysClassTty = (root / "sys").string();
        config.holders.lockDirs = {(root / "lock").string()};
        return config;
    }
};

// Which of the watched device nodes were opened meanwhile, by anyone.
class OpenWatch {
public:
    explicit OpenWatch(const std::vector<std::string>& paths)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const auto& path : paths) {
            m_paths[::inotify_add_watch(m_fd, path.c_str(), IN_OPEN)] = path;
        }
    }
    ~OpenWatch() { ::close(m_fd); }
    std::set<std::string> Opened() const {
        std::set<std::string> opened;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                opened.insert(m_paths.at(event->wd));
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opened;
    }

private:
    int m_fd;
    std::map<int, std::string> m_paths;
};

// Another process with `path` open, as a terminal program would have.
struct OtherProcessHolding {
    pid_t pid = -1;
    explicit OtherProcessHolding(const std::string& path) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, path.c_str(), O_RDWR | O_NOCTTY, 0);
        char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("60"), nullptr};
        EXPECT_EQ(::posix_spawn(&pid, "/bin/sleep", &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~OtherProcessHolding() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

}  // namespace

TEST(PortProbe, Lists_ports_from_the_command_line_first_then_families_in_ascending_order) {
    FakeDev dev;
    std::vector<std::unique_ptr<platform::PseudoTerminal>> ptys;
    auto pty = [&ptys] {
        ptys.push_back(std::make_unique<platform::PseudoTerminal>());
        EXPECT_TRUE(ptys.back()->Open(false));
        return ptys.back()->SlavePath();
    };
    const std::string extra = pty();
    // Made in another order than listed; a family the list does not know comes last.
    const std::string mfd = dev.Tty("ttyMFD1", pty());
    const std::string acm = dev.Tty("ttyACM0", pty());
    const std::string usb10 = dev.Tty("ttyUSB10", pty());
    const std::string usb9 = dev.Tty("ttyUSB9", pty());
    const std::string s3 = dev.Tty("ttyS3", pty(), 4);  // a real 16550A

    ProbeConfig config = dev.Config();
    config.extraPorts = {extra};
    auto result = ProbePorts(config);
    EXPECT_EQ(result.names, (std::vector<std::string>{extra, s3, usb9, usb10, acm, mfd}));
    EXPECT_TRUE(result.denied.empty());
}

TEST(PortProbe, Lists_without_opening_and_tells_held_busy_and_placeholder_devices_apart) {
    FakeDev dev;
    platform::PseudoTerminal extra, held, pty[7];
    ASSERT_TRUE(extra.Open(false) && held.Open(false));
    for (auto& p : pty) ASSERT_TRUE(p.Open(false));

    CSerialPort ours;  // the program's own port, given with --port
    ASSERT_TRUE(ours.Open(held.SlavePath()));
    const std::string free = dev.Tty("ttyS1", pty[0].SlavePath(), 4);
    dev.Tty("ttyS0", pty[1].SlavePath(), 0);        // a placeholder: no UART behind it
    dev.Tty("tty5", pty[2].SlavePath(), -1, true);  // a virtual console
    const std::string flocked = dev.Tty("ttyUSB0", pty[3].SlavePath());
    const int lockFd = ::open(flocked.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0);
    const std::string openElsewhere = dev.Tty("ttyUSB1", pty[4].SlavePath());
    OtherProcessHolding sleeper(openElsewhere);
    const std::string lockFile = dev.Tty("ttyUSB2", pty[5].SlavePath());
    dev.LockFile("ttyUSB2", "         1\n");  // PID 1 always lives
    const std::string staleLockFile = dev.Tty("ttyUSB3", pty[6].SlavePath());
    dev.LockFile("ttyUSB3", "   4194305\n");  // above any PID the kernel hands out

    std::vector<std::string> nodes = {extra.SlavePath(), held.SlavePath()};
    for (auto& p : pty) nodes.push_back(p.SlavePath());
    OpenWatch watch(nodes);
    ProbeConfig config = dev.Config();
    config.heldPort = held.SlavePath();
    config.extraPorts = {held.SlavePath(), extra.SlavePath()};
    const auto result = ProbePorts(config);

    EXPECT_EQ(watch.Opened(), std::set<std::string>{extra.SlavePath()});
    EXPECT_EQ(result.names,
              (std::vector<std::string>{held.SlavePath(), extra.SlavePath(), free, staleLockFile}));
    EXPECT_TRUE(result.denied.empty());
    const std::pair<std::string, std::string> busy[] = {
        {flocked, "PID " + std::to_string(::getpid())},
        {openElsewhere, "PID " + std::to_string(sleeper.pid) + " (sleep)"},
        {lockFile, "PID 1 ("},
    };
    ASSERT_EQ(result.inUse.size(), std::size(busy));
    for (size_t i = 0; i < std::size(busy); ++i) {
        EXPECT_EQ(result.inUse[i].name, busy[i].first);
        const std::string expected = busy[i].first + " is in use by " + busy[i].second;
        EXPECT_EQ(result.inUse[i].reason.rfind(expected, 0), 0u) << result.inUse[i].reason;
    }
    EXPECT_TRUE(ours.IsOpen());
    ::close(lockFd);
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
    FakeDev dev;
    platform::PseudoTerminal given, found;
    ASSERT_TRUE(given.Open(false) && found.Open(false));
    const std::string listed = dev.Tty("ttyUSB0", found.SlavePath());
    for (const auto* pty : {&given, &found}) ASSERT_EQ(::chmod(pty->SlavePath().c_str(), 0), 0);
    // Probe as an unprivileged user in a child process: root may open anything.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ProbeConfig config = dev.Config();
        config.extraPorts = {given.SlavePath()};
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
    auto denied = [](const std::string& name) {
        return name + "\n" + serial::DescribeOpenError(platform::OpenError::NoPermission, name) +
               "\n";
    };
    EXPECT_EQ(report, "0\n" + denied(given.SlavePath()) + denied(listed));
}
