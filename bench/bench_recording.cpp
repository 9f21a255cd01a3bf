// Prints what opening a large recording and computing a spectrum cost; asserts nothing.
//   bench/bench_recording [gigabytes]   (2 by default; QT_QPA_PLATFORM=offscreen without a desktop)
// A CSV of that size (zelctl's format, 150 readings a second) is written to the scratch folder,
// opened in a Pressure Plot window exactly as Open Recording does, and removed again.

#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "device/reading_stream.h"
#include "device/welch_psd.h"
#include "ui/pressure_feed.h"
#include "ui/pressure_plot_window.h"
#include "ui/recording_window.h"

namespace {

using Clock = std::chrono::steady_clock;

long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Spectrum60s() {
    std::mt19937_64 random(3);
    std::normal_distribution<double> noise(0, 1e-4);
    std::vector<double> t, psi;
    for (int i = 0; i < 150 * 60; ++i) {
        t.push_back(i / 150.0);
        psi.push_back(14.7 + 0.01 * std::sin(2 * M_PI * 50 * t.back()) + noise(random));
    }
    std::vector<double> took;
    for (int run = 0; run < 21; ++run) {
        const auto start = Clock::now();
        std::string error;
        const auto s = device::WelchOf(t, psi, 0, &error);
        took.push_back(SecondsSince(start));
        if (!s) std::printf("no spectrum: %s\n", error.c_str());
    }
    std::sort(took.begin(), took.end());
    std::printf(
        "spectrum of 60 s (9000 readings, default segment %d): median %.3f ms, max %.3f ms\n",
        device::DefaultSegment(9000), took[10] * 1e3, took.back() * 1e3);
    std::vector<double> lt, lpsi;
    for (int i = 0; i < 150 * 3600; ++i) {
        lt.push_back(i / 150.0);
        lpsi.push_back(14.7 + noise(random));
    }
    const auto start = Clock::now();
    std::string error;
    device::WelchOf(lt, lpsi, 0, &error);
    std::printf("spectrum of an hour (540000 readings, segment 4096): %.1f ms\n",
                SecondsSince(start) * 1e3);
}

}  // namespace

int main(int argc, char* argv[]) {
    const double gigabytes = argc > 1 ? std::atof(argv[1]) : 2.0;
    QApplication app(argc, argv);
    Spectrum60s();

    const std::string path = (std::filesystem::temp_directory_path() /
                              ("zel-bench-" + std::to_string(::getpid()) + ".csv"))
                                 .string();
    long readingsWritten = 0;
    {
        std::ofstream out(path, std::ios::binary);
        out << device::CsvHeader();
        device::ReadingClock clock;
        const auto steady = device::ReadingClock::Steady::now();
        clock.Start(steady);
        std::mt19937_64 random(5);
        std::normal_distribution<double> noise(0, 1e-4);
        std::string block;
        long step = 0;
        const auto bytes = static_cast<std::uintmax_t>(gigabytes * 1e9);
        for (std::uintmax_t written = 0; written < bytes; ++step) {
            std::vector<device::Reading> readings(15);
            for (auto& r : readings) r = {14.7 + noise(random), 8000000, 28000};
            block.clear();
            for (const auto& r :
                 clock.Stamp(readings, steady + std::chrono::milliseconds(100 * step)))
                block += device::CsvLine(r);
            out << block;
            written += block.size();
            readingsWritten += 15;
        }
    }
    const auto size = std::filesystem::file_size(path);
    const long before = StatusKb("VmRSS:");
    const auto start = Clock::now();
    QPointer<ui::PressurePlotWindow> window =
        ui::OpenRecording(QString::fromStdString(path), nullptr);
    auto* bar = window->findChild<QProgressBar*>();
    while (window && bar->isVisible()) QApplication::processEvents(QEventLoop::AllEvents, 50);
    const double took = SecondsSince(start);
    std::printf(
        "opened a %.2f GB CSV (%ld readings, %.1f h at 150 a second) in %.1f s (%.0f MB/s); "
        "RSS before %ld MB, after %ld MB, peak %ld MB\n",
        size / 1e9, readingsWritten, readingsWritten / 150.0 / 3600, took, size / 1e6 / took,
        before / 1024, StatusKb("VmRSS:") / 1024, StatusKb("VmHWM:") / 1024);
    delete window;
    std::filesystem::remove(path);
    return 0;
}
