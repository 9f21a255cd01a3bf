#include "device/recording_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>

#include "device/c_numbers.h"

namespace device {
namespace {

constexpr size_t kChunkBytes = 1 << 20;
constexpr size_t kLongestLine = 1 << 16;
constexpr std::int64_t kNominalPeriodNanos =
    static_cast<std::int64_t>(1e9 / kNominalReadingsPerSecond + 0.5);

template <typename T>
bool Digits(std::string_view text, size_t at, size_t count, T* value) {
    if (at + count > text.size()) return false;
    const char* begin = text.data() + at;
    const auto [end, ec] = std::from_chars(begin, begin + count, *value);
    return ec == std::errc() && end == begin + count;
}

// "hh:mm:ss" as seconds of the day; -1 when the line is none.
long TimeLineSecond(std::string_view line) {
    int h = 0, m = 0, s = 0;
    if (line.size() != 8 || line[2] != ':' || line[5] != ':' || !Digits(line, 0, 2, &h) ||
        !Digits(line, 3, 2, &m) || !Digits(line, 6, 2, &s))
        return -1;
    return h * 3600L + m * 60L + s;
}

// The time text of a CSV or NDJSON reading line, where it has one.
std::string_view TimeText(std::string_view line, RecordedFormat format) {
    if (format == RecordedFormat::Csv) return line.substr(0, line.find(','));
    constexpr std::string_view key = "\"time\":\"";
    const size_t at = line.find(key);
    if (at == std::string_view::npos) return {};
    const size_t from = at + key.size();
    return line.substr(from, line.find('"', from) - from);
}

}  // namespace

bool ParseIsoUtcMillis(std::string_view text, std::chrono::system_clock::time_point* utc) {
    int year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
    if (text.size() != 24 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != '.' || text[23] != 'Z' ||
        !Digits(text, 0, 4, &year) || !Digits(text, 5, 2, &month) || !Digits(text, 8, 2, &day) ||
        !Digits(text, 11, 2, &hour) || !Digits(text, 14, 2, &minute) ||
        !Digits(text, 17, 2, &second) || !Digits(text, 20, 3, &millis))
        return false;
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                           std::chrono::day(day)};
    if (!date.ok() || hour > 23 || minute > 59 || second > 60) return false;
    *utc = std::chrono::sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
           std::chrono::seconds(second) + std::chrono::milliseconds(millis);
    return true;
}

RecordingFile::RecordingFile() = default;
RecordingFile::~RecordingFile() = default;

bool RecordingFile::Open(const std::string& path, std::string* error) {
    m_file.reset(std::fopen(path.c_str(), "rb"));
    struct stat info {};
    if (!m_file || ::fstat(::fileno(m_file.get()), &info) != 0) {
        *error = std::strerror(errno);
        m_file.reset();
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = "it is a folder";
        m_file.reset();
        return false;
    }
    m_size = static_cast<std::uint64_t>(info.st_size);
    m_modified = std::chrono::system_clock::from_time_t(info.st_mtime);
    return true;
}

RecordingFile::Step RecordingFile::Next(size_t most, RecordedBatch* batch) {
    batch->timed.clear();
    batch->written.clear();
    while (batch->timed.size() < most) {
        const size_t end = m_buffer.find('\n', m_taken);
        if (end == std::string::npos) {
            if (m_buffer.size() - m_taken > kLongestLine) {
                m_error = "line " + std::to_string(m_lines + 1) +
                          ": longer than a recorded reading can be (no line end in 64 kB)";
                return Stamped(batch, Step::Bad);
            }
            if (m_eof) {
                if (m_taken < m_buffer.size()) {
                    m_cutLine = "line " + std::to_string(m_lines + 1);
                    m_position += m_buffer.size() - m_taken;
                }
                m_buffer.clear();
                m_taken = 0;
                return Stamped(batch, Step::End);
            }
            m_buffer.erase(0, m_taken);
            m_taken = 0;
            const size_t had = m_buffer.size();
            m_buffer.resize(had + kChunkBytes);
            const size_t got = std::fread(m_buffer.data() + had, 1, kChunkBytes, m_file.get());
            m_buffer.resize(had + got);
            if (got < kChunkBytes) {
                if (std::ferror(m_file.get())) {
                    m_error =
                        "it could not be read to the end: " + std::string(std::strerror(errno));
                    return Stamped(batch, Step::Bad);
                }
                m_eof = true;
            }
            continue;
        }
        const std::string_view line(m_buffer.data() + m_taken, end - m_taken);
        m_taken = end + 1;
        m_position += line.size() + 1;
        if (!TakeLine(line, batch)) return Stamped(batch, Step::Bad);
    }
    return Stamped(batch, Step::More);
}

