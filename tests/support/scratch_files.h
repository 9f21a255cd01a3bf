#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// Files and folders of a test in the scratch directory, apart from every other test process's.
namespace test_files {

// A path no other test process uses; nothing is made there.
inline std::string ScratchPath(const std::string& name) {
    return ::testing::TempDir() + "zel-" + std::to_string(::getpid()) + "-" + name;
}

// An empty folder at ScratchPath(name), or none at all with `create` false.
inline std::string ScratchDir(const std::string& name, bool create = true) {
    const std::string dir = ScratchPath(name);
    std::filesystem::remove_all(dir);
    if (create) std::filesystem::create_directories(dir);
    return dir;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace test_files
