#include "cli/options.h"

#include <getopt.h>
#include <strings.h>

#include <charconv>
#include <limits>
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
    if (name == "stats") return Command::Stats;
    if (name == "verify") return Command::Verify;
    return Command::None;
}

enum OptionId {
    kOptHelp = 256,
    kOptVersion,
    kOptPort,
    kOptSimulate,
    kOptDevDir,
    kOptTsv,
    kOptJson,
    kOptDuration,
    kOptCount,
    kOptFormat,
    kOptLog,
    kOptSummary,
    kOptReconnect,
    kOptTimestamps,
    kOptWait,
    kOptWindow,
    kOptPsd,
    kOptSegment,
    kOptInflux,
    kOptInfluxTokenFile,
    kOptSpool,
    kOptFlushTimeout,
    kOptPlan,
    kOptReference,
    kOptController,
    kOptReport,
    kOptJsonFile,
    kOptControllerTau,
    kOptControllerNoise,
    kOptInfluxNoGzip,
    kOptSeed,
    // Last: the ids from here on are sim::SensorOptions()[id - kOptSensor].
    kOptSensor,
};

// Which commands take an option (None: before the command).
struct OptionEntry {
    option longOption;
    std::vector<Command> commands;
};

const std::vector<OptionEntry>& OptionTable() {
    using C = Command;
    static const std::vector<OptionEntry> table = {
        {{"help", no_argument, nullptr, kOptHelp},
         {C::None, C::Ports, C::Eeprom, C::Acquire, C::Send, C::Stats, C::Verify}},
        {{"version", no_argument, nullptr, kOptVersion},
         {C::None, C::Ports, C::Eeprom, C::Acquire, C::Send, C::Stats, C::Verify}},
        {{"port", required_argument, nullptr, kOptPort},
         {C::Ports, C::Eeprom, C::Acquire, C::Send, C::Verify}},
        {{"simulate", no_argument, nullptr, kOptSimulate},
         {C::Ports, C::Eeprom, C::Acquire, C::Send, C::Verify}},
        {{"dev-dir", required_argument, nullptr, kOptDevDir}, {C::Ports}},
        {{"tsv", no_argument, nullptr, kOptTsv}, {C::Eeprom}},
        {{"json", no_argument, nullptr, kOptJson}, {C::Eeprom, C::Stats}},
        {{"duration", required_argument, nullptr, kOptDuration}, {C::Acquire}},
        {{"count", required_argument, nullptr, kOptCount}, {C::Acquire}},
        {{"format", required_argument, nullptr, kOptFormat}, {C::Acquire}},
        {{"log", required_argument, nullptr, kOptLog}, {C::Acquire, C::Verify}},
        {{"summary", required_argument, nullptr, kOptSummary}, {C::Acquire}},
        {{"reconnect", optional_argument, nullptr, kOptReconnect}, {C::Acquire, C::Verify}},
        {{"timestamps", no_argument, nullptr, kOptTimestamps}, {C::Acquire}},
        {{"wait", required_argument, nullptr, kOptWait}, {C::Send}},
        {{"window", required_argument, nullptr, kOptWindow}, {C::Stats}},
        {{"psd", required_argument, nullptr, kOptPsd}, {C::Stats}},
        {{"segment", required_argument, nullptr, kOptSegment}, {C::Stats}},
        {{"influx", required_argument, nullptr, kOptInflux}, {C::Acquire, C::Verify}},
        {{"influx-token-file", required_argument, nullptr, kOptInfluxTokenFile},
         {C::Acquire, C::Verify}},
        {{"spool", required_argument, nullptr, kOptSpool}, {C::Acquire, C::Verify}},
        {{"flush-timeout", required_argument, nullptr, kOptFlushTimeout}, {C::Acquire, C::Verify}},
        {{"influx-no-gzip", no_argument, nullptr, kOptInfluxNoGzip}, {C::Acquire, C::Verify}},
        {{"plan", required_argument, nullptr, kOptPlan}, {C::Verify}},
        {{"reference", required_argument, nullptr, kOptReference}, {C::Verify}},
        {{"controller", required_argument, nullptr, kOptController}, {C::Verify}},
        {{"report", required_argument, nullptr, kOptReport}, {C::Verify}},
        {{"json", required_argument, nullptr, kOptJsonFile}, {C::Verify}},
        {{"controller-tau-s", required_argument, nullptr, kOptControllerTau}, {C::Verify}},
        {{"controller-noise-psi", required_argument, nullptr, kOptControllerNoise}, {C::Verify}},
    };
    // The simulated transducer's options, with every command that takes --simulate.
    static const std::vector<OptionEntry> withSimulator = [] {
        std::vector<OptionEntry> all = table;
        const std::vector<Command> commands = {C::Ports, C::Eeprom, C::Acquire, C::Send,
                                               C::Verify};
        all.push_back({{"seed", required_argument, nullptr, kOptSeed}, commands});
        const auto& sensor = sim::SensorOptions();
        for (size_t i = 0; i < sensor.size(); ++i)
            all.push_back(
                {{sensor[i].name, required_argument, nullptr, kOptSensor + static_cast<int>(i)},
                 commands});
        return all;
    }();
    return withSimulator;
}

