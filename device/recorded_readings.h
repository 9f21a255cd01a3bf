#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "device/reading_statistics.h"

// Readings from a file recorded earlier, a line at a time so that a day's file needs no more
// memory than a line: the pressure log (TAB "%f" CR LF a reading, "hh:mm:ss" CR LF time lines; PSI
// only), zelctl's CSV (header time,seconds,psi,raw_p,raw_t) or its NDJSON (one object a line with
// those keys). The first line that is not empty tells which.
namespace device {

enum class RecordedFormat { Unknown, PressureLog, Csv, Ndjson };

enum class LineResult {
    Reading,    // the line is a reading
    NoReading,  // a header, a time line or an empty line
    Bad,        // fits no format, or its time goes back: Error() says which line and why
};

class RecordedReadingsReader {
public:
    // One line without its LF; a CR before it is dropped here.
    LineResult TakeLine(std::string_view line, StatsReading* reading);
    RecordedFormat Format() const { return format_; }
    const std::string& Error() const { return error_; }

private:
    LineResult Fail(const std::string& why);
    LineResult TakePressureLogLine(std::string_view line, StatsReading* reading);
    LineResult TakeCsvLine(std::string_view line, StatsReading* reading);
    LineResult TakeNdjsonLine(std::string_view line, StatsReading* reading);

    RecordedFormat format_ = RecordedFormat::Unknown;
    long lineNumber_ = 0;
    std::optional<int64_t> lastMicros_;
    std::string error_;
};

}  // namespace device
