#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

#include "device/reading_stream.h"

namespace ui {

// One shown reading, compactly (24 bytes): its monotonic time since the run began, the pressure
// in PSI and the raw counts (the transducer's are 24-bit; larger ones saturate at 32 bits).
struct TracePoint {
    std::int64_t nanos = 0;
    double psi = 0;
    std::int32_t rawPressure = 0;
    std::int32_t rawTemperature = 0;

    double Seconds() const { return static_cast<double>(nanos) / 1e9; }
};

// The readings of one run, for the pressure plot. The last hour (and a minute) is kept reading
// by reading, about 13 MB at 150 readings a second; the whole run also in at most 4096 time
// buckets (first, lowest, highest and last pressure each), whose width doubles whenever they run
// out: a run of any length takes bounded memory. User-interface thread only.
class PressureTrace {
public:
    // How far back single readings are kept.
    static constexpr double kRecentSeconds = 3660.0;

    // One column of a drawing: the readings that fall into its span of time.
    struct Column {
        double first = 0, lowest = 0, highest = 0, last = 0;
        bool any = false;
    };

    void Clear();  // a new run
    // The run's start on the wall clock: a reading's UTC is that plus its time since the start.
    void SetWallStart(std::chrono::system_clock::time_point wallStart) { m_wallStart = wallStart; }
    void Add(TracePoint point);  // times never decrease

    size_t Count() const { return m_count; }  // readings since Clear
    bool Empty() const { return m_count == 0; }
    const TracePoint& Newest() const { return m_recent.back(); }       // not when Empty
    const std::deque<TracePoint>& Recent() const { return m_recent; }  // oldest first
    bool AllKept() const { return m_count == m_recent.size(); }

    // The reading as the session handed it over: the same CSV line, the same texts.
    device::TimedReading Reading(const TracePoint& point) const;
    // The kept readings from `from` to `to` seconds, both included.
    std::vector<device::TimedReading> Readings(double from, double to) const;
    // The first kept reading at or after `seconds`, as an index into Recent().
    size_t IndexAt(double seconds) const;
    // The kept reading nearest in time to `seconds`; Recent().size() when none is kept.
    size_t Nearest(double seconds) const;

    // [from, to] cut into `count` equal columns, with the readings up to `until`: from single
    // readings where they are still kept and not too many, else from the buckets.
    std::vector<Column> Columns(double from, double to, int count,
                                double until = std::numeric_limits<double>::infinity()) const;

private:
    static constexpr size_t kMaxBuckets = 4096;
    static constexpr double kFirstBucketSeconds = 1.0 / 64;
    // More single readings than this many a column are drawn from the buckets.
    static constexpr size_t kSinglesPerColumn = 16;

    void AddToBuckets(const TracePoint& point);

    std::deque<TracePoint> m_recent;
    std::vector<Column> m_buckets;  // bucket i: [i, i + 1) x m_bucketSeconds
    double m_bucketSeconds = kFirstBucketSeconds;
    size_t m_count = 0;
    std::chrono::system_clock::time_point m_wallStart{};
};

}  // namespace ui
