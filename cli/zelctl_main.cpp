// zelctl: the transducer from a terminal or a script, through the program's own measurement code.

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "res/build_info.h"

int main(int argc, char** argv) {
    cli::Options options;
    std::string error;
    if (!cli::ParseOptions(argc, argv, &options, &error)) {
        std::fputs(cli::UsageMessage(options.command, error).c_str(), stderr);
        return cli::kExitUsage;
    }
    if (options.version) {
        std::printf("zelctl (Zel Demo Interface) %s\n", res::kVersion);
        return cli::kExitDone;
    }
    if (options.help) {
        std::fputs(cli::HelpText(options.command).c_str(), stdout);
        return cli::kExitDone;
    }
    switch (options.command) {
        case cli::Command::Ports:
            return cli::RunPorts(options);
        case cli::Command::Eeprom:
            return cli::RunEeprom(options);
        case cli::Command::Acquire:
            return cli::RunAcquire(options);
        case cli::Command::Send:
            return cli::RunSend(options);
        case cli::Command::Stats:
            return cli::RunStats(options);
        case cli::Command::Verify:
            return cli::RunVerify(options);
        case cli::Command::None:
            break;
    }
    return cli::kExitUsage;
}
