#pragma once

#include "cli/options.h"

// The zelctl commands. Each returns the process's exit code.
namespace cli {

int RunPorts(const Options& options);
int RunEeprom(const Options& options);
int RunAcquire(const Options& options);
int RunSend(const Options& options);
int RunStats(const Options& options);  // stats_command.cpp

}  // namespace cli
