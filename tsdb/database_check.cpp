#include "tsdb/database_check.h"

#include "tsdb/http_post.h"
#include "tsdb/token.h"

namespace tsdb {

CheckResult CheckDatabase(HttpPoster& http, const std::string& url, bool tokenGiven,
                          std::chrono::milliseconds timeout) {
    const HttpAnswer answer = http.Post("", timeout);
    const std::string where = "the database at " + UrlForMessages(url);
    if (!answer.answered) {
        if (!NeedsFixing(answer)) return {CheckResult::kNotAnswering, answer.error};
        std::string error = where + " cannot be reached: " + answer.error;
        if (IsCertificateFailure(answer))
            error +=
                " (the system's certificates do not vouch for it; add the authority that signed "
                "it with update-ca-certificates)";
        return {CheckResult::kMustFix, error};
    }
    if (answer.status / 100 == 2 ||
        (answer.status == 400 && answer.body.find("requires points") != std::string::npos))
        return {CheckResult::kReady, ""};
    if (answer.status == 401 || answer.status == 403) {
        return {CheckResult::kMustFix, where + " refused the token (" + StatusText(answer) + ")",
                !tokenGiven};
    }
    if (answer.status / 100 != 5)
        return {CheckResult::kMustFix, where + " refused the write (" + StatusText(answer) + ")"};
    return {CheckResult::kNotAnswering, StatusText(answer)};
}

CheckResult CheckDatabase(const Settings& settings) {
    Token token;
    std::string error;
    if (!LoadToken(settings, &token, &error)) return {CheckResult::kMustFix, error};
    HttpPoster http(settings.url, token.authorization, settings.userAgent, settings.gzip);
    return CheckDatabase(http, settings.url, !token.authorization.empty(), settings.requestTimeout);
}

}  // namespace tsdb