RecordingFile::Step RecordingFile::Stamped(RecordedBatch* batch, Step step) const {
    for (TimedReading& r : batch->timed)
        r.utc = m_wallStart +
                std::chrono::duration_cast<std::chrono::system_clock::duration>(r.sinceStart);
    return step;
}

bool RecordingFile::TakeLine(std::string_view line, RecordedBatch* batch) {
    ++m_lines;
    StatsReading reading;
    switch (m_reader.TakeLine(line, &reading)) {
        case LineResult::Bad:
            m_error = m_reader.Error();
            return false;
        case LineResult::NoReading:
            if (Format() == RecordedFormat::PressureLog) {
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                const long second = TimeLineSecond(line);
                if (second >= 0) {
                    if (!m_anchored) {
                        m_anchored = true;
                        m_anchorSecond = m_lastSecond = second;
                        m_anchorNanos = m_nextNanos;
                    }
                    if (second < m_lastSecond) m_dayOffset += 86400;  // past midnight
                    m_lastSecond = second;
                    const std::int64_t at =
                        m_anchorNanos + (second + m_dayOffset - m_anchorSecond) * 1'000'000'000LL;
                    m_nextNanos = std::max(m_nextNanos, at);
                    if (!m_haveWallStart && m_readings == 0) {
                        // The log's time lines are local times of day, on the file's date.
                        const std::time_t modified =
                            std::chrono::system_clock::to_time_t(m_modified);
                        std::tm local{};
                        localtime_r(&modified, &local);
                        local.tm_hour = static_cast<int>(second / 3600);
                        local.tm_min = static_cast<int>(second / 60 % 60);
                        local.tm_sec = static_cast<int>(second % 60);
                        local.tm_isdst = -1;
                        m_wallStart = std::chrono::system_clock::from_time_t(std::mktime(&local));
                        m_haveWallStart = true;
                    }
                }
            }
            return true;
        case LineResult::Reading:
            break;
    }
    batch->timed.push_back(Timed(line, reading));
    batch->written.push_back(reading);
    ++m_readings;
    return true;
}

TimedReading RecordingFile::Timed(std::string_view line, const StatsReading& reading) {
    TimedReading timed;
    if (reading.micros) {
        timed.sinceStart = std::chrono::microseconds(*reading.micros);
    } else {
        timed.sinceStart = std::chrono::nanoseconds(m_nextNanos);
        m_nextNanos += kNominalPeriodNanos;
    }
    const auto since =
        std::chrono::duration_cast<std::chrono::system_clock::duration>(timed.sinceStart);
    // Each line's time is its reading's, cut to the millisecond: the run's start lies at or after
    // every line's time less its seconds, and that bound, the latest so far, gives every line seen
    // its own time text back.
    std::chrono::system_clock::time_point utc;
    if (reading.micros && ParseIsoUtcMillis(TimeText(line, Format()), &utc)) {
        if (!m_haveWallStart || utc - since > m_wallStart) m_wallStart = utc - since;
        m_haveWallStart = true;
    } else if (!m_haveWallStart) {
        m_wallStart = m_modified - since;
        m_haveWallStart = true;
    }
    timed.psi = reading.psi;
    timed.psiText = FormatFixed6(reading.psi);
    timed.rawPressure = reading.raw ? reading.raw->pressure : kNoCounts;
    timed.rawTemperature = reading.raw ? reading.raw->temperature : kNoCounts;
    return timed;
}

}  // namespace device
