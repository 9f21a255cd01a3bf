#pragma once

#include <cstddef>
#include <deque>
#include <vector>

namespace ui {

// One shown reading against time: seconds since its run began, and the pressure in PSI.
struct TracePoint {
    double seconds = 0;
    double psi = 0;
};

// The readings of one run, for the pressure plot. The last minute is kept reading by reading; the
// whole run also in at most 4096 time buckets (first, lowest, highest and last pressure each),
// whose width doubles whenever they run out: a run of any length takes bounded memory.
// User-interface thread only.
class PressureTrace {
public:
    // How far back single readings are kept: the longest window but the whole run, and a margin.
    static constexpr double kRecentSeconds = 61.0;

    // One column of a drawing: the readings that fall into its span of time.
    struct Column {
        double first = 0, lowest = 0, highest = 0, last = 0;
        bool any = false;
    };

    void Clear();                // a new run
    void Add(TracePoint point);  // times never decrease

    size_t Count() const { return m_count; }  // readings since Clear
    bool Empty() const { return m_count == 0; }
    const TracePoint& Newest() const { return m_recent.back(); }       // not when Empty
    const std::deque<TracePoint>& Recent() const { return m_recent; }  // oldest first

    // [from, to] cut into `count` equal columns: from single readings where they are still kept,
    // else from the buckets.
    std::vector<Column> Columns(double from, double to, int count) const;

private:
    static constexpr size_t kMaxBuckets = 4096;
    static constexpr double kFirstBucketSeconds = 1.0 / 64;

    void AddToBuckets(const TracePoint& point);

    std::deque<TracePoint> m_recent;
    std::vector<Column> m_buckets;  // bucket i: [i, i + 1) x m_bucketSeconds
    double m_bucketSeconds = kFirstBucketSeconds;
    size_t m_count = 0;
};

}  // namespace ui
