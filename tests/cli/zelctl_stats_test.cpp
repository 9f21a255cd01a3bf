// zelctl stats through the real executable on files written by the readings' own writer, and
// the live figures of zelctl acquire --summary against a plain computation over its own CSV.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.h"
#include "cli/figures_json.h"
#include "cli/reading_formats.h"
#include "device/c_numbers.h"
#include "device/figure_table.h"
#include "device/reading_statistics.h"
#include "device/welch_psd.h"
#include "sim/simulator.h"
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
    std::vector<double> seconds, psi, lastSeconds, lastPsi;
    for (const auto& r : series) {
        run.Add(r);
        window.Add(r);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::microseconds(*r.micros)).count());
        psi.push_back(r.psi);
        if (*r.micros > *series.back().micros - 10'000'000) {
            lastSeconds.push_back(seconds.back());
            lastPsi.push_back(r.psi);
        }
    }
    // The figures' JSON with the spectrum's keys, as the library computes them.
    const auto withSpectrum = [](const device::Figures& figures, const std::vector<double>& t,
                                 const std::vector<double>& p) {
        auto json = cli::FiguresJson(figures);
        std::string error;
        const auto spectrum = device::WelchOf(t, p, 0, &error);
        EXPECT_TRUE(spectrum && spectrum->noiseDensity) << error;
        json["noise_density_psi_per_rthz"] = *spectrum->noiseDensity;
        json["peaks"] = nlohmann::ordered_json::array();
        for (const auto& peak : spectrum->peaks)
            json["peaks"].push_back({{"hz", peak.hz}, {"amplitude_psi", peak.amplitudePsi}});
        EXPECT_EQ(json["peaks"].size(), 3u);
        return json.dump(2) + "\n";
    };
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    for (const Case& c : {
             Case{{path}, device::FiguresSummaryText(device::FigureTable(run.Current()))},
             Case{{path, "--json"}, withSpectrum(run.Current(), seconds, psi)},
             Case{{"--window", "10", "--json", path},
                  withSpectrum(window.Current(), lastSeconds, lastPsi)},
         }) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ChildResult r = Stats(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.expected);
    }

    // --psd writes what the library computes, at the chosen segment.
    const std::string psd = ScratchFile("run.psd.csv", "");
    for (int segment : {0, 512}) {
        std::vector<std::string> args = {path, "--psd", psd};
        if (segment) args.insert(args.end(), {"--segment", std::to_string(segment)});
        const ChildResult r = Stats(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::ifstream in(psd);
        std::stringstream written;
        written << in.rdbuf();
        std::string error;
        const auto spectrum = device::WelchOf(seconds, psi, segment, &error);
        ASSERT_TRUE(spectrum) << error;
        EXPECT_EQ(written.str(), device::SpectrumCsv(*spectrum));
        if (segment) {
            EXPECT_EQ(spectrum->hz.size(), 257u);
        }
    }
    std::remove(psd.c_str());
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
             Case{{log, "--psd", log + ".psd"}, "has no spectrum: fewer readings (1)"},
             Case{{log, "--segment", "100"}, "--segment needs a number of readings from 256"},
         }) {
        const ChildResult r = Stats(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    std::remove(csv.c_str());
    std::remove(log.c_str());
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

template <typename T>
T Number(const std::string& text) {
    T value{};
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

TEST(ZelctlAcquire, Summary_equals_a_plain_computation_over_its_csv_and_counts_every_reading) {
    sim::Simulator simulator;
    ASSERT_TRUE(simulator.Start());
    const std::string summary = ScratchFile("summary.json", ""), log = ScratchFile("run.log", "");
    const ChildResult r =
        RunChild({ZELCTL_PATH, "acquire", "--port", simulator.PortPath(), "--format", "csv",
                  "--duration", "4", "--summary", summary, "--log", log});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    std::vector<device::StatsReading> readings;
    std::stringstream csv(r.out);
    std::string line;
    std::getline(csv, line);  // the header
    while (std::getline(csv, line)) {
        const auto f = Fields(line);
        ASSERT_EQ(f.size(), 5u) << line;
        readings.push_back({device::MicrosOfSeconds(Number<double>(f[1])), Number<double>(f[2]),
                            device::RawCounts{Number<long>(f[3]), Number<long>(f[4])}});
    }
    ASSERT_GT(readings.size(), 300u);
    std::ifstream in(summary);
    const auto json = nlohmann::json::parse(in, nullptr, false);
    ASSERT_FALSE(json.is_discarded());
    const auto expected = cli::FiguresJson(test_stats::TwoPassFigures(readings, true));
    for (const auto& [key, value] : expected.items()) {
        const auto check = [&](const nlohmann::json& actual, const nlohmann::json& want) {
            if (want.is_null()) {
                EXPECT_TRUE(actual.is_null()) << key;
                return;
            }
            EXPECT_NEAR(actual.get<double>(), want.get<double>(),
                        std::fabs(want.get<double>()) * 1e-9) << key;
        };
        if (value.is_object()) {
            for (const auto& [tau, v] : value.items()) check(json[key][tau], v);
        } else {
            check(json[key], value);
        }
    }

    std::ifstream logFile(log, std::ios::binary);
    const std::string logText((std::istreambuf_iterator<char>(logFile)), {});
    EXPECT_EQ(json["shown"], readings.size());
    EXPECT_EQ(std::count(logText.begin(), logText.end(), '\t'), std::ssize(readings));
    EXPECT_EQ(json["zero"], 0);
    // Every record the simulator sent was received, but those the stop's drain threw away (five
    // bytes at least each).
    const auto records = simulator.Readings();
    const long sent = std::count_if(records.begin(), records.end(),
                                    [](const auto& record) { return record.kind == 'P'; });
    const long received = json["received"];
    EXPECT_LE(received, sent);
    EXPECT_LE(sent - received, json["drained_bytes"].get<long>() / 5 + 1);
    EXPECT_EQ(received, json["shown"].get<long>() + json["no_temperature"].get<long>());
}

}  // namespace
