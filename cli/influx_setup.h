#pragma once

#include <memory>
#include <string>

#include "cli/options.h"
#include "tsdb/settings.h"
#include "tsdb/writer.h"
#include "tsdb/writer_events.h"

// `zelctl acquire --influx`: the database writer from the command line and the environment,
// its events worded on standard error.
namespace cli {

// The writer's events as zelctl's lines on standard error ("zelctl: warning: ...").
class InfluxReport : public tsdb::WriterEvents {
public:
    void OnWarning(const std::string& text) override;
    void OnNotAnswering(const std::string& url, const std::string& why,
                        const std::string& spoolDir) override;
    void OnAnswersAgain(const std::string& url, long spooled) override;
    void OnEarlierRunSpooled(long points, const std::string& spoolDir) override;
    void OnRejected(const std::string& url, long points, const std::string& why,
                    const std::string& rejectPath) override;
    void OnSpoolFailed(const std::string& error) override;
    void OnQueueFull(long maxQueued) override;
    void OnFinished(const tsdb::Counts& counts, const std::string& spoolDir) override;
};

// --influx, --influx-token-file (else INFLUX_TOKEN, never the command line), --spool (else one
// a port under the state directory) and --flush-timeout. False with `error` set.
bool InfluxSettingsFrom(const Options& options, tsdb::Settings* settings, std::string* error);

// The writer, its spool taken and its database asked once, before anything goes to the
// transducer. Null after saying why on standard error (the run then ends with kExitUsage).
std::unique_ptr<tsdb::Writer> StartInfluxWriter(const Options& options, InfluxReport* report);

}  // namespace cli
