#include "device/scpi_controller.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace device;

// A controller on 127.0.0.1 that answers one connection line by line, and can hang up.
class LineServer {
public:
    LineServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 1);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~LineServer() {
        ::shutdown(m_listen, SHUT_RDWR);
        HangUp();
        m_thread.join();
        ::close(m_listen);
    }
    // Shuts the connection down; the serving thread, woken by it, closes the descriptor itself
    // so that no close races its own recv.
    void HangUp() {
        std::lock_guard lock(m_mutex);
        if (m_client >= 0) ::shutdown(m_client, SHUT_RDWR);
    }
    std::vector<std::string> Received() {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

    int port = 0;
    std::atomic<bool> answerReads{true};

private:
    void Serve() {
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        {
            std::lock_guard lock(m_mutex);
            m_client = fd;
        }
        Answer(fd);
        std::lock_guard lock(m_mutex);
        m_client = -1;
        ::close(fd);
    }
    void Answer(int fd) {
        std::string buffer;
        char chunk[256];
        for (;;) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return;
            buffer.append(chunk, n);
            for (size_t lf; (lf = buffer.find('\n')) != std::string::npos;) {
                const std::string line = buffer.substr(0, lf);
                buffer.erase(0, lf + 1);
                {
                    std::lock_guard lock(m_mutex);
                    m_received.push_back(line);
                }
                std::string answer;
                if (line == "*IDN?") answer = "Bench,PC-1,42,1.0\r\n";
                if (line == "MEAS:PRES?" && answerReads) answer = "+7.50012\n";
                if (line == "STAT:STAB?") answer = "1\n";
                if (!answer.empty()) ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
        }
    }

    int m_listen = -1;
    int m_client = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_received;
};

TEST(ScpiController, Identifies_sets_reads_and_asks_for_stability_with_the_plans_commands) {
    LineServer server;
    std::string error;
    auto controller = ConnectController("tcp://127.0.0.1:" + std::to_string(server.port),
                                        ControllerCommands{}, &error);
    ASSERT_TRUE(controller) << error;
    EXPECT_EQ(controller->Identity(), "Bench,PC-1,42,1.0");
    ASSERT_TRUE(controller->SetPoint(7.5, &error)) << error;
    double psi = 0;
    ASSERT_TRUE(controller->Read(&psi, &error)) << error;
    EXPECT_EQ(psi, 7.50012);
    bool stable = false;
    ASSERT_TRUE(controller->Stable(&stable, &error)) << error;
    EXPECT_TRUE(stable);
    EXPECT_EQ(server.Received(),
              (std::vector<std::string>{"*IDN?", "SOUR:PRES 7.5", "MEAS:PRES?", "STAT:STAB?"}));
}

TEST(ScpiController, A_controller_that_hangs_up_or_stays_silent_is_an_error_not_a_hang) {
    LineServer server;
    std::string error;
    auto controller = ConnectController("tcp://127.0.0.1:" + std::to_string(server.port),
                                        ControllerCommands{}, &error);
    ASSERT_TRUE(controller) << error;
    double psi = 0;
    server.answerReads = false;
    EXPECT_FALSE(controller->Read(&psi, &error));
    EXPECT_NE(error.find("did not answer MEAS:PRES?"), std::string::npos) << error;
    server.HangUp();
    EXPECT_FALSE(controller->Read(&psi, &error));
}

TEST(ScpiController, Reads_controller_addresses) {
    ControllerAddress a;
    std::string error;
    ASSERT_TRUE(ParseControllerAddress("tcp://127.0.0.1:5025", &a, &error));
    EXPECT_EQ(a.kind, ControllerAddress::kTcp);
    EXPECT_EQ(a.host, "127.0.0.1");
    EXPECT_EQ(a.port, "5025");
    ASSERT_TRUE(ParseControllerAddress("serial:/dev/ttyUSB1", &a, &error));
    EXPECT_EQ(a.path, "/dev/ttyUSB1");
    EXPECT_EQ(a.baud, 9600u);
    ASSERT_TRUE(ParseControllerAddress("serial:/dev/ttyUSB1?baud=115200", &a, &error));
    EXPECT_EQ(a.baud, 115200u);
    for (const char* bad : {"127.0.0.1:5025", "tcp://127.0.0.1", "serial:", "serial:/x?speed=9"})
        EXPECT_FALSE(ParseControllerAddress(bad, &a, &error)) << bad;
    EXPECT_EQ(SetCommandText("PRES {psi};PRES?", 12.25), "PRES 12.25;PRES?");
}

}  // namespace
