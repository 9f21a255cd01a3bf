// A recorded file read back batch by batch as a run's readings: times, counts, the log's placed
// times, and the lines that end the reading.

#include "device/recording_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/scratch_files.h"

namespace {

using namespace std::chrono_literals;
using device::RecordingFile;

std::string Written(const std::string& name, const std::string& text) {
    const std::string path = test_files::ScratchPath(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct ReadBack {
    device::RecordedBatch all;
    RecordingFile::Step last = RecordingFile::Step::More;
    std::string error, cut;
    std::uint64_t position = 0, size = 0;
};

ReadBack ReadAll(const std::string& path, size_t batch = 2) {
    RecordingFile file;
    std::string error;
    EXPECT_TRUE(file.Open(path, &error)) << error;
    ReadBack read;
    device::RecordedBatch part;
    do {
        read.last = file.Next(batch, &part);
        EXPECT_LE(part.timed.size(), batch);
        read.all.timed.insert(read.all.timed.end(), part.timed.begin(), part.timed.end());
        read.all.written.insert(read.all.written.end(), part.written.begin(), part.written.end());
    } while (read.last == RecordingFile::Step::More);
    read.error = file.Error();
    read.cut = file.CutLine();
    read.position = file.Position();
    read.size = file.Size();
    return read;
}

TEST(RecordingFile, Csv_and_ndjson_give_back_the_readings_of_the_run) {
    device::ReadingClock clock;
    const auto wall = std::chrono::sys_days(std::chrono::year(2026) / 12 / 9) + 6h + 20min + 41s;
    clock.Start(std::chrono::steady_clock::time_point(100s), wall);
    const auto run =
        clock.Stamp({{6.298772, 3670016, 28103}, {6.3, 3670100, 28104}, {-0.25, 3600000, 28105}},
                    std::chrono::steady_clock::time_point(100s + 100ms));
    std::string csv = device::CsvHeader(), ndjson;
    for (const auto& r : run) {
        csv += device::CsvLine(r);
        ndjson += R"({"time":")" + device::IsoUtcMillis(r.utc) + R"(","seconds":)" +
                  std::to_string(r.Seconds()) + R"(,"psi":)" + r.psiText + R"(,"raw_p":)" +
                  std::to_string(r.rawPressure) + R"(,"raw_t":)" +
                  std::to_string(r.rawTemperature) + "}\n";
    }
    for (const std::string& path : {Written("run.csv", csv), Written("run.ndjson", ndjson)}) {
        SCOPED_TRACE(path);
        const ReadBack read = ReadAll(path);
        EXPECT_EQ(read.last, RecordingFile::Step::End);
        EXPECT_EQ(read.position, read.size);
        ASSERT_EQ(read.all.timed.size(), run.size());
        for (size_t i = 0; i < run.size(); ++i) {
            const device::TimedReading& got = read.all.timed[i];
            EXPECT_EQ(got.Seconds(), run[i].Seconds());
            EXPECT_EQ(got.psiText, run[i].psiText);
            EXPECT_EQ(got.rawPressure, run[i].rawPressure);
            EXPECT_EQ(got.rawTemperature, run[i].rawTemperature);
            EXPECT_EQ(device::IsoUtcMillis(got.utc), device::IsoUtcMillis(run[i].utc));
            EXPECT_EQ(read.all.written[i].micros, device::MicrosOfSeconds(run[i].Seconds()));
        }
    }
}

TEST(RecordingFile, A_pressure_log_is_placed_at_the_nominal_rate_and_on_to_its_time_lines) {
    const ReadBack read =
        ReadAll(Written("log.txt",
                        "\t1.000000\r\n23:59:58\r\n\t2.000000\r\n\t3.000000\r\n23:59:58\r\n"
                        "\t4.000000\r\n00:00:01\r\n\t5.000000\r\n\t6.000000\r\n"));
    ASSERT_EQ(read.last, RecordingFile::Step::End);
    const double period = 1 / device::kNominalReadingsPerSecond;
    // Midnight passed: 23:59:58 to 00:00:01 is 3 s on from the first time line.
    const double expected[] = {0, period, 2 * period, 3 * period, period + 3, 2 * period + 3};
    ASSERT_EQ(read.all.timed.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_NEAR(read.all.timed[i].Seconds(), expected[i], 1e-6) << i;
        EXPECT_EQ(read.all.timed[i].rawPressure, device::kNoCounts);
        EXPECT_FALSE(read.all.written[i].micros);
        EXPECT_FALSE(read.all.written[i].raw);
    }
    EXPECT_EQ(read.all.timed[5].psiText, "6.000000");
}

TEST(RecordingFile, Names_the_line_that_fits_no_format_and_a_cut_last_line) {
    const std::string header = device::CsvHeader();
    const std::string line = "2026-12-09T06:20:41.123Z,0.106667,6.298772,3670016,28103\n";
    const ReadBack bad = ReadAll(Written("bad.csv", header + line + "0.2,6.3\n" + line));
    EXPECT_EQ(bad.last, RecordingFile::Step::Bad);
    EXPECT_EQ(bad.error.rfind("line 3: not a CSV reading", 0), 0u) << bad.error;
    EXPECT_EQ(bad.all.timed.size(), 1u);

    const ReadBack cut = ReadAll(Written("cut.csv", header + line + line.substr(0, 30)));
    EXPECT_EQ(cut.last, RecordingFile::Step::End);
    EXPECT_EQ(cut.cut, "line 3");
    EXPECT_EQ(cut.all.timed.size(), 1u);
    EXPECT_EQ(cut.position, cut.size);

    const ReadBack binary = ReadAll(Written("binary", std::string(100000, 'x')));
    EXPECT_EQ(binary.last, RecordingFile::Step::Bad);
    EXPECT_EQ(binary.error.rfind("line 1: longer than", 0), 0u) << binary.error;

    RecordingFile missing;
    std::string error;
    EXPECT_FALSE(missing.Open(test_files::ScratchPath("none"), &error));
    EXPECT_EQ(error, "No such file or directory");
}

}  // namespace
