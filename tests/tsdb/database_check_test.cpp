// The check before a run: what each answer of the database means for the user.

#include "tsdb/database_check.h"

#include <gtest/gtest.h>

#include "tests/support/fake_http_server.h"

namespace {

TEST(TsdbDatabaseCheck, Each_answer_to_the_empty_write_is_ready_not_answering_or_to_fix) {
    struct Case {
        int status;
        std::string body;
        std::string token;
        tsdb::CheckResult::Outcome outcome;
        std::string error;  // after "the database at URL"
        bool tokenMissing;
    };
    const std::vector<Case> cases = {
        {204, "", "", tsdb::CheckResult::kReady, "", false},
        {400, "{\"error\":\"writing requires points\"}", "t", tsdb::CheckResult::kReady, "", false},
        {503, "busy", "", tsdb::CheckResult::kNotAnswering, "HTTP 503: busy", false},
        {401, "no", "", tsdb::CheckResult::kMustFix, " refused the token (HTTP 401: no)", true},
        {403, "", "t", tsdb::CheckResult::kMustFix, " refused the token (HTTP 403)", false},
        {404, "database not found", "", tsdb::CheckResult::kMustFix,
         " refused the write (HTTP 404: database not found)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        FakeHttpServer server([&](const FakeHttpServer::Request&) {
            return FakeHttpServer::Answer{c.status, c.body};
        });
        tsdb::Settings settings;
        settings.url = server.Url();
        settings.token = c.token;
        const tsdb::CheckResult result = tsdb::CheckDatabase(settings);
        EXPECT_EQ(result.outcome, c.outcome);
        const std::string prefix =
            c.outcome == tsdb::CheckResult::kMustFix ? "the database at " + server.Url() : "";
        EXPECT_EQ(result.error, prefix + c.error);
        EXPECT_EQ(result.tokenMissing, c.tokenMissing);
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_TRUE(server.Requests()[0].body.empty()) << "nothing stored";
    }
}

TEST(TsdbDatabaseCheck, A_token_file_that_cannot_be_read_is_for_the_user_to_fix) {
    tsdb::Settings settings;
    settings.url = "http://127.0.0.1:9/write";
    settings.tokenFile = "/nonexistent/token";
    const tsdb::CheckResult result = tsdb::CheckDatabase(settings);
    EXPECT_EQ(result.outcome, tsdb::CheckResult::kMustFix);
    EXPECT_EQ(result.error, "the token file /nonexistent/token cannot be read");
}

}  // namespace
