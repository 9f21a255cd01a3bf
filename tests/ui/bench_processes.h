#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

// What the screenshot tool and the footprint benchmark share: helper programs started without
// QProcess, and a process's CPU time and memory as Linux counts them.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

// CPU seconds of a process: this one, or another through its CPU-time clock.
inline double CpuSeconds(pid_t pid = 0) {
    clockid_t clock = CLOCK_PROCESS_CPUTIME_ID;
    if (pid != 0 && clock_getcpuclockid(pid, &clock) != 0) return 0.0;
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Resident and proportional set size in MiB, from /proc/PID/smaps_rollup (0 = this process).
struct Memory {
    double rss = 0, pss = 0;
};
inline Memory MemoryOf(pid_t pid = 0) {
    const std::string path =
        pid == 0 ? "/proc/self/smaps_rollup" : "/proc/" + std::to_string(pid) + "/smaps_rollup";
    Memory m;
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return m;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        long kb = 0;
        if (std::sscanf(line, "Rss: %ld kB", &kb) == 1) m.rss = kb / 1024.0;
        if (std::sscanf(line, "Pss: %ld kB", &kb) == 1) m.pss = kb / 1024.0;
    }
    std::fclose(file);
    return m;
}

// A helper program (zel-sim, zelctl) with its output to /dev/null, ended with SIGTERM as a user
// would. Started without QProcess, so that nothing of it sits in this program's event loop.
class Helper {
public:
    Helper() = default;
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    ~Helper() { Stop(); }
    bool Start(const char* program, std::vector<std::string> arguments,
               const char* output = "/dev/null") {
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool started =
            posix_spawn(&m_pid, program, &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        if (!started) m_pid = 0;
        return started;
    }
    // Whether it ended by itself within `ms`; Qt's events go on meanwhile.
    bool Ended(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0) {
            if (clock.elapsed() > ms) return false;
            QEventLoop loop;
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
        }
        m_pid = 0;
        return true;
    }
    void Stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = 0;
};

// zel-sim at 150 readings a second, and the device it made (found through the symlink `link`);
// empty when it did not come up within 10 s.
inline std::string StartSim(Helper& sim, const std::string& link) {
    if (!sim.Start(ZEL_SIM, {"--rate", "150", "--link", link})) return {};
    char target[4096];
    for (int i = 0; i < 1000; ++i) {
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0) return std::string(target, static_cast<size_t>(n));
        usleep(10000);
    }
    return {};
}

}  // namespace bench