std::vector<option> LongOptionsOf(Command command) {
    std::vector<option> options;
    for (const OptionEntry& entry : OptionTable()) {
        for (Command c : entry.commands) {
            if (c == command) options.push_back(entry.longOption);
        }
    }
    options.push_back({nullptr, 0, nullptr, 0});
    return options;
}

std::string OptionName(int id) {
    for (const OptionEntry& entry : OptionTable()) {
        if (entry.longOption.val == id) return std::string("--") + entry.longOption.name;
    }
    return std::string("-") + static_cast<char>(id);
}

// An http:// or https:// URL with a host; the database says the rest.
bool IsHttpUrl(const std::string& url) {
    for (const char* scheme : {"http://", "https://"}) {
        const size_t n = std::strlen(scheme);
        if (url.size() > n && strncasecmp(url.c_str(), scheme, n) == 0 && url[n] != '/')
            return true;
    }
    return false;
}

// One option of `command` and its value (empty when it was missing). False with `error` set on a
// bad value.
bool TakeOption(int id, const std::string& v, Options* o, std::string* error) {
    auto fail = [error](const char* why) {
        *error = why;
        return false;
    };
    switch (id) {
        case 'h':
        case kOptHelp:
            o->help = true;
            break;
        case kOptVersion:
            o->version = true;
            break;
        case kOptPort:
            if (v.empty()) return fail("--port needs a device path");
            o->ports.push_back(v);
            break;
        case kOptSimulate:
            o->simulate = true;
            break;
        case kOptDevDir:
            if (v.empty()) return fail("--dev-dir needs a directory");
            o->devDir = v;
            break;
        case kOptTsv:
            o->tsv = true;
            break;
        case kOptJson:
            o->json = true;
            break;
        case kOptDuration: {
            double seconds = 0;
            if (!ParseNumber(v, &seconds) || !(seconds > 0))
                return fail("--duration needs a number of seconds greater than 0");
            o->durationSeconds = seconds;
            break;
        }
        case kOptCount: {
            long n = 0;
            if (!ParseNumber(v, &n) || n <= 0)
                return fail("--count needs a whole number greater than 0");
            o->count = n;
            break;
        }
        case kOptFormat:
            if (!ReadingsFormatNamed(v, &o->format))
                return fail("--format needs text, csv, ndjson or influx");
            break;
        case kOptLog:
            if (v.empty()) return fail("--log needs a file path");
            o->logPath = v;
            break;
        case kOptReconnect: {
            double seconds = std::numeric_limits<double>::infinity();
            if (!v.empty() && (!ParseNumber(v, &seconds) || !(seconds > 0)))
                return fail("--reconnect takes a number of seconds greater than 0");
            o->reconnectSeconds = seconds;
            break;
        }
        case kOptSummary:
            if (v.empty()) return fail("--summary needs a file path");
            o->summaryPath = v;
            break;
        case kOptTimestamps:
            o->timestamps = true;
            break;
        case kOptWait: {
            long ms = 0;
            if (!ParseNumber(v, &ms) || ms < 0 || ms > 600000)
                return fail("--wait needs a number of milliseconds from 0 to 600000");
            o->waitMs = static_cast<int>(ms);
            break;
        }
        case kOptWindow: {
            double seconds = 0;
            if (!ParseNumber(v, &seconds) || !(seconds >= 1e-6) || !(seconds <= 1e9))
                return fail("--window needs a number of seconds from 0.000001 to 1000000000");
            o->windowSeconds = seconds;
            break;
        }
        case kOptPsd:
            if (v.empty()) return fail("--psd needs a file path");
            o->psdFile = v;
            break;
        case kOptSegment: {
            long readings = 0;
            if (!ParseNumber(v, &readings) || readings < 256 || readings > 4096)
                return fail("--segment needs a number of readings from 256 to 4096");
            o->segment = static_cast<int>(readings);
            break;
        }
        case kOptInflux:
            if (!IsHttpUrl(v))
                return fail("--influx needs an http:// or https:// URL, e.g. http://db:8428/write");
            o->influxUrl = v;
            break;
        case kOptInfluxTokenFile:
            if (v.empty()) return fail("--influx-token-file needs a file path");
            o->influxTokenFile = v;
            break;
        case kOptSpool:
            if (v.empty()) return fail("--spool needs a directory");
            o->spoolDir = v;
            break;
        case kOptPlan:
            if (v.empty()) return fail("--plan needs a file path");
            o->planPath = v;
            break;
        case kOptReference:
            if (v != "manual") return fail("--reference takes manual (or give --controller URL)");
            o->manualReference = true;
            break;
        case kOptController:
            if (v.empty()) return fail("--controller needs tcp://HOST:PORT or serial:PATH");
            o->controllerUrl = v;
            break;
        case kOptReport:
            if (v.empty()) return fail("--report needs a file path");
            o->reportPath = v;
            break;
        case kOptJsonFile:
            if (v.empty()) return fail("--json needs a file path");
            o->jsonPath = v;
            break;
        case kOptControllerTau: {
            double seconds = 0;
            if (!ParseNumber(v, &seconds) || !(seconds >= 0 && seconds <= 3600))
                return fail("--controller-tau-s needs seconds from 0 to 3600");
            o->simControllerTauS = seconds;
            o->simControllerOptionGiven = true;
            break;
        }
        case kOptControllerNoise: {
            double psi = 0;
            if (!ParseNumber(v, &psi) || !(psi >= 0 && psi <= 15))
                return fail("--controller-noise-psi needs PSI from 0 to 15");
            o->simControllerNoisePsi = psi;
            o->simControllerOptionGiven = true;
            break;
        }
        case kOptFlushTimeout: {
            double seconds = 0;
            if (!ParseNumber(v, &seconds) || !(seconds >= 0 && seconds <= 86400))
                return fail("--flush-timeout needs a number of seconds from 0 to 86400");
            o->flushTimeoutSeconds = seconds;
            break;
        }
        case kOptInfluxNoGzip:
            o->influxNoGzip = true;
            break;
        case kOptSeed: {
            long seed = 0;
            if (!ParseNumber(v, &seed) || seed < 0 || seed > 4294967295L)
                return fail("--seed needs a number from 0 to 4294967295");
            o->simSeed = static_cast<unsigned>(seed);
            o->simOptionGiven = true;
            break;
        }
        default:
            if (id >= kOptSensor &&
                id < kOptSensor + static_cast<int>(sim::SensorOptions().size())) {
                if (!sim::SetSensorOption(sim::SensorOptions()[id - kOptSensor].name, v,
                                          &o->simErrors, error))
                    return false;
                o->simOptionGiven = true;
            }
            break;
    }
    return true;
}

