#pragma once

#include <vector>

#include "device/reading_stream.h"
#include "device/reading_statistics.h"

namespace device {

// The spans the statistics are shown over.
enum class StatsWindow { kLastSecond, kLast10Seconds, kLastMinute, kWholeRun };

// The statistics of a run's readings as they come, over the whole run and over the last 1, 10
// and 60 s at once: O(1) a reading, memory bounded by a minute of readings. No lock: its owner
// guards it.
class LiveStatistics {
public:
    void Clear();
    void Add(const std::vector<TimedReading>& readings);
    // A reading as a file holds it (a recording played back).
    void Add(const StatsReading& written);
    Figures Current(StatsWindow window) const;

private:
    RunStatistics m_run;
    WindowStatistics m_second{std::chrono::seconds(1)};
    WindowStatistics m_tenSeconds{std::chrono::seconds(10)};
    WindowStatistics m_minute{std::chrono::seconds(60)};
};

}  // namespace device
