#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Debian's victoria-metrics, started by a test on 127.0.0.1 with a data folder of its own, and
// read back through its export API. Without it the database tests fail: scripts/setup installs it.
namespace test_db {

inline constexpr const char* kVictoriaMetrics = "/usr/bin/victoria-metrics";

// A TCP port on 127.0.0.1 that nothing listens on at present.
int FreePort();

// One request; the status (0: no answer) and the body.
long Http(const std::string& url, std::string* body, const std::string& post = "");

struct Point {
    long long ms;  // VictoriaMetrics keeps milliseconds
    std::string psi;
};

// Stopped when this goes, whatever the test did.
class VictoriaMetrics {
public:
    explicit VictoriaMetrics(const std::string& dir);
    ~VictoriaMetrics() { Stop(); }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    // Started and answering; false after 20 s without. Its output goes to DIR/victoria-metrics.log.
    bool Start();
    // SIGTERM: it writes what it took to disk first. SIGKILL after 15 s.
    void Stop();
    // Every psi point, oldest first, once `expected` have arrived (or after 20 s).
    std::vector<Point> Psi(size_t expected);

private:
    std::string m_dir;
    int m_port;
    pid_t m_pid = -1;
};

}  // namespace test_db
