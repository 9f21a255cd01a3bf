// Recorded files into readings: each format, and the line that fits none.

#include "device/recorded_readings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using device::RecordedFormat;
using device::StatsReading;

struct Read {
    RecordedFormat format = RecordedFormat::Unknown;
    std::vector<StatsReading> readings;
    std::string error;
};

Read ReadText(const std::string& text) {
    Read read;
    device::RecordedReadingsReader reader;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        StatsReading r;
        const auto result = reader.TakeLine(std::string_view(text).substr(start, end - start), &r);
        if (result == device::LineResult::Bad) {
            read.error = reader.Error();
            break;
        }
        if (result == device::LineResult::Reading) read.readings.push_back(r);
        start = end + 1;
    }
    read.format = reader.Format();
    return read;
}

TEST(RecordedReadings, Each_format_gives_its_readings_as_written) {
    const device::RawCounts counts{3670016, 28103};
    struct Case {
        std::string text;
        RecordedFormat format;
        std::vector<StatsReading> readings;
    };
    for (const Case& c : {
             Case{"02:20:41\r\n\t6.298772\r\n\t-0.500000\r\n02:20:42\r\n\tnan\r\n",
                  RecordedFormat::PressureLog,
                  {{std::nullopt, 6.298772, std::nullopt},
                   {std::nullopt, -0.5, std::nullopt},
                   {std::nullopt, std::nan(""), std::nullopt}}},
             Case{"time,seconds,psi,raw_p,raw_t\n"
                  "2026-12-09T06:20:41.123Z,0.106667,6.298772,3670016,28103\n"
                  "2026-12-09T06:20:41.130Z,0.113333,-nan,3670016,28103\n",
                  RecordedFormat::Csv,
                  {{106667, 6.298772, counts}, {113333, std::nan(""), counts}}},
             Case{R"({"time":"2026-12-09T06:20:41.123Z","seconds":0.106667,"psi":6.298772,)"
                  R"("raw_p":3670016,"raw_t":28103})"
                  "\n\n"
                  R"({"seconds":86400.5,"psi":null,"raw_p":3670016,"raw_t":28103})",
                  RecordedFormat::Ndjson,
                  {{106667, 6.298772, counts}, {86'400'500'000, std::nan(""), counts}}},
         }) {
        const Read read = ReadText(c.text);
        EXPECT_EQ(read.error, "");
        EXPECT_EQ(read.format, c.format);
        ASSERT_EQ(read.readings.size(), c.readings.size());
        for (size_t i = 0; i < c.readings.size(); ++i) {
            const StatsReading &a = read.readings[i], &e = c.readings[i];
            EXPECT_EQ(a.micros, e.micros);
            EXPECT_TRUE(a.psi == e.psi || (std::isnan(a.psi) && std::isnan(e.psi))) << a.psi;
            EXPECT_EQ(a.raw.has_value(), e.raw.has_value());
            if (a.raw && e.raw) {
                EXPECT_EQ(a.raw->pressure, e.raw->pressure);
                EXPECT_EQ(a.raw->temperature, e.raw->temperature);
            }
        }
    }
}

TEST(RecordedReadings, A_line_that_fits_no_format_is_named_with_its_number) {
    struct Case {
        std::string text, error;
    };
    for (const Case& c : {
             Case{"hello\n", "line 1: neither a pressure log"},
             Case{"\t1.000000\r\n\t1.0x\r\n", "line 2: not a pressure log line"},
             Case{"time,seconds,psi,raw_p,raw_t\nT,0.1,1.0,5\n", "line 2: not a CSV reading"},
             Case{"time,seconds,psi,raw_p,raw_t\nT,0.2,1,5,6\nT,0.1,1,5,6\n",
                  "line 3: the seconds go back"},
             Case{"{\"seconds\":0.1,\"psi\":1}\n", "line 1: not an NDJSON reading"},
             Case{"{\"seconds\":0.1,\"psi\":1,\"raw_p\":1,\"raw_t\":2}\n{\"seconds\":\n",
                  "line 2: not an NDJSON reading"},
         }) {
        EXPECT_EQ(ReadText(c.text).error.rfind(c.error, 0), 0u) << ReadText(c.text).error;
    }
}

}  // namespace
