// zel-sim: the simulated transducer on a pseudo-terminal, for the demo, the tests and by hand.

#include <getopt.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "res/build_info.h"
#include "sim/pressure_controller.h"
#include "sim/simulator.h"

namespace {

constexpr const char* kHelpOptions = R"(Usage: zel-sim [OPTION]...
Simulated pressure transducer on a pseudo-terminal. Prints the device path a host opens (one
line), then answers until it gets SIGINT, SIGTERM or SIGHUP, or until --disconnect-after.

Options:
  --link PATH             also make a symlink PATH to the device; an old symlink there (from a
                          zel-sim that was killed or still runs) is replaced in one step, never
                          another file. Removed on exit while it still leads to this device;
                          after SIGKILL it stays, stale, until the next zel-sim replaces it
  --address XX            device address, two characters (default 01)
  --filler XX             the two characters after "T" and "P" in records (default 00)
  --serial N              serial number in EEPROM row 43 (0 to 4294967295, default 1234567);
                          the checksum row follows it
  --seed N                seed of the random faults (default 1)
  --raw                   put the line in raw mode (default: left cooked, as a fresh tty is,
                          so that a host that forgets to set raw mode is caught)
)";

constexpr const char* kHelpController = R"(Reference:
  --controller HOST:PORT  also a simulated pressure controller on TCP port PORT of HOST, a
                          loopback address (127.0.0.0/8 or localhost); port 0: one chosen.
                          Prints HOST:PORT as a second line, after the device path. While it
                          runs the true pressure is the controller's: it starts at --pressure
                          (else 0 PSI) and follows each set point as a first-order step
                            p(t) = sp + (p0 - sp) exp(-(t - t0) / tau)
  --controller-tau-s TAU  the step's time constant in seconds (default 0.5; 0: at once)
  --controller-noise-psi SIGMA
                          Gaussian noise of deviation SIGMA PSI on MEAS:PRES? (default 0)
  It speaks SCPI lines ending in LF (a CR before it is ignored), answers ending in LF, any
  case, short or long header forms (SOURce:PRESsure), clients one after the other or at once:
    *IDN?            its identity        *CLS          empty the error queue
    SOUR:PRES PSI    the set point, 0 to 15 PSI (no answer)
    SOUR:PRES?       the set point       MEAS:PRES?    the true pressure + its noise
    STAT:STAB?       1 once within 0.001 PSI of the set point for 1 s, else 0
    SYST:ERR?        the oldest error, removed from the queue; 0,"No error" when none:
                     -113,"Undefined header", -109,"Missing parameter", -104,"Data type
                     error", -222,"Data out of range"
  Numbers are answered with 7 decimals, e.g. 7.5000000.
)";

// The reading's formula; each option's line follows.
constexpr const char* kHelpSensor = R"(Sensor errors: the counts sent encode the reading
    Pmin + G (p - Pmin) + O + N 4x(1 - x) + h + D s / 3600 + A sin(2 pi F s) + n
  p the true pressure, Pmin = 0 and Pmax = 15 PSI, x = (p - Pmin) / (Pmax - Pmin), s the
  seconds since start, h the hysteresis term, n the noise; all off by default:
)";

