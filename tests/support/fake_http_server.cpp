#include "tests/support/fake_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>

FakeHttpServer::FakeHttpServer(std::function<Answer(const Request&)> answer)
    : m_answer(std::move(answer)) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 8) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::abort();
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

FakeHttpServer::~FakeHttpServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listenFd);
}

std::string FakeHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<FakeHttpServer::Request> FakeHttpServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void FakeHttpServer::Serve() {
    std::vector<int> connections;
    while (!m_stop) {
        std::vector<pollfd> fds = {{m_listenFd, POLLIN, 0}};
        for (int fd : connections) fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) connections.push_back(fd);
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (!ServeConnection(fds[i].fd)) {
                ::close(fds[i].fd);
                std::erase(connections, fds[i].fd);
            }
        }
    }
    for (int fd : connections) ::close(fd);
}

namespace {

// A gzip body as its text; "<not gzip>" when it is none.
std::string Gunzip(const std::string& zipped) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return "<not gzip>";
    std::string out;
    char buffer[65536];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zipped.data()));
    z.avail_in = static_cast<uInt>(zipped.size());
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
    }
    inflateEnd(&z);
    return result == Z_STREAM_END ? out : "<not gzip>";
}

}  // namespace

// One request from a connection that has something to read; false when it closed.
bool FakeHttpServer::ServeConnection(int fd) {
    std::string data;
    char buffer[65536];
    size_t headEnd = std::string::npos;
    size_t length = 0;
    for (;;) {
        if (headEnd == std::string::npos &&
            (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
            const size_t at = data.find("Content-Length: ");
            if (at != std::string::npos && at < headEnd)
                length = std::strtoul(data.c_str() + at + 16, nullptr, 10);
        }
        if (headEnd != std::string::npos && data.size() >= headEnd + 4 + length) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        data.append(buffer, static_cast<size_t>(n));
    }
    Request request{data.substr(0, headEnd), data.substr(headEnd + 4, length), length};
    if (request.head.find("\r\nContent-Encoding: gzip\r\n") != std::string::npos)
        request.body = Gunzip(request.body);
    const Answer answer = m_answer(request);
    request.status = answer.status;
    if (answer.delayMs > 0) ::poll(nullptr, 0, answer.delayMs);
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    const std::string reply = "HTTP/1.1 " + std::to_string(answer.status) +
                              " Fake\r\nContent-Length: " + std::to_string(answer.body.size()) +
                              "\r\n\r\n" + answer.body;
    return ::write(fd, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size());
}
