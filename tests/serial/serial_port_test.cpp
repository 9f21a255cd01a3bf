#include "serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/pseudo_terminal.h"
#include "serial/port_probe.h"

namespace {

using namespace std::chrono_literals;

// The far end of a pseudo-terminal, playing the device. Left cooked unless asked, so that a host
// that forgets raw mode shows it.
struct FarEnd {
    platform::PseudoTerminal pty;
    explicit FarEnd(bool raw = false) { EXPECT_TRUE(pty.Open(raw)); }
    const std::string& path() const { return pty.SlavePath(); }

    void Send(const std::string& bytes) {
        ASSERT_EQ(::write(pty.MasterFd(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Whatever the host wrote, collected until `count` bytes came or a second passed.
    std::string Receive(size_t count) {
        std::string got;
        auto deadline = std::chrono::steady_clock::now() + 1s;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{pty.MasterFd(), POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[1024];
                ssize_t n = ::read(pty.MasterFd(), buf, sizeof buf);
                if (n > 0) got.append(buf, static_cast<size_t>(n));
            }
        }
        return got;
    }
};

std::string ReadAll(CSerialPort& port, size_t expected) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + 1s;
    char buf[512];
    while (got.size() < expected && std::chrono::steady_clock::now() < deadline) {
        uint32_t n = 0;
        if (port.Read(buf, sizeof buf, &n))
            got.append(buf, n);
        else
            std::this_thread::sleep_for(1ms);
    }
    return got;
}

bool OpenAndConfigure(CSerialPort& port, const std::string& path) {
    return port.Open(path) && port.Configure(115200, 0, 8, false, 0);
}

// A device whose single driver calls can be made to fail.
class FailingDevice : public platform::SerialDevice {
public:
    bool failGetState = false, failSetState = false;
    bool GetState(platform::LineSettings* s) override {
        return !failGetState && SerialDevice::GetState(s);
    }
    bool SetState(const platform::LineSettings& s) override {
        return !failSetState && SerialDevice::SetState(s);
    }
};

}  // namespace

TEST(SerialPortOpen, Maps_listed_names_to_dev_and_keeps_paths) {
    EXPECT_EQ(CSerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(CSerialPort::DevicePath("/tmp/zel-port"), "/tmp/zel-port");
}

TEST(SerialPortOpen, A_second_open_fails_in_this_process_and_in_another) {
    FarEnd far;
    CSerialPort first;
    ASSERT_TRUE(first.Open(far.path()));

    CSerialPort second;
    EXPECT_FALSE(second.Open(far.path()));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastOpenError(), platform::OpenError::InUse);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CSerialPort other;
        ::_exit(other.Open(far.path()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened it";

    first.Close();
    EXPECT_TRUE(second.Open(far.path())) << "closing must release the port";
}

TEST(SerialPortOpen, Reopening_closes_the_old_port_first_also_when_the_new_open_fails) {
    FarEnd a;
    CSerialPort port;
    ASSERT_TRUE(port.Open(a.path()));
    EXPECT_FALSE(port.Open("/dev/zel-no-such-port"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastOpenError(), platform::OpenError::NoSuchDevice);
    CSerialPort other;
    EXPECT_TRUE(other.Open(a.path())) << "the first port is still held";
}

TEST(SerialPortOpen, A_directory_a_regular_file_and_dev_null_are_not_serial_devices) {
    const std::string dir = ::testing::TempDir() + "zel-not-serial-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/port";
    std::ofstream(file) << "x";
    for (const std::string& path : {dir, file, std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        CSerialPort port;
        EXPECT_FALSE(port.Open(path));
        EXPECT_EQ(port.LastOpenError(), platform::OpenError::NotSerial);
        EXPECT_EQ(serial::DescribeOpenError(port.LastOpenError(), path),
                  path + " is not a serial device.");
    }
    std::filesystem::remove_all(dir);
}

TEST(SerialPortOpen, Another_programs_TIOCEXCL_keeps_us_out_and_keeps_its_flag) {
    FarEnd far;
    const int holder = ::open(far.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    CSerialPort port;
    // Root gets through the open itself, then finds the flag set.
    EXPECT_FALSE(port.Open(far.path()));
    EXPECT_EQ(port.LastOpenError(), platform::OpenError::InUse);
    int flag = 0;
    ASSERT_EQ(::ioctl(holder, TIOCGEXCL, &flag), 0);
    EXPECT_EQ(flag, 1) << "the holder's flag was cleared";
    ::ioctl(holder, TIOCNXCL);
    ::close(holder);

    // Our own flag goes with our close.
    ASSERT_TRUE(port.Open(far.path()));
    port.Close();
    const int after = ::open(far.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(after, 0);
    ASSERT_EQ(::ioctl(after, TIOCGEXCL, &flag), 0);
    EXPECT_EQ(flag, 0);
    ::close(after);
}

TEST(SerialPortOpen, A_UUCP_lock_file_of_a_live_process_keeps_us_out_and_names_it) {
    FarEnd far;
    const std::string dir = ::testing::TempDir() + "zel-lock-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string lockFile =
        dir + "/LCK.." + std::filesystem::path(far.path()).filename().string();
    platform::HolderSearch search;
    search.lockDirs = {dir};
    // PID 1 always lives; 4194305 is above any PID the kernel hands out.
    const std::pair<const char*, bool> cases[] = {{"         1\n", false}, {"   4194305\n", true}};
    for (const auto& [pid, opens] : cases) {
        SCOPED_TRACE(pid);
        std::ofstream(lockFile) << pid;
        CSerialPort port(std::make_unique<platform::SerialDevice>(search));
        EXPECT_EQ(port.Open(far.path()), opens);
        if (opens) continue;
        const std::string text =
            serial::DescribeOpenError(port.LastOpenError(), far.path(), port.LastOpenHolder());
        EXPECT_EQ(text.rfind(far.path() + " is in use by PID 1 (", 0), 0u) << text;
    }
    std::filesystem::remove_all(dir);
}

TEST(SerialPortOpen, Close_twice_is_harmless) {
    FarEnd far;
    CSerialPort port;
    EXPECT_FALSE(port.Close()) << "nothing held yet";
    ASSERT_TRUE(port.Open(far.path()));
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Close());
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPortOpen, The_port_is_not_inherited_by_child_processes) {
    FarEnd far;
    CSerialPort port;
    ASSERT_TRUE(port.Open(far.path()));
    int fd = -1;
    for (int candidate = 3; candidate < 1024; ++candidate) {
        char link[64], target[256];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", candidate);
        ssize_t n = ::readlink(link, target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == far.path()) {
            int flags = ::fcntl(candidate, F_GETFD);
            if (flags >= 0 && (flags & FD_CLOEXEC)) fd = candidate;
        }
    }
    EXPECT_GE(fd, 0) << "no close-on-exec descriptor of the port";
}

TEST(SerialPortLine, Configure_makes_a_cooked_line_raw_115200_8N1) {
    FarEnd far(/*raw=*/false);
    CSerialPort port;
    ASSERT_TRUE(OpenAndConfigure(port, far.path()));
    termios tio{};
    ASSERT_EQ(::tcgetattr(far.pty.MasterFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(tio.c_oflag & OPOST);
}

TEST(SerialPortLine, Every_byte_value_passes_unchanged_both_ways) {
    FarEnd far(/*raw=*/false);
    CSerialPort port;
    ASSERT_TRUE(OpenAndConfigure(port, far.path()));
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));

    far.Send(all);
    EXPECT_EQ(ReadAll(port, all.size()), all);

    uint32_t written = 0;
    ASSERT_TRUE(port.Write(all.data(), static_cast<uint32_t>(all.size()), &written));
    EXPECT_EQ(written, all.size());
    EXPECT_EQ(far.Receive(all.size()), all);
}

TEST(SerialPortIo, A_read_never_blocks_and_returns_at_most_what_is_asked) {
    FarEnd far;
    // A second descriptor on the line, only polled: it shows when the bytes have arrived. Opened
    // before the port takes the line exclusively.
    const int watch = ::open(far.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(watch, 0);
    CSerialPort port;
    ASSERT_TRUE(OpenAndConfigure(port, far.path()));
    char buf[16];
    uint32_t n = 99;
    auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.Read(buf, sizeof buf, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);

    far.Send("0123456789");
    pollfd arrived{watch, POLLIN, 0};
    EXPECT_EQ(::poll(&arrived, 1, 10000), 1);
    ::close(watch);
    ASSERT_TRUE(port.Read(buf, 4, &n));
    EXPECT_EQ(std::string(buf, n), "0123");
    EXPECT_EQ(ReadAll(port, 6), "456789");
}

TEST(SerialPortIo, Writing_zero_bytes_succeeds_and_sends_nothing) {
    FarEnd far;
    CSerialPort port;
    ASSERT_TRUE(OpenAndConfigure(port, far.path()));
    uint32_t written = 7;
    EXPECT_TRUE(port.Write("x", 0, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(port.Write("x", 0));
    EXPECT_EQ(far.Receive(1), "");
}

TEST(SerialPortIo, Reads_and_writes_of_a_closed_port_fail_quietly) {
    CSerialPort port;
    char buf[8];
    uint32_t n = 5;
    EXPECT_FALSE(port.Read(buf, sizeof buf, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(port.Write("abc", 3));
}

TEST(SerialPortIo, A_hang_up_is_detected_and_the_dead_device_released) {
    FarEnd far;
    CSerialPort port;
    ASSERT_TRUE(OpenAndConfigure(port, far.path()));
    far.pty.Close();
    char buf[64];
    uint32_t n = 0;
    EXPECT_FALSE(port.Read(buf, sizeof buf, &n));
    EXPECT_TRUE(port.IsGone());
    EXPECT_FALSE(port.IsOpen()) << "a dead device must not be polled again";
    EXPECT_FALSE(port.Read(buf, sizeof buf, &n));
    EXPECT_TRUE(port.IsGone());
    port.Close();
    EXPECT_FALSE(port.IsGone());
}

TEST(SerialPortIo, Closing_wakes_a_writer_waiting_for_room) {
    FarEnd far;  // nobody reads the master, so the pseudo-terminal fills up
    CSerialPort port;
    ASSERT_TRUE(OpenAndConfigure(port, far.path()));
    std::vector<char> big(1 << 20, 'x');
    auto writer = std::async(std::launch::async, [&] {
        return port.Write(big.data(), static_cast<uint32_t>(big.size()));
    });
    ASSERT_EQ(writer.wait_for(200ms), std::future_status::timeout) << "the write did not block";
    port.Close();
    ASSERT_EQ(writer.wait_for(5s), std::future_status::ready) << "Close left the writer hanging";
    EXPECT_FALSE(writer.get());
}

TEST(SerialPortIo, Reads_on_another_thread_survive_closing_and_reopening) {
    FarEnd far;
    CSerialPort port;
    ASSERT_TRUE(OpenAndConfigure(port, far.path()));
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buf[512];
        while (!stop) {
            uint32_t n = 0;
            port.Read(buf, sizeof buf, &n);
            port.Write("*01C1\r", 6);
        }
    });
    for (int i = 0; i < 200; ++i) {
        port.Close();
        ASSERT_TRUE(OpenAndConfigure(port, far.path()));
    }
    stop = true;
    reader.join();
}

TEST(SerialPortConfigure, Failures_of_single_driver_calls_are_named_and_close_the_port) {
    FarEnd far;
    struct Case {
        void (*arm)(FailingDevice&);
        const char* error;
    };
    const Case cases[] = {
        {[](FailingDevice& d) { d.failGetState = true; }, "GetCommState Error"},
        {[](FailingDevice& d) { d.failSetState = true; }, "SetCommState Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        auto device = std::make_unique<FailingDevice>();
        c.arm(*device);
        CSerialPort port(std::move(device));
        ASSERT_TRUE(port.Open(far.path()));
        EXPECT_FALSE(port.Configure(115200, 0, 8, false, 0));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.LastConfigureError(), c.error);
        port.Close();
    }
}
