// Feeds the continuous step's parser a stream cut into reads of at most 512 bytes, the first
// byte of each piece giving the length of the next read, and checks what must always hold.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/continuous_parser.h"
#include "device/monitor_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<float, 37> coefficients{};
    coefficients[0] = 1.5f;
    coefficients[1] = 100.0f;
    coefficients[7] = 10.0f;
    coefficients[36] = -3.0e38f;
    device::ContinuousState state;
    std::string readout;
    std::string monitor;
    int c1 = 0;
    size_t at = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(1 + data[at] % 128 * 4, 512);
        ++at;
        const size_t take = std::min(length, size - at);
        if (take == 0) break;
        std::string_view chunk(reinterpret_cast<const char*>(data + at), take);
        at += take;

        const int before = state.readingCount;
        auto result = device::ParseContinuousChunk(chunk, state, coefficients, [&] { ++c1; });
        if (state.carry.size() > device::kCarryCap) std::abort();
        if (state.readingCount < 0 || state.readingCount > 19) std::abort();
        if (result.shown > result.readings) std::abort();
        if (result.logText.size() != result.lines.size() + static_cast<size_t>(result.shown)) {
            std::abort();
        }
        if (result.readings == 0 && state.readingCount != before) std::abort();

        const size_t readoutBefore = readout.size();
        device::AppendReadoutLines(readout, result.lines);
        if (readoutBefore <= device::kReadoutTrimThreshold &&
            readout.size() > device::kReadoutTrimThreshold + result.lines.size()) {
            std::abort();
        }
        device::AppendResponseText(monitor, chunk);
    }
    return 0;
}