// getopt_long over `args` (args[0] a name for messages) with the options of `command`. In
// `inOrder` mode it stops at the first operand (the command); otherwise GNU permutes, so options
// and operands may mix and "--" ends the options. The operands land in `operands`.
bool ParseWith(Command command, std::vector<std::string> args, bool inOrder, Options* o,
               std::vector<std::string>* operands, std::string* error) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());
    const std::vector<option> longOptions = LongOptionsOf(command);
    opterr = 0;
    optind = 0;  // glibc: start afresh, forgetting an earlier scan
    for (;;) {
        const int id =
            getopt_long(argc, argv.data(), inOrder ? "+:h" : ":h", longOptions.data(), nullptr);
        if (id == -1) break;
        if (id == ':') {
            TakeOption(optopt, "", o, error);  // every value check fails on ""
            return false;
        }
        if (id == '?') {
            if (optopt >= 256) {
                *error = OptionName(optopt) + " takes no value";
            } else {
                const std::string name =
                    optopt != 0 ? OptionName(optopt) : std::string(argv[optind - 1]);
                *error = "unknown option \"" + name.substr(0, name.find('=')) + "\"" +
                         (command == Command::None ? "" : " for this command");
            }
            return false;
        }
        if (!TakeOption(id, optarg ? optarg : "", o, error)) return false;
    }
    for (int i = optind; i < argc; ++i) operands->push_back(argv[i]);
    return true;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* o, std::string* error) {
    *o = Options{};
    auto fail = [error](const std::string& why) {
        *error = why;
        return false;
    };
    std::vector<std::string> args(argv, argv + argc);
    if (args.empty()) args.push_back("zelctl");

    std::vector<std::string> operands;
    if (!ParseWith(Command::None, args, true, o, &operands, error)) return false;
    if (o->help || o->version) return true;
    if (operands.empty()) return fail("no command given");
    o->command = CommandNamed(operands.front());
    if (o->command == Command::None) return fail("unknown command \"" + operands.front() + "\"");

    std::vector<std::string> commandArgs = {"zelctl " + operands.front()};
    commandArgs.insert(commandArgs.end(), operands.begin() + 1, operands.end());
    operands.clear();
    // getopt would take "--influx-token SECRET" for --influx-token-file and show the token in
    // its message; the token never goes on the command line.
    for (size_t i = 1; i < commandArgs.size() && commandArgs[i] != "--"; ++i) {
        const std::string name = commandArgs[i].substr(0, commandArgs[i].find('='));
        if (name.starts_with("--influx-t") && name != "--influx-token-file")
            return fail("unknown option \"" + name +
                        "\": the token comes from --influx-token-file FILE or INFLUX_TOKEN");
    }
    if (!ParseWith(o->command, commandArgs, false, o, &operands, error)) return false;
    if (o->help || o->version) return true;

    const bool haveSendText = o->command == Command::Send && !operands.empty();
    if (haveSendText) {
        o->sendText = operands.front();
        operands.erase(operands.begin());
    }
    const bool haveFile = o->command == Command::Stats && !operands.empty();
    if (haveFile) {
        o->file = operands.front();
        operands.erase(operands.begin());
    }
    if (!operands.empty()) return fail("unexpected argument \"" + operands.front() + "\"");
    if (o->command == Command::Stats) return haveFile || fail("stats needs a FILE");
    if (o->command != Command::Ports) {
        if (o->simulate && !o->ports.empty()) return fail("give either --port or --simulate");
        if (!o->simulate && o->ports.size() != 1) return fail("give one --port PATH or --simulate");
    }
    if (o->simOptionGiven && !o->simulate)
        return fail("--seed and the simulated transducer's options need --simulate");
    if (!sim::CheckSensorErrors(o->simErrors, error)) return false;
    if (o->tsv && o->json) return fail("give either --tsv or --json");
    if (o->durationSeconds && o->count) return fail("give either --duration or --count");
    if (o->timestamps && o->logPath.empty()) return fail("--timestamps needs --log FILE");
    if (o->influxUrl.empty() && (!o->influxTokenFile.empty() || !o->spoolDir.empty() ||
                                 o->flushTimeoutSeconds || o->influxNoGzip))
        return fail(
            "--influx-token-file, --spool, --flush-timeout and --influx-no-gzip need --influx URL");
    if (o->command == Command::Send && !haveSendText) return fail("send needs a COMMAND");
    if (o->command == Command::Verify) {
        if (o->planPath.empty()) return fail("verify needs --plan FILE");
        if (o->manualReference == !o->controllerUrl.empty())
            return fail("give either --reference manual or --controller URL");
        if (o->controllerUrl == "sim" && !o->simulate)
            return fail("--controller sim needs --simulate");
        if (o->simControllerOptionGiven && o->controllerUrl != "sim")
            return fail("--controller-tau-s and --controller-noise-psi need --simulate "
                        "--controller sim");
    }
    return true;
}

