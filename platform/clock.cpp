#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace platform {

void Sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

TimeOfDay LocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
            static_cast<unsigned>(local.tm_sec)};
}

}  // namespace platform
