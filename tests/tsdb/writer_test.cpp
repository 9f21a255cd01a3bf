// The database writer against a small HTTP server of the test's own: batches in order, the spool
// while the database fails, the reject file for a malformed batch, the token.

#include "tsdb/writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/fake_http_server.h"
#include "tests/support/wait_until.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Answer = FakeHttpServer::Answer;
using Request = FakeHttpServer::Request;

std::string ScratchDir(const std::string& name) {
    const std::string dir =
        ::testing::TempDir() + "writer-" + std::to_string(::getpid()) + "-" + name;
    fs::remove_all(dir);
    return dir;
}

tsdb::Settings QuickSettings(const std::string& url, const std::string& spool) {
    tsdb::Settings settings;
    settings.url = url;
    settings.spoolDir = spool;
    settings.batchInterval = 50ms;
    settings.firstBackoff = 50ms;
    settings.maxBackoff = 100ms;
    return settings;
}

// Whether a batch waits in the spool (beside its lock file and the reject file).
bool Spooled(const std::string& spool) {
    for (const auto& entry : fs::directory_iterator(spool)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".lp") && name != "rejected.lp") return true;
    }
    return false;
}

std::string Lines(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i)
        text += "zel_pressure psi=" + std::to_string(i) + " " + std::to_string(1000 + i) + "\n";
    return text;
}

// What the server acknowledged, in order (the start's empty write has no body).
std::string Acknowledged(const FakeHttpServer& server) {
    std::string text;
    for (const Request& r : server.Requests()) {
        if (r.status / 100 == 2) text += r.body;
    }
    return text;
}

TEST(TsdbWriter, Sends_the_pushed_lines_in_batches_in_their_order) {
    FakeHttpServer server([](const Request&) { return Answer{204}; });
    const std::string spool = ScratchDir("order");
    auto settings = QuickSettings(server.Url(), spool);
    settings.batchLines = 7;
    tsdb::Writer writer(settings);
    std::string error;
    ASSERT_TRUE(writer.Start(&error)) << error;
    for (int i = 0; i < 5; ++i) writer.Push(Lines(i * 5, 5));
    const tsdb::Counts counts = writer.Finish(5s);
    EXPECT_EQ(counts.sent, 25);
    EXPECT_EQ(counts.spooled, 0);
    EXPECT_EQ(Acknowledged(server), Lines(0, 25));
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 5u);
    EXPECT_TRUE(requests[0].body.empty()) << "the start's empty write";
    for (const Request& r : requests) {
        EXPECT_NE(r.head.find("POST /write HTTP/1.1"), std::string::npos) << r.head;
        EXPECT_LE(std::count(r.body.begin(), r.body.end(), '\n'), 7) << "at most batchLines";
        EXPECT_EQ(r.head.find("Authorization"), std::string::npos) << "no token, no header";
    }
    fs::remove_all(spool);
}

TEST(TsdbWriter, Bodies_go_gzip_compressed_unless_turned_off_and_their_bytes_are_counted) {
    for (const bool gzip : {true, false}) {
        SCOPED_TRACE(gzip);
        FakeHttpServer server([](const Request&) { return Answer{204}; });
        const std::string spool = ScratchDir("gzip");
        auto settings = QuickSettings(server.Url(), spool);
        settings.gzip = gzip;
        tsdb::Writer writer(settings);
        std::string error;
        ASSERT_TRUE(writer.Start(&error)) << error;
        writer.Push(Lines(0, 200));
        const tsdb::Counts counts = writer.Finish(5s);
        EXPECT_EQ(Acknowledged(server), Lines(0, 200));
        size_t wire = 0;
        for (const Request& r : server.Requests()) {
            const bool zipped = r.head.find("\r\nContent-Encoding: gzip\r\n") != std::string::npos;
            EXPECT_EQ(zipped, gzip && !r.body.empty()) << "the empty write goes as it is";
            wire += r.wireBytes;
        }
        EXPECT_EQ(counts.bodyBytes, static_cast<long long>(Lines(0, 200).size()));
        EXPECT_EQ(counts.wireBytes, static_cast<long long>(wire));
        if (gzip) {
            EXPECT_LT(counts.wireBytes * 3, counts.bodyBytes);
        }
        fs::remove_all(spool);
    }
}

TEST(TsdbWriter, Spools_while_the_database_fails_and_sends_the_spool_oldest_first_after) {
    std::atomic<bool> down{true};
    FakeHttpServer server([&](const Request& r) {
        return r.body.empty() || !down ? Answer{204} : Answer{503, "{\"error\":\"busy\"}"};
    });
    const std::string spool = ScratchDir("outage");
    tsdb::Writer writer(QuickSettings(server.Url(), spool));
    std::string error;
    ASSERT_TRUE(writer.Start(&error)) << error;
    for (int i = 0; i < 6; ++i) writer.Push(Lines(i * 10, 10));
    EXPECT_TRUE(WaitUntil([&] { return Spooled(spool); })) << "batches wait on disk";
    down = false;
    for (int i = 6; i < 9; ++i) writer.Push(Lines(i * 10, 10));
    const tsdb::Counts counts = writer.Finish(5s);
    EXPECT_EQ(counts.sent, 90);
    EXPECT_EQ(counts.spooled, 0);
    EXPECT_EQ(counts.rejected, 0);
    EXPECT_EQ(Acknowledged(server), Lines(0, 90)) << "each reading once, in order";
    int failed = 0;
    for (const Request& r : server.Requests()) failed += r.status == 503;
    EXPECT_GT(failed, 0);
    fs::remove_all(spool);
}

