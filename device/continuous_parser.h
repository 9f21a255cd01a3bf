#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Turning the transducer's continuous output into PSI lines, one read at a time. Records: "T" or
// "P", two characters skipped unread, the raw count in decimal, CR. A "#" at the start of a read
// marks a fresh start of the output.
namespace device {

// Past this many characters the carried-over text keeps only its tail: text that holds no CR can
// otherwise grow it without end.
inline constexpr size_t kCarryCap = 4096;
inline constexpr size_t kReadoutTrimThreshold = 2000;

// What lives from one step (and one run) to the next.
struct ContinuousState {
    std::string carry;            // unfinished text from the previous read
    std::string temperatureText;  // value text of the last temperature record taken
    float pressure = 0.0f;        // normalised, of the reading last processed
    float temperature = 0.0f;     // normalised, as last refreshed
    long rawTemperature = 0;      // the raw count of that refresh
    int readingCount = 0;         // readings since the last refresh, 0..19 between steps
};

// One shown reading: the pressure its line shows, and the raw counts it was calculated from.
struct Reading {
    double psi = 0.0;
    long rawPressure = 0;
    long rawTemperature = 0;
};

struct StepResult {
    std::string lines;            // "%f" CR LF per shown reading
    std::string logText;          // TAB "%f" CR LF per shown reading
    std::vector<Reading> values;  // per shown reading, in the order of `lines`
    int readings = 0;             // pressure records processed, shown or not
    int shown = 0;
    // What the run's ledger counts of this read.
    int zero = 0;                 // pressure records whose value is 0: nothing shown
    int noTemperature = 0;        // non-zero pressure records without a temperature: nothing shown
    int temperatureRecords = 0;   // whole "T" records in the text
    int temperatureRequests = 0;  // C1 frames asked for
    long discardedBytes = 0;      // after a NUL, a text without any "P", a carry cut or replaced
};

// One read's bytes (`chunk`, at least one byte; a NUL ends it early). `requestTemperature` is
// called where a C1 must go out (the 1st, 21st, 41st ... reading), before that reading's
// temperature refresh; it may be empty.
StepResult ParseContinuousChunk(std::string_view chunk, ContinuousState& state,
                                const std::array<float, 37>& coefficients,
                                const std::function<void()>& requestTemperature);

// Appends a step's lines to the read-out; past 2000 characters the read-out loses as many
// characters from its front as were appended (a cut can fall inside a line).
void AppendReadoutLines(std::string& readout, const std::string& lines);

}  // namespace device
