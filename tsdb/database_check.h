#pragma once

#include <chrono>
#include <string>

#include "tsdb/settings.h"

// The check before readings flow: an empty write, which InfluxDB 1.x and VictoriaMetrics answer
// 204 and InfluxDB 2.x 400 "writing requires points", each only after the URL, the database or
// bucket and the token passed; nothing is stored.
namespace tsdb {

class HttpPoster;

struct CheckResult {
    enum Outcome {
        kReady,         // the database takes writes with this URL and token
        kNotAnswering,  // no answer or a server error: readings would wait in the spool
        kMustFix,       // for the user to fix: the host name, the certificate, the URL, the token
    };
    Outcome outcome = kReady;
    // kNotAnswering: why, in curl's words or "HTTP 503: ..."; kMustFix: the whole sentence,
    // e.g. "the database at URL refused the token (HTTP 401: ...)".
    std::string error;
    // kMustFix: the database wants a token and none was given.
    bool tokenMissing = false;
};

// With the settings' URL and token (read from the token file when set; a file that cannot be
// read is kMustFix), within settings.requestTimeout. Blocks: call it off any user-interface
// thread.
CheckResult CheckDatabase(const Settings& settings);

// The same through a poster already made (the writer's, whose connection then stays open).
CheckResult CheckDatabase(HttpPoster& http, const std::string& url, bool tokenGiven,
                          std::chrono::milliseconds timeout);

}  // namespace tsdb
