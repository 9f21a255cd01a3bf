#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "device/reading_stream.h"
#include "device/recorded_readings.h"

// A recorded file read back as the readings of a run, a batch at a time, so that a file of any
// size takes no more memory than a batch: each reading as a run hands it over (TimedReading, for
// the plot) and as it is written (StatsReading, for the statistics). A pressure log has no time
// per reading: its readings are placed at the transducer's nominal rate, and moved on to a time
// line's second where that lies later (a pause, a gap); it has no raw counts either, which its
// TimedReadings carry as kNoCounts.
namespace device {

inline constexpr double kNominalReadingsPerSecond = 150;
inline constexpr long kNoCounts = -1;  // a raw count no transducer sends: the file has none

struct RecordedBatch {
    std::vector<TimedReading> timed;
    std::vector<StatsReading> written;
};

class RecordingFile {
public:
    enum class Step { More, End, Bad };

    RecordingFile();
    ~RecordingFile();

    // False with the system's reason.
    bool Open(const std::string& path, std::string* error);
    // Up to `most` readings into `batch` (emptied first). End: the file is read; Bad: a line
    // fits no format, Error() names it; the readings before it are in `batch`.
    Step Next(size_t most, RecordedBatch* batch);

    const std::string& Error() const { return m_error; }
    RecordedFormat Format() const { return m_reader.Format(); }
    std::uint64_t Size() const { return m_size; }
    std::uint64_t Position() const { return m_position; }
    long Readings() const { return m_readings; }
    // The last line had no line end (a file still being written, or cut off): it was left out.
    // Names it ("line 12"); empty when the file ends in a whole line.
    const std::string& CutLine() const { return m_cutLine; }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    bool TakeLine(std::string_view line, RecordedBatch* batch);
    Step Stamped(RecordedBatch* batch, Step step) const;  // the batch's UTC times
    TimedReading Timed(std::string_view line, const StatsReading& reading);

    std::unique_ptr<std::FILE, Closer> m_file;
    RecordedReadingsReader m_reader;
    std::string m_buffer;  // read, not yet taken
    size_t m_taken = 0;    // of m_buffer
    bool m_eof = false;
    std::uint64_t m_size = 0, m_position = 0;
    long m_lines = 0, m_readings = 0;
    std::string m_error, m_cutLine;
    std::chrono::system_clock::time_point m_modified{};
    std::chrono::system_clock::time_point m_wallStart{};
    bool m_haveWallStart = false;
    // A pressure log's placement.
    std::int64_t m_nextNanos = 0;
    bool m_anchored = false;
    long m_anchorSecond = 0, m_lastSecond = 0, m_dayOffset = 0;
    std::int64_t m_anchorNanos = 0;
};

// "2026-12-09T06:20:41.123Z" as a time; false when it is not one.
bool ParseIsoUtcMillis(std::string_view text, std::chrono::system_clock::time_point* utc);

}  // namespace device
