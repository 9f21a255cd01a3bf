#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Runs a program as a child process and collects its standard output, standard error and exit
// code. `whileRunning` is called between reads with the output so far; it may signal the child.
struct ChildResult {
    int exitCode = -1;  // -1: killed by a signal or never started
    std::string out;
    std::string err;
};

ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::function<void(int pid, const std::string& out)>& whileRunning = {},
                     std::chrono::seconds deadline = std::chrono::seconds(60),
                     const std::string& stdinPath = "/dev/null");