constexpr const char* kHelpFaults = R"(Faults:
  --silent                never answer
  --eeprom-delay MS       answer each rd after MS milliseconds (25: the host's second window,
                          50: late, taken for the next byte)
  --out-of-range          rd answers the byte + 256 at even addresses, the byte - 256 at odd
                          ones (e.g. 300, -1)
  --garbage               junk before about one message in four (printable, without P, T, #,
                          = or CR)
  --nul                   one or two NUL bytes before about one message in four
  --split                 write in pieces of 1 to 6 bytes with gaps of 0 to 2 ms
  --hash-restarts         a "#" before about one continuous record in 50
  --rate N                continuous records a second (default 150; 1000 is more than a host
                          reading 512 bytes every 100 ms takes)
  --disconnect-after MS   close the line MS milliseconds after start: the host sees a hang-up
  --late-bytes LIST       answer the rd of these bytes late (LIST: hex addresses and ranges,
                          e.g. 0c,10-13,a0)
  --late-ms MS            how late (default 80: after both of the host's windows)
  --doubled-bytes LIST    answer the rd of these bytes twice
  --stall-at HH           the rd of byte HH stalls the whole simulator: nothing is read or
                          sent for a moment
  --stall-ms MS           how long (default 150)
  --every-read            the three faults above strike every read of their bytes (default:
                          only the first read since start)
  --help                  this text
  --version               the version

Frames (ASCII, each ending in CR; XX is the address; frames for other addresses are ignored):
  *XXrdHH          "RD=" + the EEPROM byte at hex address HH in decimal + CR, e.g. RD=170
  *XXWTHH=V        write decimal V (0..255) at hex address HH: "OK" + CR from 0xB7 up;
                   0x00..0xB6 are ignored with "NO" + CR; a malformed WT gets "?" + CR
  *XXC1            one temperature record     *XXC2  "#", then temperature records until IN
  *XXC3            one pressure record        *XXC4  "#", then pressure records until IN
  *XXIN            stop continuous output (no answer)
  *XXIN=RESET      stop continuous output, answer "READY" + CR
  anything else    "?" + CR
  Hex digits may be of either case. LF bytes are ignored, so CR LF lines typed by hand work.

EEPROM (256 bytes, rows of 4): rows 0-36 the coefficients A, a1-a6, b1-b6, c1-c6, d1-d6,
  e1-e6, fa1-fa6 as big-endian IEEE 754 singles; 37 FS 15.0; 38 temperatures -20, 85, -40,
  125 C; 39 Pmin 0.0; 40 Pmax 15.0; 41 Tout 0 and 65535; 42 type and date code; 43 serial
  number (big-endian, --serial); 44 part number; 45 checksum bytes; 46-63 0xFF. Writes last
  until the program ends.

Records: "T" or "P", the two filler characters, the raw count in decimal, CR, e.g. P003670016.
  Temperature: 16-bit count, linear from -20 C (0) to 85 C (65535).
  Pressure: 24-bit count; the host's formula with the EEPROM coefficients (rows 0 to 36)
  gives the reading (the true pressure with the sensor errors above) back within 5e-6 PSI,
  with a raw temperature up to 8 counts off the sensor's (a T record up to 2.4 s old). The
  count's step, about 1.1e-6 PSI, limits the exactness: with the current temperature the
  host is within 6e-7 PSI. Readings beyond what the counts reach (about -1.87 to 17.2 PSI)
  clamp to the counts' ends.
Truth: pressure 7.5 + 6.5 sin(2 pi s / 10) PSI (or --pressure, or the controller's),
  temperature 25 + 1.0 sin(2 pi s / 1200) C, s the seconds since start.
When the host reads slower than the output comes, the pty fills (about 20 KiB) and further
  continuous records are dropped; answers to commands are never dropped.
)";

bool ParseInt(std::string_view text, long min, long max, long* value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && *value >= min &&
           *value <= max;
}

bool ParseRate(std::string_view text, double* value) {
    long whole = 0;
    if (!ParseInt(text, 1, 100000, &whole)) return false;
    *value = static_cast<double>(whole);
    return true;
}

bool ParseHexAddress(std::string_view text, long* value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() &&
           *value >= 0 && *value <= 255;
}

// "0c,10-13,a0": hex byte addresses and inclusive ranges.
bool ParseByteList(std::string_view text, std::bitset<256>* bytes) {
    bytes->reset();
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const size_t dash = item.find('-');
        long first = 0, last = 0;
        if (!ParseHexAddress(item.substr(0, dash), &first)) return false;
        last = first;
        if (dash != std::string_view::npos && !ParseHexAddress(item.substr(dash + 1), &last))
            return false;
        if (last < first) return false;
        for (long a = first; a <= last; ++a) bytes->set(static_cast<size_t>(a));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return bytes->any();
}

// Points `link` at `target`. An old symlink is replaced by a rename, so that `link` never goes
// missing: a host waiting for it sees it appear once, leading to the new device.
bool MakeLink(const std::string& link, const std::string& target) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "zel-sim: %s exists and is no symlink\n", link.c_str());
        return false;
    }
    const std::string temporary = link + ".zel-sim-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "zel-sim: symlink %s: %s\n", link.c_str(), std::strerror(errno));
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Only while it still leads to `target`: another zel-sim may have taken the link over.
void RemoveLink(const std::string& link, const std::string& target) {
    char leadsTo[4096];
    const ssize_t n = ::readlink(link.c_str(), leadsTo, sizeof leadsTo);
    if (n > 0 && std::string_view(leadsTo, static_cast<size_t>(n)) == target) {
        ::unlink(link.c_str());
    }
}

