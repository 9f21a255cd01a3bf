// zelctl stats through the real executable on files written by the readings' own writer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.h"
#include "cli/figures_json.h"
#include "cli/reading_formats.h"
#include "device/c_numbers.h"
#include "device/figure_table.h"
#include "device/reading_statistics.h"
#include "tests/support/two_pass_statistics.h"

namespace {

using namespace std::chrono_literals;

std::string ScratchFile(const std::string& name, const std::string& content) {
    const std::string path =
        ::testing::TempDir() + "zelctl-stats-" + std::to_string(::getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

ChildResult Stats(std::vector<std::string> args) {
    args.insert(args.begin(), {ZELCTL_PATH, "stats"});
    return RunChild(args);
}

TEST(ZelctlStats, Gives_the_figures_the_library_computes_from_the_same_readings) {
    // Ten minutes at 150 a second, written as acquire --format csv writes them.
    const auto series = test_stats::DayLikeSeries(150 * 600);
    std::vector<device::TimedReading> readings;
    for (const auto& r : series) {
        readings.push_back({std::chrono::system_clock::now(), std::chrono::microseconds(*r.micros),
                            r.psi, device::FormatFixed6(r.psi), r.raw->pressure,
                            r.raw->temperature});
    }
    const std::string path = ScratchFile(
        "run.csv", device::CsvHeader() + FormatReadings(cli::ReadingsFormat::Csv, readings, {}));

    device::RunStatistics run;
    device::WindowStatistics window(10s);
    for (const auto& r : series) {
        run.Add(r);
        window.Add(r);
    }
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    for (const Case& c : {
             Case{{path}, device::FiguresSummaryText(device::FigureTable(run.Current()))},
             Case{{path, "--json"}, cli::FiguresJson(run.Current()).dump(2) + "\n"},
             Case{{"--window", "10", "--json", path},
                  cli::FiguresJson(window.Current()).dump(2) + "\n"},
         }) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ChildResult r = Stats(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.expected);
    }
    std::remove(path.c_str());
}

TEST(ZelctlStats, A_file_it_cannot_take_exits_2_and_says_why) {
    const std::string csv =
        ScratchFile("bad.csv", "time,seconds,psi,raw_p,raw_t\nT,0.1,1,2,3\nx\n");
    const std::string log = ScratchFile("log.txt", "\t1.000000\r\n");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case& c : {
             Case{{csv}, "line 3: not a CSV reading"},
             Case{{log, "--window", "1"}, "is a pressure log, which has no seconds"},
             Case{{csv + ".missing"}, "cannot be read: No such file or directory"},
         }) {
        const ChildResult r = Stats(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    std::remove(csv.c_str());
    std::remove(log.c_str());
}

}  // namespace
