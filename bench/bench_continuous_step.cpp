// Continuous-step throughput on one core: parsing, the formula, "%f" formatting and the read-out
// trim, in readings a second. The transducer sends about 150 a second.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "device/continuous_parser.h"

namespace {

std::array<float, 37> Coefficients() {
    std::array<float, 37> c{};
    for (int k = 0; k < 37; ++k) c[k] = 0.001f * static_cast<float>(k + 1);
    c[0] = 1.5f;
    c[1] = 15.0f;
    return c;
}

// Reads of at most 512 bytes cut from a stream of pressure records, a record split at each cut.
std::vector<std::string> Reads(int count) {
    std::string stream = "T0032768\r";
    for (int i = 0; static_cast<int>(stream.size()) < count * 512; ++i) {
        stream += "P00" + std::to_string(1000000 + (i * 7919) % 15000000) + "\r";
    }
    std::vector<std::string> reads;
    for (size_t at = 0; at < stream.size(); at += 512) reads.push_back(stream.substr(at, 512));
    return reads;
}

void ContinuousStepThroughput(benchmark::State& state) {
    const auto coefficients = Coefficients();
    const auto reads = Reads(64);
    device::ContinuousState parser;
    std::string readout;
    int64_t readings = 0;
    size_t next = 0;
    for (auto _ : state) {
        auto result = device::ParseContinuousChunk(reads[next], parser, coefficients, [] {});
        device::AppendReadoutLines(readout, result.lines);
        benchmark::DoNotOptimize(readout.data());
        readings += result.readings;
        next = (next + 1) % reads.size();
    }
    state.SetItemsProcessed(readings);
    state.counters["readings/s"] =
        benchmark::Counter(static_cast<double>(readings), benchmark::Counter::kIsRate);
}
BENCHMARK(ContinuousStepThroughput);

}  // namespace
