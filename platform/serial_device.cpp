#include "platform/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

namespace platform {
namespace {

struct BaudEntry {
    uint32_t baud;
    speed_t speed;
};

constexpr BaudEntry kBauds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOf(uint32_t baud, speed_t* speed) {
    for (const auto& entry : kBauds) {
        if (entry.baud == baud) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

uint32_t BaudOf(speed_t speed) {
    for (const auto& entry : kBauds) {
        if (entry.speed == speed) return entry.baud;
    }
    return 0;
}

tcflag_t SizeFlag(uint8_t byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

uint8_t ByteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

// A hang-up shows as EIO (pseudo-terminal whose master closed, pulled USB adapter) or ENXIO.
bool IsHangUpError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

}  // namespace

SerialDevice::SerialDevice(HolderSearch search) : m_search(std::move(search)) {}

SerialDevice::~SerialDevice() {
    CloseDescriptor();
}

bool SerialDevice::Open(const std::string& path, OpenError* why) {
    CloseDescriptor();
    m_gone = false;
    m_openHolder.clear();
    auto fail = [why](OpenError error) {
        if (why) *why = error;
        return false;
    };
    auto inUse = [&](std::optional<DeviceHolder> holder) {
        if (!holder) holder = DeviceUsers(m_search).Holder(path, true);
        if (holder) m_openHolder = DescribeHolder(*holder);
        return fail(OpenError::InUse);
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return fail(OpenError::NoSuchDevice);
        if (errno == EACCES) return fail(OpenError::NoPermission);
        return fail(OpenError::Other);
    }
    if (!S_ISCHR(st.st_mode)) return fail(OpenError::NotSerial);
    // minicom, cu and others announce their port with a lock file and need not lock the device.
    if (auto holder = LockFileHolder(path, m_search)) return inUse(holder);

    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
            case ENOENT:
            case ENXIO:
            case ENODEV:
            case ENOTDIR:
                return fail(OpenError::NoSuchDevice);
            case EACCES:
            case EPERM:
                return fail(OpenError::NoPermission);
            case EBUSY:
                return inUse(std::nullopt);
            default:
                return fail(OpenError::Other);
        }
    }
    if (!::isatty(fd)) {  // /dev/null and other character devices without a line
        ::close(fd);
        return fail(OpenError::NotSerial);
    }
    // flock refuses a second open also inside this process and also for root, where TIOCEXCL
    // alone would let it through.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return inUse(std::nullopt);
    }
    // Root opens a tty that another program holds with TIOCEXCL: that program keeps the device,
    // and its flag, which closing here leaves alone.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        ::close(fd);
        return inUse(std::nullopt);
    }
    const bool exclusiveSet = ::ioctl(fd, TIOCEXCL) == 0;  // keeps out programs that do not flock
    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        if (exclusiveSet) ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return fail(OpenError::Other);
    }
    {
        std::lock_guard lock(m_stateMutex);
        m_haveTermios = false;
    }
    m_exclusiveSet = exclusiveSet;
    m_wakeFd = wake;
    m_fd = fd;
    if (why) *why = OpenError::None;
    return true;
}

bool SerialDevice::GetState(LineSettings* settings) {
    std::shared_lock use(m_useGuard);
    int fd = m_fd;
    termios tio{};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0) return false;
    std::lock_guard lock(m_stateMutex);
    m_termios = tio;
    m_haveTermios = true;
    LineSettings s;
    s.baudRate = BaudOf(::cfgetospeed(&tio));
    s.byteSize = ByteSizeOf(tio.c_cflag);
    s.parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : 0;
    s.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
    s.parityCheck = (tio.c_iflag & INPCK) != 0;
    s.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    s.outX = (tio.c_iflag & IXON) != 0;
    s.inX = (tio.c_iflag & IXOFF) != 0;
    *settings = s;
    return true;
}

