#pragma once

#include <cstdint>

namespace platform {

// The protocol's fixed waits.
void Sleep(uint32_t milliseconds);

struct TimeOfDay {
    unsigned hour = 0;  // 0..23
    unsigned minute = 0;
    unsigned second = 0;
};

// The local wall-clock time, to the second.
TimeOfDay LocalTime();

}  // namespace platform
