#pragma once

#include <cstdint>
#include <string>

namespace sim {

// Times are seconds on the monotonic clock (std::chrono::steady_clock, CLOCK_MONOTONIC).

struct FrameRecord {
    double time;        // when its CR arrived
    std::string frame;  // without the CR; also frames for other addresses
};

struct ReadingRecord {
    double time;  // when the record was measured and queued for output
    char kind;    // 'T' or 'P'
    uint32_t raw;
    double truth;      // PSI for 'P', degrees C for 'T'
    double indicated;  // what the counts encode: the truth with the sensor's errors
};

}  // namespace sim
