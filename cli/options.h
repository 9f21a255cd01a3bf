#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/reading_formats.h"
#include "sim/sensor_errors.h"

// The command line of zelctl.
namespace cli {

enum class Command { None, Ports, Eeprom, Acquire, Send, Stats, Verify };

enum ExitCode {
    kExitDone = 0,
    kExitUsage = 2,
    kExitPortNotOpened = 3,
    kExitNoAnswer = 4,
    kExitPortGone = 5,
    kExitEepromUnconfirmed = 6,  // some EEPROM bytes could not be confirmed; the rest is done
    kExitLogFailed = 7,          // writing the log file failed during the run
    kExitOutputFailed = 8,       // writing standard output failed (not a closed pipe)
    kExitOtherTransducer = 10,   // the port came back with another transducer, or one not confirmed
    kExitReadingsSpooled = 9,    // --influx: readings the database did not take are in the spool
    kExitVerifyFailed = 11,      // verify: a figure outside its tolerance
    kExitVerifyIncomplete = 12,  // verify: a point did not settle, the reference or port went away
    kExitInterrupted = 130,      // SIGINT during the EEPROM read-out (128 + 2)
    kExitTerminated = 143,       // SIGTERM during the EEPROM read-out (128 + 15)
};

struct Options {
    Command command = Command::None;
    bool help = false;
    bool version = false;
    std::vector<std::string> ports;  // --port PATH (repeatable for `ports`, one for the others)
    bool simulate = false;
    sim::SensorErrors simErrors;  // zel-sim's sensor options, for --simulate
    unsigned simSeed = 1;         // --seed of the simulated transducer
    bool simOptionGiven = false;
    std::string devDir;  // --dev-dir DIR of `ports`: serial devices there instead of /dev
    bool tsv = false;
    bool json = false;
    std::optional<double> durationSeconds;
    std::optional<long> count;
    ReadingsFormat format = ReadingsFormat::Text;
    std::string logPath;
    std::string summaryPath;  // --summary FILE of `acquire`
    // --reconnect[=SECONDS] of `acquire`: how long to wait for the port (infinity: no limit).
    std::optional<double> reconnectSeconds;
    bool timestamps = false;
    std::string influxUrl;        // --influx URL: the readings also go to this database
    std::string influxTokenFile;  // --influx-token-file FILE (else INFLUX_TOKEN)
    std::string spoolDir;         // --spool DIR; empty: the default under the state directory
    std::optional<double> flushTimeoutSeconds;  // --flush-timeout S; 10 when not given
    bool influxNoGzip = false;                  // --influx-no-gzip: request bodies uncompressed
    int waitMs = 200;
    std::string sendText;  // the COMMAND of `send`
    std::string file;      // the FILE of `stats`
    std::optional<double> windowSeconds;
    std::string psdFile;  // --psd FILE: the readings' spectrum as CSV
    int segment = 0;      // --segment N; 0: the longest that gives 8 segments
    // verify
    std::string planPath;       // --plan FILE
    bool manualReference = false;  // --reference manual
    std::string controllerUrl;  // --controller URL
    std::string reportPath;     // --report FILE.html
    std::string jsonPath;       // --json FILE
    // --controller sim with --simulate: the simulated controller's step time constant and
    // reading noise (--controller-tau-s, --controller-noise-psi).
    double simControllerTauS = 0.5;
    double simControllerNoisePsi = 0;
    bool simControllerOptionGiven = false;
    // With --simulate: the simulated transducer's true pressure at a monotonic time (the
    // simulated controller's); empty: the simulator's own.
    std::function<double(double time)> simTruePressure;
};

// Parses argv the GNU way (--port=PATH or --port PATH, unique abbreviations, "--" ends the
// options). On a usage error returns false and sets `error` to a sentence for the user.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);

// What a usage error prints: the error, the "Usage:" lines of the command's help and where to
// find the rest.
std::string UsageMessage(Command command, const std::string& error);

// The help text of a command (Command::None: the overview).
std::string HelpText(Command command);

}  // namespace cli
