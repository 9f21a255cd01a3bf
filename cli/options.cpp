#include "cli/options.h"

#include <charconv>
#include <cstring>

namespace cli {
namespace {

bool ParseNumber(const std::string& text, double* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end;
}

bool ParseNumber(const std::string& text, long* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end;
}

Command CommandNamed(const std::string& name) {
    if (name == "ports") return Command::Ports;
    if (name == "eeprom") return Command::Eeprom;
    if (name == "acquire") return Command::Acquire;
    if (name == "send") return Command::Send;
    return Command::None;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* o, std::string* error) {
    *o = Options{};
    auto fail = [error](const std::string& why) {
        *error = why;
        return false;
    };
    int i = 1;
    if (i < argc && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)) {
        o->help = true;
        return true;
    }
    if (i >= argc) return fail("no command given");
    o->command = CommandNamed(argv[i]);
    if (o->command == Command::None)
        return fail(std::string("unknown command \"") + argv[i] + "\"");
    ++i;

    bool haveSendText = false;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            o->help = true;
        } else if (arg == "--port") {
            if (!value(&v) || v.empty()) return fail("--port needs a device path");
            o->ports.push_back(v);
        } else if (arg == "--simulate") {
            o->simulate = true;
        } else if (arg == "--dev-dir" && o->command == Command::Ports) {
            if (!value(&v) || v.empty()) return fail("--dev-dir needs a directory");
            o->devDir = v;
        } else if (arg == "--tsv" && o->command == Command::Eeprom) {
            o->tsv = true;
        } else if (arg == "--json" && o->command == Command::Eeprom) {
            o->json = true;
        } else if (arg == "--duration" && o->command == Command::Acquire) {
            double seconds = 0;
            if (!value(&v) || !ParseNumber(v, &seconds) || !(seconds > 0))
                return fail("--duration needs a number of seconds greater than 0");
            o->durationSeconds = seconds;
        } else if (arg == "--count" && o->command == Command::Acquire) {
            long n = 0;
            if (!value(&v) || !ParseNumber(v, &n) || n <= 0)
                return fail("--count needs a whole number greater than 0");
            o->count = n;
        } else if (arg == "--log" && o->command == Command::Acquire) {
            if (!value(&v) || v.empty()) return fail("--log needs a file path");
            o->logPath = v;
        } else if (arg == "--timestamps" && o->command == Command::Acquire) {
            o->timestamps = true;
        } else if (arg == "--wait" && o->command == Command::Send) {
            long ms = 0;
            if (!value(&v) || !ParseNumber(v, &ms) || ms < 0 || ms > 600000)
                return fail("--wait needs a number of milliseconds from 0 to 600000");
            o->waitMs = static_cast<int>(ms);
        } else if (o->command == Command::Send && !haveSendText &&
                   (arg.empty() || arg[0] != '-' || arg == "-")) {
            o->sendText = arg;
            haveSendText = true;
        } else {
            return fail("unknown option \"" + arg + "\" for this command");
        }
    }
    if (o->help) return true;

    if (o->command != Command::Ports) {
        if (o->simulate && !o->ports.empty()) return fail("give either --port or --simulate");
        if (!o->simulate && o->ports.size() != 1) return fail("give one --port PATH or --simulate");
    }
    if (o->tsv && o->json) return fail("give either --tsv or --json");
    if (o->durationSeconds && o->count) return fail("give either --duration or --count");
    if (o->timestamps && o->logPath.empty()) return fail("--timestamps needs --log FILE");
    if (o->command == Command::Send && !haveSendText) return fail("send needs a COMMAND");
    return true;
}

std::string HelpText(Command command) {
    switch (command) {
        case Command::None:
            return "Usage: zelctl COMMAND [OPTIONS]\n"
                   "\n"
                   "Drives a Zel pressure transducer on its demo board from a terminal or a "
                   "script,\n"
                   "with the same code as the Zel Demo Interface program.\n"
                   "\n"
                   "Commands:\n"
                   "  ports     list the serial ports that can be opened\n"
                   "  eeprom    read the EEPROM: 64 rows and the 37 coefficients\n"
                   "  acquire   read pressure continuously, optionally into a log file\n"
                   "  send      send one command and print the answer\n"
                   "\n"
                   "Every command but ports takes --port PATH (e.g. /dev/ttyUSB0) or --simulate\n"
                   "(the built-in simulated transducer). `zelctl COMMAND --help` tells more.\n"
                   "\n"
                   "Exit codes: 0 done, 2 bad usage, 3 the port could not be opened, 4 the\n"
                   "transducer never answered, 5 the port went away during the run.\n"
                   "Messages go to standard error, data to standard output.\n";
        case Command::Ports:
            return "Usage: zelctl ports [--port PATH]... [--simulate] [--dev-dir DIR]\n"
                   "\n"
                   "Lists the ports the program's port dialog would list, in its order: the ports\n"
                   "given with --port (and the simulated transducer's), then the serial devices\n"
                   "ttyS, ttyUSB, ttyACM, ttyAMA, rfcomm, ... in ascending order. Only the --port\n"
                   "paths are opened (and closed at once); the serial devices are found in sysfs\n"
                   "and judged without opening them, so no board sees its DTR and RTS lines move.\n"
                   "Ports in use and devices that may not be opened are not listed: they follow\n"
                   "on standard error, with the reason.\n"
                   "  --dev-dir DIR   look for the serial devices in DIR instead of /dev\n";
        case Command::Eeprom:
            return "Usage: zelctl eeprom (--port PATH | --simulate) [--tsv | --json]\n"
                   "\n"
                   "Reads the 256-byte EEPROM exactly as the program does (one paced read per "
                   "byte,\n"
                   "about 5 s) and prints the 64 rows and the 37 coefficients by name.\n"
                   "  --tsv    the rows exactly as the EEPROM page copies them to the clipboard:\n"
                   "           Description, Address, Byte1..Byte4 separated by TABs, CR LF line "
                   "ends\n"
                   "  --json   rows and coefficients as one JSON object\n"
                   "On a terminal a progress bar is shown on standard error.\n";
        case Command::Acquire:
            return "Usage: zelctl acquire (--port PATH | --simulate)\n"
                   "                      [--duration SECONDS | --count N] [--log FILE] "
                   "[--timestamps]\n"
                   "\n"
                   "Reads the EEPROM, starts continuous output with the program's start sequence "
                   "and\n"
                   "prints each calculated pressure in PSI as the read-out shows it. Stops after "
                   "the\n"
                   "duration, after N printed readings, on Ctrl-C or on SIGTERM, always through "
                   "the\n"
                   "stop sequence.\n"
                   "  --log FILE     write the log file in the program's format (truncated first)\n"
                   "  --timestamps   a hh:mm:ss line before each group of readings in the log\n";
        case Command::Send:
            return "Usage: zelctl send (--port PATH | --simulate) [--wait MS] COMMAND\n"
                   "\n"
                   "Sends one command and prints what arrives within the wait (default 200 ms),\n"
                   "carriage returns shown as line breaks. C1, C2, C3, C4, IN and RESET are "
                   "framed\n"
                   "as the Command Inquiry list frames them (*01C1 and so on; RESET is\n"
                   "*01IN=RESET); any other text is sent as a manual command, as typed, with a\n"
                   "carriage return.\n";
    }
    return {};
}

}  // namespace cli
