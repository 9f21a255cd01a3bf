#pragma once

#include <chrono>
#include <string>

// What a writer into a time-series database needs: the database's write URL, the token, the
// spool folder and the timing. Plain values, filled in by whoever knows them (zelctl's options,
// a settings dialog); nothing here reads the environment.
namespace tsdb {

// The tags of each line: the port the readings came from and the transducer's serial number;
// an empty one is left out.
struct Tags {
    std::string port;
    std::string serial;
};

struct Settings {
    // The write endpoint, http:// or https://: http://db:8428/write (VictoriaMetrics),
    // http://db:8086/write?db=zel (InfluxDB 1.x), https://db:8086/api/v2/write?org=O&bucket=B
    // (InfluxDB 2.x). "user:password@" in it is never shown in messages.
    std::string url;
    // The token: read from `tokenFile` when that is set (one line), else `token` (may be empty
    // for none). Sent as "Authorization: Token T"; a token naming its scheme ("Bearer T") as it is.
    std::string tokenFile;
    std::string token;
    // Where batches wait while the database does not answer; created 0700 when missing.
    // DefaultSpoolDir gives one a port.
    std::string spoolDir;
    // Request bodies gzip-compressed; off for a database (or a proxy) that does not take it.
    bool gzip = true;
    // How long Finish goes on sending what is queued and spooled.
    std::chrono::milliseconds flushTimeout{10'000};

    // The batches: cut every interval, or sooner at batchLines lines.
    std::chrono::milliseconds batchInterval{1000};
    long batchLines = 5000;
    long maxQueuedLines = 200'000;  // the queue's bound: ~20 minutes of readings
    std::chrono::milliseconds requestTimeout{10'000};
    // The wait between tries while the database does not answer: doubled from the first up to
    // the longest, each spread by up to a fifth.
    std::chrono::milliseconds firstBackoff{1000};
    std::chrono::milliseconds maxBackoff{10'000};
    // The User-Agent's program name; the version is added.
    std::string userAgent = "zel-demo";
};

// The spool folder of a port by default, so that each bench has its own:
// $XDG_STATE_HOME/zel-demo/spool/NAME (~/.local/state/... without it), NAME the port's file
// name (ttyUSB0), "simulated" for an empty path. Empty when neither variable is set.
std::string DefaultSpoolDir(const std::string& portPath);

// The Authorization header's value for a token: "Token T"; one naming its scheme goes as it is.
// Empty for none.
std::string AuthorizationFor(const std::string& token);

}  // namespace tsdb
