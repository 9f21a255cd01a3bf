// zelctl stats: the statistics of a file recorded earlier, with the measurement's own code.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/figures_json.h"
#include "device/figure_table.h"
#include "device/reading_statistics.h"
#include "device/recorded_readings.h"

namespace cli {
namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// getline(3)'s buffer, grown by it and freed once.
struct LineBuffer {
    char* data = nullptr;
    size_t capacity = 0;
    ~LineBuffer() { std::free(data); }
};

// Feeds every reading of the file to `take`; false with a message on standard error when the file
// cannot be read or a line fits no format.
template <typename Take>
bool ReadRecorded(const std::string& path, device::RecordedFormat* format, Take take) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        std::fprintf(stderr, "zelctl: %s cannot be read: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    device::RecordedReadingsReader reader;
    LineBuffer line;
    bool good = true;
    for (ssize_t n; (n = ::getline(&line.data, &line.capacity, file.get())) >= 0;) {
        std::string_view text(line.data, static_cast<size_t>(n));
        if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
        device::StatsReading reading;
        const device::LineResult result = reader.TakeLine(text, &reading);
        if (result == device::LineResult::Bad) {
            std::fprintf(stderr, "zelctl: %s: %s\n", path.c_str(), reader.Error().c_str());
            good = false;
            break;
        }
        if (result == device::LineResult::Reading) take(reading);
    }
    if (good && std::ferror(file.get())) {
        std::fprintf(stderr, "zelctl: %s could not be read to the end: %s\n", path.c_str(),
                     std::strerror(errno));
        good = false;
    }
    *format = reader.Format();
    return good;
}

}  // namespace

int RunStats(const Options& options) {
    device::Figures figures;
    device::RecordedFormat format = device::RecordedFormat::Unknown;
    if (options.windowSeconds) {
        device::WindowStatistics window(
            std::chrono::microseconds(std::llround(*options.windowSeconds * 1e6)));
        if (!ReadRecorded(options.file, &format,
                          [&window](const device::StatsReading& r) { window.Add(r); }))
            return kExitUsage;
        if (format == device::RecordedFormat::PressureLog) {
            std::fprintf(stderr,
                         "zelctl: %s is a pressure log, which has no seconds: --window needs "
                         "zelctl's CSV or NDJSON\n",
                         options.file.c_str());
            return kExitUsage;
        }
        figures = window.Current();
    } else {
        device::RunStatistics run;
        if (!ReadRecorded(options.file, &format,
                          [&run](const device::StatsReading& r) { run.Add(r); }))
            return kExitUsage;
        figures = run.Current();
    }

    const std::string out = options.json ? FiguresJson(figures).dump(2) + "\n"
                                         : device::FiguresSummaryText(device::FigureTable(figures));
    errno = 0;
    if (std::fputs(out.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
        if (errno == EPIPE) return kExitDone;
        std::fprintf(stderr, "zelctl: standard output could not be written: %s\n",
                     std::strerror(errno));
        return kExitOutputFailed;
    }
    return kExitDone;
}

}  // namespace cli
