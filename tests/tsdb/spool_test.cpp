// The spool: batches on disk in their order, across runs, one process at a time.

#include "tsdb/spool.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/scratch_files.h"

namespace {

namespace fs = std::filesystem;

// A folder the spool makes itself.
std::string ScratchDir(const std::string& name) {
    return test_files::ScratchDir("spool-" + name, false);
}
const auto& ReadFile = test_files::ReadWholeFile;

TEST(Spool, Keeps_batches_oldest_first_across_a_restart) {
    const std::string dir = ScratchDir("restart");
    std::string error;
    {
        tsdb::Spool spool;
        ASSERT_TRUE(spool.Open(dir, &error)) << error;
        EXPECT_TRUE(spool.Empty());
        ASSERT_TRUE(spool.Add("a 1\na 2\n", 2, &error)) << error;
        ASSERT_TRUE(spool.Add("b 1\n", 1, &error)) << error;
    }
    std::ofstream(dir + "/.tmp-00000000000000000009-1.lp") << "half a wri";  // a crash
    tsdb::Spool spool;
    ASSERT_TRUE(spool.Open(dir, &error)) << error;
    EXPECT_EQ(spool.Points(), 3);
    ASSERT_TRUE(spool.Add("c 1\n", 1, &error)) << error;
    EXPECT_FALSE(fs::exists(dir + "/.tmp-00000000000000000009-1.lp"));

    tsdb::Spool::Batch batch;
    ASSERT_TRUE(spool.Oldest(1, 10, &batch, &error)) << error;
    EXPECT_EQ(batch.lines, "a 1\na 2\n") << "the oldest file whole, even past the count";
    EXPECT_EQ(batch.points, 2);
    spool.Remove(batch);
    ASSERT_TRUE(spool.Oldest(5000, 10, &batch, &error)) << error;
    EXPECT_EQ(batch.lines, "b 1\nc 1\n") << "joined in their order";
    EXPECT_EQ(batch.files.size(), 2u);
    spool.Remove(batch);
    EXPECT_TRUE(spool.Empty());
    EXPECT_EQ(spool.Points(), 0);
    fs::remove_all(dir);
}

TEST(Spool, Its_folders_and_files_are_for_its_user_alone) {
    const std::string parent = ScratchDir("private");
    const std::string dir = parent + "/state/ttyUSB0";
    std::string error;
    tsdb::Spool spool;
    ASSERT_TRUE(spool.Open(dir, &error)) << error;
    ASSERT_TRUE(spool.Add("a 1\n", 1, &error)) << error;
    ASSERT_TRUE(spool.Reject("bad\n", "HTTP 400", &error)) << error;
    const auto mode = [](const fs::path& p) {
        return fs::status(p).permissions() & fs::perms::all;
    };
    for (const std::string& folder : {parent, parent + "/state", dir}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(mode(folder), fs::perms::owner_all);
    }
    for (const auto& entry : fs::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(mode(entry.path()), fs::perms::owner_read | fs::perms::owner_write);
    }
    fs::remove_all(parent);
}

TEST(Spool, Joins_the_oldest_files_up_to_a_count_of_readings_or_of_files) {
    const std::string dir = ScratchDir("join");
    std::string error;
    tsdb::Spool spool;
    ASSERT_TRUE(spool.Open(dir, &error)) << error;
    for (auto [lines, points] : {std::pair{"1\n2\n", 2L}, {"3\n", 1L}, {"4\n5\n", 2L}}) {
        ASSERT_TRUE(spool.Add(lines, points, &error)) << error;
    }
    tsdb::Spool::Batch batch;
    ASSERT_TRUE(spool.Oldest(4, 10, &batch, &error)) << error;
    EXPECT_EQ(batch.lines, "1\n2\n3\n");
    ASSERT_TRUE(spool.Oldest(5000, 1, &batch, &error)) << error;
    EXPECT_EQ(batch.lines, "1\n2\n");
    fs::remove_all(dir);
}

TEST(Spool, A_rejected_batch_goes_to_the_reject_file_with_its_reason_and_leaves_the_spool) {
    const std::string dir = ScratchDir("reject");
    std::string error;
    tsdb::Spool spool;
    ASSERT_TRUE(spool.Open(dir, &error)) << error;
    ASSERT_TRUE(spool.Add("bad line\n", 1, &error)) << error;
    ASSERT_TRUE(spool.Add("good 1\n", 1, &error)) << error;
    tsdb::Spool::Batch batch;
    ASSERT_TRUE(spool.Oldest(1, 1, &batch, &error)) << error;
    ASSERT_TRUE(spool.Reject(batch, "HTTP 400: unable to parse\n'bad line'", &error)) << error;
    ASSERT_TRUE(spool.Reject("direct 1\n", "HTTP 422", &error)) << error;
    EXPECT_EQ(spool.Points(), 1);
    ASSERT_TRUE(spool.Oldest(5000, 10, &batch, &error)) << error;
    EXPECT_EQ(batch.lines, "good 1\n");

    const std::string rejected = ReadFile(spool.RejectPath());
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> v;
        std::istringstream in(rejected);
        for (std::string line; std::getline(in, line);) v.push_back(line);
        return v;
    }();
    ASSERT_EQ(lines.size(), 4u) << rejected;
    EXPECT_TRUE(lines[0].starts_with("# 20")) << "a comment with the time";
    EXPECT_TRUE(lines[0].ends_with(" HTTP 400: unable to parse 'bad line'")) << lines[0];
    EXPECT_EQ(lines[1], "bad line");
    EXPECT_TRUE(lines[2].ends_with(" HTTP 422")) << lines[2];
    EXPECT_EQ(lines[3], "direct 1");
    fs::remove_all(dir);
}

TEST(Spool, Is_taken_by_one_process_at_a_time) {
    const std::string dir = ScratchDir("lock");
    std::string error;
    auto first = std::make_unique<tsdb::Spool>();
    ASSERT_TRUE(first->Open(dir, &error)) << error;
    tsdb::Spool second;
    EXPECT_FALSE(second.Open(dir, &error));
    EXPECT_NE(error.find("is in use by PID " + std::to_string(::getpid())), std::string::npos)
        << error;
    first.reset();
    EXPECT_TRUE(second.Open(dir, &error)) << error;

    EXPECT_FALSE(tsdb::Spool().Open("/proc/version/spool", &error));
    EXPECT_NE(error.find("cannot be created"), std::string::npos) << error;
    fs::remove_all(dir);
}

}  // namespace
