#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 for the writer's tests: answers each request with what
// `answer` says, keeps connections open as curl expects, and records every request.
class FakeHttpServer {
public:
    struct Request {
        std::string head;      // request line and headers
        std::string body;      // decoded when it came gzip-compressed
        size_t wireBytes = 0;  // the body as it came
        int status = 0;        // what it was answered
    };
    struct Answer {
        Answer(int status_ = 204, std::string body_ = "", int delayMs_ = 0)
            : status(status_), body(std::move(body_)), delayMs(delayMs_) {}
        int status;
        std::string body;
        int delayMs;  // before the answer
    };
    explicit FakeHttpServer(std::function<Answer(const Request&)> answer);
    ~FakeHttpServer();

    int Port() const { return m_port; }
    std::string Url(const std::string& path = "/write") const;
    std::vector<Request> Requests() const;

private:
    void Serve();
    bool ServeConnection(int fd);

    std::function<Answer(const Request&)> m_answer;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
    std::thread m_thread;
};
