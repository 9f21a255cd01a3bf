// zelctl stats: the statistics and the spectrum of a file recorded earlier, with the
// measurement's own code.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "cli/commands.h"
#include "cli/figures_json.h"
#include "device/figure_table.h"
#include "device/reading_statistics.h"
#include "device/recording_file.h"
#include "device/welch_psd.h"
#include "platform/whole_file.h"

namespace cli {
namespace {

constexpr size_t kBatch = 4096;

// Feeds every reading of the file to `take` as the program's plot would get it; false with a
// message on standard error when the file cannot be read or a line fits no format.
template <typename Take>
bool ReadRecorded(const std::string& path, device::RecordedFormat* format, Take take) {
    device::RecordingFile file;
    std::string error;
    if (!file.Open(path, &error)) {
        std::fprintf(stderr, "zelctl: %s cannot be read: %s\n", path.c_str(), error.c_str());
        return false;
    }
    device::RecordedBatch batch;
    device::RecordingFile::Step step;
    do {
        step = file.Next(kBatch, &batch);
        for (size_t i = 0; i < batch.timed.size(); ++i) take(batch.timed[i], batch.written[i]);
    } while (step == device::RecordingFile::Step::More);
    *format = file.Format();
    if (step == device::RecordingFile::Step::Bad) {
        std::fprintf(stderr, "zelctl: %s: %s\n", path.c_str(), file.Error().c_str());
        return false;
    }
    if (!file.CutLine().empty()) {
        std::fprintf(stderr, "zelctl: %s: %s has no line end (cut off?) and is left out\n",
                     path.c_str(), file.CutLine().c_str());
    }
    return true;
}

double SecondsOf(const device::TimedReading& r) {
    return std::chrono::duration<double>(r.sinceStart).count();
}

}  // namespace

int RunStats(const Options& options) {
    device::Figures figures;
    device::RecordedFormat format = device::RecordedFormat::Unknown;
    std::optional<device::Spectrum> spectrum;
    std::string spectrumError;
    if (options.windowSeconds) {
        device::WindowStatistics window(
            std::chrono::microseconds(std::llround(*options.windowSeconds * 1e6)));
        // The window's readings for its spectrum: memory bounded by the window, as the figures'.
        std::deque<std::pair<double, double>> recent;
        const auto span = std::chrono::nanoseconds(std::llround(*options.windowSeconds * 1e9));
        std::chrono::nanoseconds newest{0};
        if (!ReadRecorded(options.file, &format,
                          [&](const device::TimedReading& t, const device::StatsReading& r) {
                              window.Add(r);
                              newest = t.sinceStart;
                              recent.emplace_back(SecondsOf(t), r.psi);
                              while (recent.front().first <=
                                     std::chrono::duration<double>(newest - span).count())
                                  recent.pop_front();
                          }))
            return kExitUsage;
        if (format == device::RecordedFormat::PressureLog) {
            std::fprintf(stderr,
                         "zelctl: %s is a pressure log, which has no seconds: --window needs "
                         "zelctl's CSV or NDJSON\n",
                         options.file.c_str());
            return kExitUsage;
        }
        figures = window.Current();
        device::WelchSpectrum welch(options.segment ? options.segment
                                                    : device::DefaultSegment(recent.size()));
        for (const auto& [seconds, psi] : recent) welch.Add(seconds, psi);
        spectrum = welch.Finish(&spectrumError);
    } else {
        device::RunStatistics run;
        device::WelchSpectrum welch(options.segment);
        if (!ReadRecorded(options.file, &format,
                          [&](const device::TimedReading& t, const device::StatsReading& r) {
                              run.Add(r);
                              welch.Add(SecondsOf(t), r.psi);
                          }))
            return kExitUsage;
        figures = run.Current();
        spectrum = welch.Finish(&spectrumError);
    }

    if (!options.psdFile.empty()) {
        if (!spectrum) {
            std::fprintf(stderr, "zelctl: %s has no spectrum: %s\n", options.file.c_str(),
                         spectrumError.c_str());
            return kExitUsage;
        }
        std::string error;
        if (!platform::WriteWholeFile(options.psdFile, device::SpectrumCsv(*spectrum), &error)) {
            std::fprintf(stderr, "zelctl: %s cannot be written: %s\n", options.psdFile.c_str(),
                         error.c_str());
            return kExitUsage;
        }
    }

    std::string out;
    if (options.json) {
        auto json = FiguresJson(figures);
        json["noise_density_psi_per_rthz"] = nullptr;
        json["peaks"] = nlohmann::ordered_json::array();
        if (spectrum && spectrum->noiseDensity)
            json["noise_density_psi_per_rthz"] = *spectrum->noiseDensity;
        if (spectrum) {
            for (const device::SpectrumPeak& peak : spectrum->peaks)
                json["peaks"].push_back({{"hz", peak.hz}, {"amplitude_psi", peak.amplitudePsi}});
        }
        out = json.dump(2) + "\n";
    } else {
        out = device::FiguresSummaryText(device::FigureTable(figures));
    }
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
