#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "serial/serial_port.h"
#include "tests/support/wait_until.h"

// The host's side of a simulated transducer: the program's own port class on the slave end,
// configured as the program configures it.
class SimHost {
public:
    explicit SimHost(const std::string& path) {
        opened = port.Open(path) && port.Configure(115200, 0, 8, false, 0);
    }

    void Send(const std::string& frame) {
        uint32_t written = 0;
        ASSERT_TRUE(port.Write(frame.data(), static_cast<uint32_t>(frame.size()), &written));
        ASSERT_EQ(written, frame.size());
    }

    // One read of at most 512 bytes, as the host's tick makes it.
    std::string ReadOnce() {
        char buffer[512];
        uint32_t n = 0;
        if (!port.Read(buffer, sizeof buffer, &n)) return {};
        return std::string(buffer, n);
    }

    // Everything that arrives within `seconds`.
    std::string ReadFor(double seconds) {
        std::string got;
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) Take(&got);
        return got;
    }

    // Reads until `count` CRs have come, or gives up after `timeout` seconds.
    std::string ReadLines(int count, double timeout = 10.0) {
        std::string got;
        const auto end = Clock::now() + std::chrono::duration<double>(timeout);
        while (Crs(got) < count && Clock::now() < end) Take(&got);
        return got;
    }

    // Reads until `needle` has come, or gives up after `timeout` seconds.
    std::string ReadUntil(const std::string& needle, double timeout = 10.0) {
        std::string got;
        const auto end = Clock::now() + std::chrono::duration<double>(timeout);
        while (got.find(needle) == std::string::npos && Clock::now() < end) Take(&got);
        return got;
    }

    // The host's EEPROM reply parsing: the text after the first "=" less the last character,
    // read as a decimal integer.
    static long ReplyValue(const std::string& reply) {
        if (reply.empty()) return 0;
        const size_t equals = reply.find('=');
        const size_t from = equals == std::string::npos ? 0 : equals + 1;
        const std::string text =
            from < reply.size() ? reply.substr(from, reply.size() - 1 - from) : std::string();
        return std::strtol(text.c_str(), nullptr, 10);
    }

    // True when `text` is nothing but records of `letter` (letter, filler, decimal digits, CR),
    // each perhaps after a "#", the last perhaps cut short by the end of the text.
    static bool IsRecordStream(const std::string& text, char letter,
                               const std::string& filler = "00") {
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\r', at);
            const bool whole = end != std::string::npos;
            if (!whole) end = text.size();
            std::string record = text.substr(at, end - at);
            if (!record.empty() && record[0] == '#') record.erase(0, 1);
            const std::string head = std::string(1, letter) + filler;
            const size_t n = std::min(record.size(), head.size());
            if (record.compare(0, n, head, 0, n) != 0) return false;
            if (whole && record.size() <= head.size()) return false;
            for (size_t i = head.size(); i < record.size(); ++i)
                if (record[i] < '0' || record[i] > '9') return false;
            at = end + 1;
        }
        return true;
    }

    CSerialPort port;
    bool opened = false;

private:
    using Clock = std::chrono::steady_clock;

    static int Crs(const std::string& text) {
        int n = 0;
        for (char c : text) n += c == '\r';
        return n;
    }

    void Take(std::string* got) {
        const std::string chunk = ReadOnce();
        if (chunk.empty())
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        else
            *got += chunk;
    }
};