int Usage(const std::string& message) {
    std::fprintf(stderr,
                 "zel-sim: %s\nUsage: zel-sim [OPTION]...\nTry 'zel-sim --help' for more "
                 "information.\n",
                 message.c_str());
    return 2;
}

enum OptionId {
    kOptHelp = 256,
    kOptLink,
    kOptAddress,
    kOptFiller,
    kOptSeed,
    kOptSerial,
    kOptRaw,
    kOptSilent,
    kOptEepromDelay,
    kOptOutOfRange,
    kOptGarbage,
    kOptNul,
    kOptSplit,
    kOptHashRestarts,
    kOptRate,
    kOptDisconnectAfter,
    kOptLateBytes,
    kOptLateMs,
    kOptDoubledBytes,
    kOptStallAt,
    kOptStallMs,
    kOptEveryRead,
    kOptVersion,
    kOptController,
    kOptControllerTau,
    kOptControllerNoise,
    kOptSensor,  // sim::SensorOptions()[id - kOptSensor]
};

const option kBaseOptions[] = {
    {"help", no_argument, nullptr, kOptHelp},
    {"version", no_argument, nullptr, kOptVersion},
    {"link", required_argument, nullptr, kOptLink},
    {"address", required_argument, nullptr, kOptAddress},
    {"filler", required_argument, nullptr, kOptFiller},
    {"seed", required_argument, nullptr, kOptSeed},
    {"serial", required_argument, nullptr, kOptSerial},
    {"raw", no_argument, nullptr, kOptRaw},
    {"silent", no_argument, nullptr, kOptSilent},
    {"eeprom-delay", required_argument, nullptr, kOptEepromDelay},
    {"out-of-range", no_argument, nullptr, kOptOutOfRange},
    {"garbage", no_argument, nullptr, kOptGarbage},
    {"nul", no_argument, nullptr, kOptNul},
    {"split", no_argument, nullptr, kOptSplit},
    {"hash-restarts", no_argument, nullptr, kOptHashRestarts},
    {"rate", required_argument, nullptr, kOptRate},
    {"disconnect-after", required_argument, nullptr, kOptDisconnectAfter},
    {"late-bytes", required_argument, nullptr, kOptLateBytes},
    {"late-ms", required_argument, nullptr, kOptLateMs},
    {"doubled-bytes", required_argument, nullptr, kOptDoubledBytes},
    {"stall-at", required_argument, nullptr, kOptStallAt},
    {"stall-ms", required_argument, nullptr, kOptStallMs},
    {"every-read", no_argument, nullptr, kOptEveryRead},
    {"controller", required_argument, nullptr, kOptController},
    {"controller-tau-s", required_argument, nullptr, kOptControllerTau},
    {"controller-noise-psi", required_argument, nullptr, kOptControllerNoise},
};

const std::vector<option>& Options() {
    static const std::vector<option> options = [] {
        std::vector<option> list(std::begin(kBaseOptions), std::end(kBaseOptions));
        const auto& sensor = sim::SensorOptions();
        for (size_t i = 0; i < sensor.size(); ++i)
            list.push_back(
                {sensor[i].name, required_argument, nullptr, kOptSensor + static_cast<int>(i)});
        list.push_back({nullptr, 0, nullptr, 0});
        return list;
    }();
    return options;
}

// Each option's help wrapped to 96 columns, its text from column 27.
void PrintOptionHelp(const char* name, const char* value, const char* help) {
    std::string head = std::string("  --") + name + " " + value;
    std::string line = head.size() < 26 ? head + std::string(26 - head.size(), ' ') : head;
    if (head.size() >= 26) {
        std::printf("%s\n", line.c_str());
        line = std::string(26, ' ');
    }
    std::string_view text = help;
    while (!text.empty()) {
        size_t take = text.size();
        if (take > 70) {
            take = text.rfind(' ', 70);
            if (take == std::string_view::npos) take = 70;
        }
        std::printf("%s%.*s\n", line.c_str(), static_cast<int>(take), text.data());
        text.remove_prefix(std::min(text.size(), take + 1));
        line = std::string(26, ' ');
    }
}