bool SerialDevice::SetState(const LineSettings& s) {
    std::shared_lock use(m_useGuard);
    int fd = m_fd;
    if (fd < 0) return false;
    speed_t speed;
    if (!SpeedOf(s.baudRate, &speed)) {
        errno = EINVAL;
        return false;
    }
    termios tio{};
    {
        std::lock_guard lock(m_stateMutex);
        if (m_haveTermios) {
            tio = m_termios;
        } else if (::tcgetattr(fd, &tio) != 0) {
            return false;
        }
    }
    // Raw: no translation of CR, NL or any other byte, no echo, no signals, no line editing.
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IMAXBEL | ISTRIP | IGNPAR | PARMRK);
    if (s.outX) tio.c_iflag |= IXON;
    if (s.inX) tio.c_iflag |= IXOFF;
    if (s.parityCheck) tio.c_iflag |= INPCK;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= SizeFlag(s.byteSize) | CLOCAL | CREAD;
    if (s.parity == 1) tio.c_cflag |= PARENB | PARODD;
    if (s.parity == 2) tio.c_cflag |= PARENB;
    if (s.stopBits != 0) tio.c_cflag |= CSTOPB;
    if (s.outxCtsFlow) tio.c_cflag |= CRTSCTS;
    // With O_NONBLOCK and VMIN 1 an empty port reads EAGAIN and 0 means hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return false;

    // tcsetattr succeeds when any change applied: read the settings back.
    termios check{};
    if (::tcgetattr(fd, &check) != 0) return false;
    const tcflag_t cmask = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
    if ((check.c_cflag & cmask) != (tio.c_cflag & cmask) ||
        (check.c_lflag & (ICANON | ECHO | ISIG)) || (check.c_iflag & (ICRNL | INLCR | IGNCR)) ||
        (check.c_oflag & OPOST) || ::cfgetospeed(&check) != speed) {
        errno = EIO;
        return false;
    }
    {
        std::lock_guard lock(m_stateMutex);
        m_termios = check;
        m_haveTermios = true;
    }
    // The kernel raises DTR and RTS at open and when the speed leaves B0: drop them now.
    // A pseudo-terminal has no modem lines (ENOTTY, EINVAL): nothing to do there.
    int lines = 0;
    if (s.dtrDisable) lines |= TIOCM_DTR;
    if (s.rtsDisable && !s.outxCtsFlow) lines |= TIOCM_RTS;
    if (lines && ::ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
        return false;
    }
    return true;
}

ReadStatus SerialDevice::Read(void* buffer, size_t maxBytes, size_t* bytesRead) {
    *bytesRead = 0;
    ReadStatus status;
    {
        std::shared_lock use(m_useGuard);
        int fd = m_fd;
        if (fd < 0) return ReadStatus::Error;
        if (maxBytes == 0) return ReadStatus::Empty;
        ssize_t n;
        do {
            n = ::read(fd, buffer, maxBytes);
        } while (n < 0 && errno == EINTR);
        if (n > 0) {
            *bytesRead = static_cast<size_t>(n);
            return ReadStatus::Data;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ReadStatus::Empty;
        status = (n == 0 || IsHangUpError(errno)) ? ReadStatus::Gone : ReadStatus::Error;
    }
    if (status == ReadStatus::Gone) MarkGone();
    return status;
}

bool SerialDevice::Write(const void* buffer, size_t count, size_t* bytesWritten) {
    size_t done = 0;
    if (bytesWritten) *bytesWritten = 0;
    bool hungUp = false;
    bool ok = true;
    {
        std::shared_lock use(m_useGuard);
        std::lock_guard writer(m_writeMutex);
        int fd = m_fd;
        int wake = m_wakeFd;
        if (fd < 0) return false;
        const auto* bytes = static_cast<const unsigned char*>(buffer);
        while (done < count) {
            ssize_t n = ::write(fd, bytes + done, count - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // A full output buffer: wait for room, without time-out, unless closed meanwhile.
                pollfd fds[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
                if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
                    ok = false;
                    break;
                }
                if (fds[1].revents) {
                    ok = false;
                    break;
                }
                if (fds[0].revents & (POLLHUP | POLLERR)) {
                    hungUp = true;
                    ok = false;
                    break;
                }
                continue;
            }
            hungUp = n < 0 && IsHangUpError(errno);
            ok = false;
            break;
        }
    }
    if (bytesWritten) *bytesWritten = done;
    if (hungUp) MarkGone();
    return ok;
}

bool SerialDevice::Close() {
    m_gone = false;
    return CloseDescriptor();
}

void SerialDevice::MarkGone() {
    // Release the dead descriptor so that nothing polls it again; the adapter, when it comes
    // back, can then be opened under its name.
    if (CloseDescriptor()) m_gone = true;
}

bool SerialDevice::CloseDescriptor() {
    int wake = m_wakeFd;
    if (wake >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);  // wakes a waiting writer
    }
    std::unique_lock use(m_useGuard);
    int fd = m_fd.exchange(-1);
    wake = m_wakeFd.exchange(-1);
    if (wake >= 0) ::close(wake);
    if (fd < 0) return false;
    // A tty keeps TIOCEXCL after the last close; left set it refuses the next non-root open.
    if (m_exclusiveSet.exchange(false)) ::ioctl(fd, TIOCNXCL);
    return ::close(fd) == 0;
}

}  // namespace platform