std::string UsageMessage(Command command, const std::string& error) {
    std::string name;
    for (const char* candidate : {"ports", "eeprom", "acquire", "send", "stats", "verify"}) {
        if (CommandNamed(candidate) == command) name = std::string(candidate) + " ";
    }
    return "zelctl: " + error + "\nTry 'zelctl " + name + "--help' for more information.\n";
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
                   "  stats     the statistics of a recorded log, CSV or NDJSON file\n"
                   "  verify    a verification run against reference pressures, with a report\n"
                   "\n"
                   "Every command but ports and stats takes --port PATH (e.g. /dev/ttyUSB0) or\n"
                   "--simulate (the built-in simulated transducer). `zelctl COMMAND --help` tells\n"
                   "more, `zelctl --version` prints the version. With --simulate they also take\n"
                   "zel-sim's --seed and sensor options (--pressure, --noise-psi, --offset-psi,\n"
                   "--gain, --nonlinearity-psi, --hysteresis-psi, --drift-psi-per-hour, "
                   "--tone-psi,\n"
                   "--tone-hz), as `zel-sim --help` describes them.\n"
                   "\n"
                   "Exit codes: 0 done, 2 bad usage, 3 the port could not be opened, 4 the\n"
                   "transducer never answered, 5 the port went away, 6 EEPROM bytes not "
                   "confirmed,\n"
                   "7 the log file failed, 8 standard output failed, 9 readings left in the spool\n"
                   "(--influx), 11 verify: fail, 12 verify: incomplete, 130 or 143 SIGINT or\n"
                   "SIGTERM during the EEPROM read-out (verify: at any time)\n"
                   "(`man zelctl` tells more).\n"
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
                   "on standard error, with the reason. One port a line; a USB serial adapter's\n"
                   "line goes on after a TAB with its model and serial number from sysfs:\n"
                   "  ttyUSB0<TAB>FT232R USB UART (A10K3XYZ)\n"
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
                   "                      [--duration SECONDS | --count N] [--format FORMAT]\n"
                   "                      [--log FILE] [--timestamps] [--summary FILE]\n"
                   "                      [--reconnect[=SECONDS]]\n"
                   "                      [--influx URL [--influx-token-file FILE] [--spool DIR]\n"
                   "                                    [--flush-timeout SECONDS]\n"
                   "                                    [--influx-no-gzip]]\n"
                   "\n"
                   "Reads the EEPROM, starts continuous output with the program's start sequence "
                   "and\n"
                   "prints each calculated pressure in PSI as the read-out shows it. Stops after "
                   "the\n"
                   "duration, after N printed readings, on Ctrl-C or on SIGTERM, always through "
                   "the\n"
                   "stop sequence.\n"
                   "  --format FORMAT  how the readings are written on standard output:\n"
                   "                   text    one pressure a line, as the read-out shows it "
                   "(default)\n"
                   "                   csv     a header, then time,seconds,psi,raw_p,raw_t a "
                   "reading:\n"
                   "                           UTC wall-clock time (ISO 8601, milliseconds), "
                   "seconds\n"
                   "                           since the start (monotonic), PSI, raw counts\n"
                   "                   ndjson  the same fields, one JSON object a line\n"
                   "                   influx  InfluxDB line protocol: zel_pressure with tags "
                   "port and\n"
                   "                           serial, fields psi, raw_p, raw_t, time in "
                   "nanoseconds\n"
                   "                   A reading's time is that of the step that read it, spread "
                   "evenly\n"
                   "                   over the step's readings.\n"
                   "  --log FILE       write the log file in the program's format (truncated "
                   "first)\n"
                   "  --timestamps     a hh:mm:ss line before each group of readings in the log\n"
                   "  --reconnect[=S]  when the port goes away, wait for the same adapter to come "
                   "back\n"
                   "                   (up to S seconds; without S as long as it takes), read the "
                   "EEPROM\n"
                   "                   again and go on when it is the same transducer (exit 10 "
                   "when not)\n"
                   "  --summary FILE   at the end, one JSON object: the whole run's statistics "
                   "and its\n"
                   "                   ledger (every record received, shown or thrown away); "
                   "without\n"
                   "                   it a short summary goes to standard error when that is a "
                   "terminal\n"
                   "  --influx URL     also send the readings, as the influx format writes them, "
                   "to\n"
                   "                   a time-series database, in batches (every second or 5000\n"
                   "                   readings), e.g. http://db:8428/write (VictoriaMetrics),\n"
                   "                   http://db:8086/write?db=zel (InfluxDB 1.x),\n"
                   "                   https://db:8086/api/v2/write?org=O&bucket=B (InfluxDB "
                   "2.x);\n"
                   "                   HTTPS with the system's certificates. The URL and the "
                   "token\n"
                   "                   are tried before the read-out: a refusal ends zelctl with "
                   "2,\n"
                   "                   a database that does not answer yet only gets a warning\n"
                   "  --influx-token-file FILE\n"
                   "                   the token (\"Authorization: Token ...\"; a token with a "
                   "blank,\n"
                   "                   e.g. \"Bearer ...\", goes as it is); without it "
                   "INFLUX_TOKEN\n"
                   "  --spool DIR      where batches wait while the database does not answer or\n"
                   "                   answers with a server error, sent oldest first when it "
                   "does\n"
                   "                   again (default $XDG_STATE_HOME/zel-demo/spool/PORT, e.g.\n"
                   "                   ~/.local/state/zel-demo/spool/ttyUSB0); batches refused "
                   "as\n"
                   "                   malformed go to DIR/rejected.lp. One zelctl a spool\n"
                   "  --flush-timeout SECONDS\n"
                   "                   at the end, how long to wait for the database (default "
                   "10);\n"
                   "                   what it has not taken by then stays in the spool (exit 9)\n"
                   "                   and the next zelctl with the same spool sends it first\n"
                   "  --influx-no-gzip request bodies uncompressed, for a database or a proxy\n"
                   "                   that does not take gzip (by default they are compressed)\n";
        case Command::Send:
            return "Usage: zelctl send (--port PATH | --simulate) [--wait MS] COMMAND\n"
                   "\n"
                   "Sends one command and prints what arrives within the wait (default 200 ms),\n"
                   "carriage returns shown as line breaks. C1, C2, C3, C4, IN and RESET are "
                   "framed\n"
                   "as the Command Inquiry list frames them (*01C1 and so on; RESET is\n"
                   "*01IN=RESET); any other text is sent as a manual command, as typed, with a\n"
                   "carriage return.\n";
        case Command::Verify:
            return "Usage: zelctl verify (--port PATH | --simulate) --plan FILE\n"
                   "                     (--reference manual | --controller URL)\n"
                   "                     [--report FILE.html] [--json FILE] [--log FILE]\n"
                   "                     [--reconnect[=SECONDS]] [--influx URL ...]\n"
                   "\n"
                   "Steps a reference pressure through the plan's set points, waits at each until\n"
                   "the readings settle, averages them for the dwell, compares them with the\n"
                   "reference and gives the figures in PSI and % of full scale (max_error,\n"
                   "zero_offset, span_error, nonlinearity_bfsl, nonlinearity_terminal,\n"
                   "hysteresis, nonrepeatability, noise) with a verdict. The figures and the\n"
                   "verdict go to standard output, the progress to standard error.\n"
                   "  --plan FILE        the plan as JSON: range_psi, points, cycles, directions,\n"
                   "                     settle, dwell_s, tolerances, controller (man zelctl)\n"
                   "  --reference manual at each point you set the pressure and type the\n"
                   "                     reference's reading: one number a line on standard input\n"
                   "  --controller URL   a SCPI pressure controller at tcp://HOST:PORT or\n"
                   "                     serial:PATH[?baud=N] (9600 8N1 by default); with\n"
                   "                     --simulate, \"sim\" is the built-in simulated controller,\n"
                   "                     whose pressure is the simulated transducer's truth\n"
                   "  --controller-tau-s TAU, --controller-noise-psi SIGMA\n"
                   "                     of --controller sim: its step's time constant (0.5 s)\n"
                   "                     and its readings' noise (0), as for zel-sim\n"
                   "  --seed and the sensor options of zel-sim (--noise-psi, --offset-psi, ...)\n"
                   "                     with --simulate, as for acquire\n"
                   "  --report FILE.html one self-contained HTML report\n"
                   "  --json FILE        the same as one JSON object\n"
                   "  --log, --reconnect, --influx ...  as for acquire\n"
                   "Exit: 0 pass, 11 fail, 12 incomplete (the points so far are still reported),\n"
                   "2 a bad plan or a controller that does not answer, 130 Ctrl-C (reported as\n"
                   "incomplete).\n";
        case Command::Stats:
            return "Usage: zelctl stats FILE [--window SECONDS] [--json] [--psd OUT.csv "
                   "[--segment N]]\n"
                   "\n"
                   "Computes the statistics that the program shows during a run from a file\n"
                   "recorded earlier: the program's pressure log (PSI only, so no rate, counts\n"
                   "or Allan deviation), or the csv or ndjson output of `zelctl acquire`. One\n"
                   "figure a line with its unit: count, mean, std dev, minimum, maximum and\n"
                   "peak-to-peak in PSI, std dev and peak-to-peak of the raw pressure counts,\n"
                   "effective and noise-free resolution in bits, the reading rate, the mean raw\n"
                   "temperature count and the Allan deviation at 0.1 s, 1 s and 10 s.\n"
                   "  --window SECONDS  only the readings of the last SECONDS of the file (csv or\n"
                   "                    ndjson), as the program's window; no Allan deviation\n"
                   "  --json            the figures as one JSON object, units in the keys, with\n"
                   "                    the spectrum's noise_density_psi_per_rthz and peaks\n"
                   "  --psd OUT.csv     the readings' power spectral density (Welch: Hann, half\n"
                   "                    overlapping segments, each one's mean removed) as\n"
                   "                    hz,psd_psi2_per_hz\n"
                   "  --segment N       readings a segment, 256 to 4096 (default: the longest\n"
                   "                    power of two that gives at least 8 segments)\n"
                   "A file that is none of these exits 2 and names the line.\n";
    }
    return {};
}

}  // namespace cli
