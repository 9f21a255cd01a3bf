#include "platform/line_stream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/serial_device.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Takes one line off the front of `buffer` when it holds a whole one.
bool TakeLine(std::string* buffer, std::string* line) {
    const size_t lf = buffer->find('\n');
    if (lf == std::string::npos) return false;
    *line = buffer->substr(0, lf);
    buffer->erase(0, lf + 1);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

class TcpLineStream : public LineStream {
public:
    explicit TcpLineStream(int fd) : m_fd(fd) {}
    ~TcpLineStream() override { ::close(m_fd); }

    bool WriteLine(const std::string& text, std::string* error) override {
        const std::string line = text + "\n";
        size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::send(m_fd, line.data() + done, line.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                *error = std::string("the connection failed: ") + std::strerror(errno);
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    bool ReadLine(std::string* line, int timeoutMs, std::string* error) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (TakeLine(&m_buffer, line)) return true;
            pollfd p{m_fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, MillisLeft(deadline));
            if (ready < 0 && errno == EINTR) continue;
            if (ready == 0) {
                *error = "no answer within " + std::to_string(timeoutMs) + " ms";
                return false;
            }
            char chunk[512];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) {
                *error = "the connection was closed";
                return false;
            }
            if (n < 0) {
                *error = std::string("the connection failed: ") + std::strerror(errno);
                return false;
            }
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int m_fd;
    std::string m_buffer;
};

class SerialLineStream : public LineStream {
public:
    bool Open(const std::string& path, uint32_t baud, std::string* error) {
        if (!m_device.Open(path)) {
            *error = "cannot open " + path;
            return false;
        }
        LineSettings settings;
        settings.baudRate = baud;
        if (!m_device.SetState(settings)) {
            *error = path + " could not be set to " + std::to_string(baud) + " baud 8N1";
            return false;
        }
        return true;
    }

    bool WriteLine(const std::string& text, std::string* error) override {
        const std::string line = text + "\n";
        size_t written = 0;
        if (!m_device.Write(line.data(), line.size(), &written) || written != line.size()) {
            *error = "the serial line failed";
            return false;
        }
        return true;
    }

    bool ReadLine(std::string* line, int timeoutMs, std::string* error) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (TakeLine(&m_buffer, line)) return true;
            char chunk[256];
            size_t n = 0;
            switch (m_device.Read(chunk, sizeof chunk, &n)) {
                case ReadStatus::Data:
                    m_buffer.append(chunk, n);
                    continue;
                case ReadStatus::Empty:
                    break;
                case ReadStatus::Gone:
                    *error = "the serial device went away";
                    return false;
                case ReadStatus::Error:
                    *error = "the serial line failed";
                    return false;
            }
            if (Clock::now() >= deadline) {
                *error = "no answer within " + std::to_string(timeoutMs) + " ms";
                return false;
            }
            // Reads never block; a line at 9600 baud brings about a byte a millisecond.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    SerialDevice m_device;
    std::string m_buffer;
};

}  // namespace

std::unique_ptr<LineStream> ConnectTcp(const std::string& host, const std::string& port,
                                       int timeoutMs, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        *error = host + ":" + port + ": " + ::gai_strerror(rc);
        return nullptr;
    }
    std::string why = "no address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc < 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            rc = ::poll(&p, 1, timeoutMs) == 1 ? 0 : -1;
            int soError = rc == 0 ? 0 : ETIMEDOUT;
            socklen_t len = sizeof soError;
            if (rc == 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
            errno = soError;
            rc = soError == 0 ? 0 : -1;
        }
        if (rc == 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::freeaddrinfo(found);
            return std::make_unique<TcpLineStream>(fd);
        }
        why = std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    *error = host + ":" + port + ": " + why;
    return nullptr;
}

std::unique_ptr<LineStream> OpenSerialLine(const std::string& path, uint32_t baud,
                                           std::string* error) {
    auto stream = std::make_unique<SerialLineStream>();
    if (!stream->Open(path, baud, error)) return nullptr;
    return stream;
}

}  // namespace platform
