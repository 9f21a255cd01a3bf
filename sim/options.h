#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <string>

#include "sim/eeprom_image.h"
#include "sim/sensor_errors.h"

namespace sim {

// Ways the simulated transducer can misbehave; all off by default.
struct Faults {
    bool silent = false;            // reads and records frames, never answers
    int eepromReplyDelayMs = 0;     // delay of each rd answer (25: host's second window, 50: late)
    bool outOfRangeBytes = false;   // rd answers byte + 256 at even addresses, byte - 256 at odd
    bool garbage = false;           // printable junk before some messages (no P, T, #, = or CR)
    bool nulBytes = false;          // NUL bytes before some messages
    bool splitRecords = false;      // output in pieces of 1 to 6 bytes with 0 to 2 ms gaps
    bool hashRestarts = false;      // a "#" before about one continuous record in 50
    double recordsPerSecond = 150;  // continuous output rate (1000: more than a host takes)
    int disconnectAfterMs = -1;     // closes the master this long after Start (-1: never)
    // EEPROM reads of chosen bytes: answered late, answered twice, or stalling the whole
    // simulator (nothing read or sent) for a moment. Each strikes the first read of its byte
    // since Start, or every read with byteFaultsEveryRead.
    std::bitset<256> lateBytes;
    int lateReplyMs = 80;
    std::bitset<256> doubledBytes;
    int stallAtByte = -1;
    int stallMs = 150;
    bool byteFaultsEveryRead = false;
};

struct Options {
    std::string address = "01";       // two characters
    std::string recordFiller = "00";  // the two characters after "T" and "P"
    Faults faults;
    uint32_t serialNumber = kDefaultSerialNumber;  // EEPROM row 43
    unsigned seed = 1;  // for the random parts of the faults and the sensor's noise
    SensorErrors errors;
    // The true pressure at a monotonic time, called from the simulator's thread (e.g. a
    // PressureController's); empty: errors.pressurePsi, else the sine of sim/truth_pattern.h.
    std::function<double(double time)> truePressure;
    bool rawPty = false;  // leave the pty cooked by default: the host must set raw mode itself
};

}  // namespace sim
