#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "cli/influx_writer.h"
#include "cli/options.h"

// `zelctl acquire --influx`: the writer from the command line and the environment.
namespace cli {

// The writer, its spool taken and its database asked once, before anything goes to the
// transducer; the token from --influx-token-file or INFLUX_TOKEN (never the command line).
// Null after saying why on standard error (the run then ends with kExitUsage).
std::unique_ptr<InfluxWriter> StartInfluxWriter(const Options& options);

// --flush-timeout, 10 s when not given.
std::chrono::milliseconds FlushTimeout(const Options& options);

// --spool's default, one a port so that each bench's zelctl has its own:
// $XDG_STATE_HOME/zel-demo/spool/NAME (~/.local/state/... without it), NAME the port's file name
// (ttyUSB0) or "simulated". Empty when neither variable is set.
std::string DefaultSpoolDir(const Options& options);

// The Authorization header for a token: "Token T" as InfluxDB has it; a token that names its
// scheme ("Bearer T", "Basic ...") goes as it is.
std::string AuthorizationFor(const std::string& token);

}  // namespace cli
