#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

// A client of the controller over a real loopback socket.
class ScpiClient {
public:
    explicit ScpiClient(uint16_t port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ~ScpiClient() { ::close(m_fd); }

    void Send(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(text.size()));
    }
    // The next answer without its LF; "(none)" when nothing comes within 10 s.
    std::string Answer() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_buffer.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd fd{m_fd, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0) continue;
            char chunk[256];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
        const size_t lf = m_buffer.find('\n');
        if (lf == std::string::npos) return "(none)";
        std::string line = m_buffer.substr(0, lf);
        m_buffer.erase(0, lf + 1);
        return line;
    }
    std::string Query(const std::string& line) {
        Send(line);
        return Answer();
    }

    bool connected = false;

private:
    int m_fd = -1;
    std::string m_buffer;
};
