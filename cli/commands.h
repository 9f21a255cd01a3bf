#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "cli/options.h"

// The zelctl commands. Each returns the process's exit code.
namespace cli {

int RunPorts(const Options& options);
int RunEeprom(const Options& options);
int RunAcquire(const Options& options);
int RunSend(const Options& options);
int RunStats(const Options& options);  // stats_command.cpp
int RunVerify(const Options& options);  // verify_command.cpp

class Session;
// The port went away during the run: the run stops as Stop would, then waits for the port and
// goes on when the transducer on it is the same. kExitDone when the run goes on; otherwise what
// ends it (a stop request: kExitInterrupted, which the caller ends as Stop).
int Reconnect(Session& session, const Options& options);

// Before anything goes to the transducer: each (path, what) given can be written; an existing
// file is not touched yet. False after saying on standard error which cannot ("the log file
// PATH cannot be written: why").
bool FilesWritable(std::initializer_list<std::pair<std::string, const char*>> files);

}  // namespace cli
