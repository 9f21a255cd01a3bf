#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The simulated transducer: answers the transducer's frames on the master end of a
// pseudo-terminal, from a thread of its own. Plain C++, no Qt.
namespace sim {

struct Faults {
    bool silent = false;            // reads and records frames, never answers
    int eepromReplyDelayMs = 0;     // delay before each rd answer (25: second window, 50: late)
    bool outOfRangeBytes = false;   // rd answers 300 and -1 in turn instead of the byte
    bool garbage = false;           // printable junk between answers and records
    bool nulBytes = false;          // NUL bytes between answers and records
    bool splitRecords = false;      // output written in small random pieces with small gaps
    bool hashRestarts = false;      // a "#" now and then during continuous output
    double recordsPerSecond = 150;  // continuous output rate (1000: faster than a host takes)
    int disconnectAfterMs = -1;     // closes the master this long after Start (-1: never)
};

struct Options {
    std::string address = "01";
    std::string recordFiller = "00";  // the two characters after "T" and "P"
    Faults faults;
    unsigned seed = 1;
    bool rawPty = false;  // leave the pty cooked by default: the host must set raw mode itself
};

struct FrameRecord {
    double time;        // seconds, monotonic clock
    std::string frame;  // without the CR
};

struct ReadingRecord {
    double time;  // seconds, monotonic clock, when the record was queued for output
    char kind;    // 'T' or 'P'
    uint32_t raw;
    double truth;  // PSI for 'P', degrees C for 'T'
};

class Simulator {
public:
    explicit Simulator(Options options = {});
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    ~Simulator();  // stops

    bool Start(std::string* error = nullptr);  // pty + thread
    void Stop();                               // closes the master: the host sees a hang-up
    bool Running() const;                      // false after Stop or the disconnect fault

    const std::string& PortPath() const;      // the slave path a host opens
    std::vector<FrameRecord> Frames() const;  // thread-safe copies
    std::vector<ReadingRecord> Readings() const;
    void ClearRecords();
    std::array<uint8_t, 256> Eeprom() const;
    bool Continuous() const;  // C4 or C2 output running

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The factory image: coefficients in rows 0-36, identity rows 37-45, 0xFF after.
std::array<uint8_t, 256> DefaultEeprom();
std::array<float, 37> DefaultCoefficients();

// The host's formula, reproduced exactly (float normalisation, double evaluation, pow()).
double HostPressure(const std::array<float, 37>& c, uint32_t rawPressure, uint32_t rawTemperature);

// The simulated sensor and its truth.
uint32_t RawPressureFor(double psi, double celsius);  // 24-bit count
uint32_t RawTemperatureFor(double celsius);           // 16-bit count
double CelsiusForRaw(uint32_t rawTemperature);        // inverse of RawTemperatureFor, unquantised
double TruePressureAt(double seconds);  // the pattern between Pmin and Pmax, seconds after Start
double TrueTemperatureAt(double seconds);

constexpr double kPminPsi = 0.0;
constexpr double kPmaxPsi = 15.0;
constexpr double kTminC = -20.0;  // operating range: raw 0 .. 65535 spans it
constexpr double kTmaxC = 85.0;
// |HostPressure(RawPressureFor(p, t), RawTemperatureFor(t)) - p| bound, in PSI, for p in
// [kPminPsi, kPmaxPsi] and t in the operating range: 24-bit and 16-bit quantisation plus float
// rounding of the coefficients and the normalised inputs.
constexpr double kStatedErrorPsi = 0.002;

}  // namespace sim