void PrintHelp() {
    std::fputs(kHelpOptions, stdout);
    std::fputs(kHelpSensor, stdout);
    for (const sim::SensorOption& o : sim::SensorOptions())
        PrintOptionHelp(o.name, o.value, o.help);
    std::fputs(kHelpController, stdout);
    std::fputs(kHelpFaults, stdout);
}

std::string OptionName(int id) {
    for (const option& o : Options()) {
        if (o.name && o.val == id) return std::string("--") + o.name;
    }
    return std::string("-") + static_cast<char>(id);
}

// One option and its value (empty when it was missing). Returns an exit code, or -1 to go on.
struct Settings {
    sim::Options options;
    std::string link;
    bool controller = false;
    std::string controllerHost;
    uint16_t controllerPort = 0;
    sim::ControllerOptions controllerOptions;
};

bool ParseSeconds(std::string_view text, double max, double* value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() &&
           *value >= 0 && *value <= max;
}

int TakeOption(int id, std::string_view text, Settings* settings) {
    sim::Options* options = &settings->options;
    std::string* link = &settings->link;
    long number = 0;
    sim::Faults& faults = options->faults;
    switch (id) {
        case 'h':
        case kOptHelp:
            PrintHelp();
            return 0;
        case kOptVersion:
            std::printf("zel-sim (Zel Demo Interface) %s\n", res::kVersion);
            return 0;
        case kOptLink:
            if (text.empty()) return Usage("--link needs a path");
            *link = text;
            break;
        case kOptAddress:
            if (text.size() != 2) return Usage("--address needs two characters");
            options->address = text;
            break;
        case kOptFiller:
            if (text.size() != 2) return Usage("--filler needs two characters");
            options->recordFiller = text;
            break;
        case kOptSeed:
            if (!ParseInt(text, 0, 4294967295L, &number)) return Usage("--seed needs a number");
            options->seed = static_cast<unsigned>(number);
            break;
        case kOptSerial:
            if (!ParseInt(text, 0, 4294967295L, &number))
                return Usage("--serial needs a number (0 to 4294967295)");
            options->serialNumber = static_cast<uint32_t>(number);
            break;
        case kOptRaw:
            options->rawPty = true;
            break;
        case kOptSilent:
            faults.silent = true;
            break;
        case kOptEepromDelay:
            if (!ParseInt(text, 0, 60000, &number))
                return Usage("--eeprom-delay needs milliseconds (0 to 60000)");
            faults.eepromReplyDelayMs = static_cast<int>(number);
            break;
        case kOptOutOfRange:
            faults.outOfRangeBytes = true;
            break;
        case kOptGarbage:
            faults.garbage = true;
            break;
        case kOptNul:
            faults.nulBytes = true;
            break;
        case kOptSplit:
            faults.splitRecords = true;
            break;
        case kOptHashRestarts:
            faults.hashRestarts = true;
            break;
        case kOptRate:
            if (!ParseRate(text, &faults.recordsPerSecond))
                return Usage("--rate needs records a second (1 to 100000)");
            break;
        case kOptDisconnectAfter:
            if (!ParseInt(text, 0, 86400000L, &number))
                return Usage("--disconnect-after needs milliseconds");
            faults.disconnectAfterMs = static_cast<int>(number);
            break;
        case kOptLateBytes:
            if (!ParseByteList(text, &faults.lateBytes))
                return Usage("--late-bytes needs hex byte addresses, e.g. 0c,10-13");
            break;
        case kOptLateMs:
            if (!ParseInt(text, 0, 60000, &number))
                return Usage("--late-ms needs milliseconds (0 to 60000)");
            faults.lateReplyMs = static_cast<int>(number);
            break;
        case kOptDoubledBytes:
            if (!ParseByteList(text, &faults.doubledBytes))
                return Usage("--doubled-bytes needs hex byte addresses, e.g. 0c,10-13");
            break;
        case kOptStallAt:
            if (!ParseHexAddress(text, &number))
                return Usage("--stall-at needs a hex byte address (00 to ff)");
            faults.stallAtByte = static_cast<int>(number);
            break;
        case kOptStallMs:
            if (!ParseInt(text, 0, 60000, &number))
                return Usage("--stall-ms needs milliseconds (0 to 60000)");
            faults.stallMs = static_cast<int>(number);
            break;
        case kOptEveryRead:
            faults.byteFaultsEveryRead = true;
            break;
        case kOptController: {
            std::string error;
            if (!sim::ParseHostPort(std::string(text), &settings->controllerHost,
                                    &settings->controllerPort, &error))
                return Usage("--controller: " + error);
            settings->controller = true;
            break;
        }
        case kOptControllerTau:
            if (!ParseSeconds(text, 3600, &settings->controllerOptions.tauS))
                return Usage("--controller-tau-s needs seconds (0 to 3600)");
            break;
        case kOptControllerNoise:
            if (!ParseSeconds(text, 15, &settings->controllerOptions.noisePsi))
                return Usage("--controller-noise-psi needs PSI (0 to 15)");
            break;
        default:
            if (id >= kOptSensor &&
                id < kOptSensor + static_cast<int>(sim::SensorOptions().size())) {
                std::string error;
                if (!sim::SetSensorOption(sim::SensorOptions()[id - kOptSensor].name, text,
                                          &options->errors, &error))
                    return Usage(error);
            }
            break;
    }
    return -1;
}