TEST(TsdbWriter, A_batch_refused_as_malformed_goes_to_the_reject_file_and_is_not_sent_again) {
    FakeHttpServer server([](const Request& r) {
        return r.body.find("bad") != std::string::npos ? Answer{400, "unable to parse 'bad'"}
                                                       : Answer{204};
    });
    const std::string spool = ScratchDir("reject");
    tsdb::Writer writer(QuickSettings(server.Url(), spool));
    std::string error;
    ASSERT_TRUE(writer.Start(&error)) << error;
    // Each in a batch of its own: the next goes once the one before was answered.
    const auto answered = [&](const std::string& text) {
        return WaitUntil([&] {
            for (const Request& r : server.Requests()) {
                if (r.body.find(text) != std::string::npos) return true;
            }
            return false;
        });
    };
    writer.Push(Lines(0, 3));
    ASSERT_TRUE(answered(Lines(0, 3)));
    writer.Push("bad line\nbad too\n");
    ASSERT_TRUE(answered("bad"));
    writer.Push(Lines(3, 3));
    const tsdb::Counts counts = writer.Finish(5s);
    EXPECT_EQ(counts.sent, 6);
    EXPECT_EQ(counts.rejected, 2);
    EXPECT_EQ(counts.spooled, 0);
    int badTries = 0;
    for (const Request& r : server.Requests()) badTries += r.body.find("bad") != std::string::npos;
    EXPECT_EQ(badTries, 1);
    std::ifstream in(spool + "/rejected.lp");
    std::ostringstream rejected;
    rejected << in.rdbuf();
    EXPECT_NE(rejected.str().find("HTTP 400: unable to parse 'bad'\nbad line\nbad too\n"),
              std::string::npos)
        << rejected.str();
    fs::remove_all(spool);
}

TEST(TsdbWriter, Finish_leaves_what_the_database_did_not_take_in_time_for_the_next_run) {
    std::atomic<bool> down{true};
    FakeHttpServer server(
        [&](const Request& r) { return r.body.empty() || !down ? Answer{204} : Answer{500}; });
    const std::string spool = ScratchDir("next-run");
    {
        tsdb::Writer writer(QuickSettings(server.Url(), spool));
        std::string error;
        ASSERT_TRUE(writer.Start(&error)) << error;
        writer.Push(Lines(0, 20));
        ASSERT_TRUE(WaitUntil([&] { return Spooled(spool); }));  // the first batch failed
        writer.Push(Lines(20, 5));
        const auto before = std::chrono::steady_clock::now();
        const tsdb::Counts counts = writer.Finish(300ms);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
        EXPECT_EQ(counts.sent, 0);
        EXPECT_EQ(counts.spooled, 25);
    }
    down = false;
    const size_t requestsBefore = server.Requests().size();
    tsdb::Writer writer(QuickSettings(server.Url(), spool));
    std::string error;
    ASSERT_TRUE(writer.Start(&error)) << error;
    writer.Push(Lines(25, 5));
    const tsdb::Counts counts = writer.Finish(5s);
    EXPECT_EQ(counts.sent, 30);
    EXPECT_EQ(counts.spooled, 0);
    std::string second;
    const auto requests = server.Requests();
    for (size_t i = requestsBefore; i < requests.size(); ++i) second += requests[i].body;
    EXPECT_EQ(second, Lines(0, 30)) << "the earlier run's readings first";
    fs::remove_all(spool);
}

TEST(TsdbWriter, A_token_goes_in_the_header_and_a_refused_one_stops_the_start) {
    FakeHttpServer server([](const Request& r) {
        return r.head.find("\r\nAuthorization: Token right\r\n") != std::string::npos
                   ? Answer{204}
                   : Answer{401, "{\"code\":\"unauthorized\",\"message\":\"unauthorized access\"}"};
    });
    const std::string spool = ScratchDir("token");
    auto settings = QuickSettings(server.Url(), spool);
    settings.token = "wrong";
    std::string error;
    {
        tsdb::Writer writer(settings);
        EXPECT_FALSE(writer.Start(&error));
        EXPECT_EQ(error, "the database at " + server.Url() +
                             " refused the token (HTTP 401: {\"code\":\"unauthorized\",\"message\":"
                             "\"unauthorized access\"})");
    }
    settings.token = "right";
    tsdb::Writer writer(settings);
    EXPECT_TRUE(writer.Start(&error)) << error;
    writer.Push(Lines(0, 1));
    EXPECT_EQ(writer.Finish(5s).sent, 1);
    fs::remove_all(spool);
}

TEST(TsdbWriter, A_request_still_open_at_the_end_of_the_flush_timeout_is_cut_short) {
    std::atomic<bool> arrived{false};
    FakeHttpServer server([&](const Request& r) {
        if (!r.body.empty()) arrived = true;
        return r.body.empty() ? Answer{204} : Answer{204, "", 2500};
    });
    const std::string spool = ScratchDir("slow");
    tsdb::Writer writer(QuickSettings(server.Url(), spool));
    std::string error;
    ASSERT_TRUE(writer.Start(&error)) << error;
    writer.Push(Lines(0, 4));
    ASSERT_TRUE(WaitUntil([&] { return arrived.load(); }));  // the batch is on its way
    const auto before = std::chrono::steady_clock::now();
    const tsdb::Counts counts = writer.Finish(500ms);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
    EXPECT_EQ(counts.spooled, 4) << "its answer never came: it may be sent again";
    fs::remove_all(spool);
}

}  // namespace
