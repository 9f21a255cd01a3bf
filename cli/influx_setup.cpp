#include "cli/influx_setup.h"

#include <cstdio>
#include <cstdlib>

#include "tsdb/database_check.h"

namespace cli {

void InfluxReport::OnWarning(const std::string& text) {
    std::fprintf(stderr, "zelctl: warning: %s\n", text.c_str());
}

void InfluxReport::OnNotAnswering(const std::string& url, const std::string& why,
                                  const std::string& spoolDir) {
    std::fprintf(stderr,
                 "zelctl: warning: the database at %s does not answer (%s); the readings wait in "
                 "the spool %s until it does\n",
                 url.c_str(), why.c_str(), spoolDir.c_str());
}

void InfluxReport::OnAnswersAgain(const std::string& url, long spooled) {
    std::string text = "zelctl: the database at " + url + " answers again";
    if (spooled > 0) text += "; the spool goes first (" + std::to_string(spooled) + " readings)";
    std::fputs((text + "\n").c_str(), stderr);
}

void InfluxReport::OnEarlierRunSpooled(long points, const std::string& spoolDir) {
    std::fprintf(stderr,
                 "zelctl: %ld readings of an earlier run wait in the spool %s; they go first\n",
                 points, spoolDir.c_str());
}

void InfluxReport::OnRejected(const std::string& url, long points, const std::string& why,
                              const std::string& rejectPath) {
    std::fprintf(stderr,
                 "zelctl: the database at %s refused %ld readings as malformed (%s); they are "
                 "kept in %s and not sent again\n",
                 url.c_str(), points, why.c_str(), rejectPath.c_str());
}

void InfluxReport::OnSpoolFailed(const std::string& error) {
    std::fprintf(stderr, "zelctl: %s\n", error.c_str());
}

void InfluxReport::OnQueueFull(long maxQueued) {
    std::fprintf(stderr,
                 "zelctl: warning: %ld readings wait for the database writer, which cannot keep "
                 "up; readings beyond that are dropped\n",
                 maxQueued);
}

void InfluxReport::OnFinished(const tsdb::Counts& counts, const std::string& spoolDir) {
    if (counts.spooled > 0) {
        std::fprintf(stderr,
                     "zelctl: %ld readings are left in the spool %s: the database did not take "
                     "them in time; the next zelctl with this spool sends them first\n",
                     counts.spooled, spoolDir.c_str());
    }
    if (counts.lost > 0)
        std::fprintf(stderr, "zelctl: %ld readings could not be kept\n", counts.lost);
}

bool InfluxSettingsFrom(const Options& options, tsdb::Settings* settings, std::string* error) {
    *settings = {};
    settings->userAgent = "zelctl";
    settings->url = options.influxUrl;
    settings->tokenFile = options.influxTokenFile;
    if (const char* fromEnvironment = std::getenv("INFLUX_TOKEN");
        options.influxTokenFile.empty() && fromEnvironment) {
        settings->token = fromEnvironment;
        if (settings->token.find_first_of("\r\n") != std::string::npos) {
            *error = "INFLUX_TOKEN must be one line, the token";
            return false;
        }
    }
    settings->flushTimeout = std::chrono::milliseconds(
        static_cast<long>(options.flushTimeoutSeconds.value_or(10.0) * 1000));
    settings->gzip = !options.influxNoGzip;
    settings->spoolDir = options.spoolDir;
    if (settings->spoolDir.empty()) {
        const std::string port =
            options.simulate || options.ports.empty() ? "" : options.ports.front();
        settings->spoolDir = tsdb::DefaultSpoolDir(port);
    }
    if (settings->spoolDir.empty()) {
        *error = "--influx needs --spool DIR here: neither XDG_STATE_HOME nor HOME is set";
        return false;
    }
    return true;
}

std::unique_ptr<tsdb::Writer> StartInfluxWriter(const Options& options, InfluxReport* report) {
    tsdb::Settings settings;
    std::string error;
    tsdb::CheckResult check;
    std::unique_ptr<tsdb::Writer> writer;
    if (InfluxSettingsFrom(options, &settings, &error)) {
        writer = std::make_unique<tsdb::Writer>(std::move(settings), report);
        if (writer->Start(&error, &check)) return writer;
        if (check.tokenMissing)
            error += "; none was given: --influx-token-file FILE or INFLUX_TOKEN";
    }
    std::fprintf(stderr, "zelctl: %s\n", error.c_str());
    return nullptr;
}

}  // namespace cli