// GNU forms: --rate=N or --rate N, unique abbreviations, -- before operands (none are taken).
// Returns an exit code when the program is done (help, version, bad usage), or -1 to run.
int ParseArguments(int argc, char** argv, Settings* settings) {
    opterr = 0;
    optind = 0;
    for (;;) {
        const int id = getopt_long(argc, argv, ":h", Options().data(), nullptr);
        if (id == -1) break;
        int done = -1;
        if (id == ':') {
            done = TakeOption(optopt, "", settings);  // each value check fails on ""
        } else if (id == '?') {
            if (optopt >= 256) {
                done = Usage(OptionName(optopt) + " takes no value");
            } else {
                done = Usage("unknown option " +
                             (optopt != 0 ? OptionName(optopt) : std::string(argv[optind - 1])));
            }
        } else {
            done = TakeOption(id, optarg ? optarg : "", settings);
        }
        if (done >= 0) return done;
    }
    if (optind < argc) return Usage(std::string("unexpected argument ") + argv[optind]);
    if (std::string error; !sim::CheckSensorErrors(settings->options.errors, &error))
        return Usage(error);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (const int done = ParseArguments(argc, argv, &settings); done >= 0) return done;
    sim::Options& options = settings.options;
    const std::string& link = settings.link;

    // Blocked before the simulator's thread starts, so that only sigtimedwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Started before the simulator and stopped after it: its truth is the transducer's.
    settings.controllerOptions.initialPsi = options.errors.pressurePsi.value_or(sim::kPminPsi);
    settings.controllerOptions.seed = options.seed ^ 0x5bd1e995u;  // not the sensor's noise
    settings.controllerOptions.identity =
        std::string("zel-sim,simulated pressure controller,0,") + res::kVersion;
    sim::PressureController controller(settings.controllerOptions);
    std::string error;
    if (settings.controller) {
        if (!controller.Start(settings.controllerHost, settings.controllerPort, &error)) {
            std::fprintf(stderr, "zel-sim: --controller: %s\n", error.c_str());
            return 1;
        }
        options.truePressure = [&controller](double time) {
            return controller.TruePressureAt(time);
        };
    }

    sim::Simulator simulator(options);
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "zel-sim: %s\n", error.c_str());
        return 1;
    }
    if (!link.empty() && !MakeLink(link, simulator.PortPath())) return 1;
    std::printf("%s\n", simulator.PortPath().c_str());
    if (settings.controller) std::printf("%s\n", controller.Address().c_str());
    std::fflush(stdout);

    const timespec poll{0, 100 * 1000 * 1000};
    while (simulator.Running()) {
        if (sigtimedwait(&stopSignals, nullptr, &poll) > 0) break;
    }
    simulator.Stop();
    controller.Stop();
    if (!link.empty()) RemoveLink(link, simulator.PortPath());
    return 0;
}
