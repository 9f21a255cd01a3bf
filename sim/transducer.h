#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "sim/options.h"
#include "sim/records.h"
#include "sim/sensor_errors.h"

namespace sim {

// One piece of text the transducer wants to send.
struct Output {
    std::string text;
    int delayMs = 0;  // hold it back this long
    bool isReading = false;
    ReadingRecord reading{};
};

// The transducer's behaviour without any I/O: frames in, texts out, continuous records on a
// schedule. Times are monotonic seconds. Not thread-safe: the simulator's thread owns it.
//
// Frames, after "*" and the address (other addresses are ignored):
//   rdXX     "RD=" + the byte at hex address XX in decimal + CR
//   WTXX=V   writes decimal V (0..255) at hex address XX from 0xB7 up: "OK" + CR;
//            below 0xB7 nothing is written: "NO" + CR
//   C1 / C3  one temperature / pressure record
//   C2 / C4  "#", then temperature / pressure records until IN
//   IN       stops continuous output, no answer
//   IN=RESET stops continuous output: "READY" + CR
//   other    "?" + CR
// Records: "T" or "P", the two filler characters, the raw count in decimal, CR.
class Transducer {
public:
    Transducer(const Options& options, double startTime);

    void SetFaults(const Faults& faults) { m_faults = faults; }
    void HandleFrame(const std::string& frame, double now, std::vector<Output>* out);
    // Continuous records due by `now`. Without `room` they are dropped, and counted.
    void Poll(double now, bool room, std::vector<Output>* out);
    double NextDue() const {
        return m_mode == Mode::None ? std::numeric_limits<double>::infinity() : m_nextDue;
    }

    bool Continuous() const { return m_mode != Mode::None; }
    const std::array<uint8_t, 256>& Eeprom() const { return m_eeprom; }
    uint64_t Dropped() const { return m_dropped; }
    // A stall the last frame asked for (the stall fault), in milliseconds; 0 when none. Clears it.
    int TakeStall() { return std::exchange(m_stallMs, 0); }

private:
    enum class Mode { None, Temperature, Pressure };

    Output Record(char kind, double time);
    double TruePressure(double time) const;
    void StartContinuous(Mode mode, double now, std::vector<Output>* out);
    void ReadByte(const std::string& args, std::vector<Output>* out);
    void WriteByte(const std::string& args, std::vector<Output>* out);

    Options m_options;
    Faults m_faults;
    double m_startTime;
    std::array<uint8_t, 256> m_eeprom;
    Mode m_mode = Mode::None;
    double m_nextDue = 0;
    uint64_t m_dropped = 0;
    std::array<int, 256> m_reads{};  // rd frames per address since Start
    int m_stallMs = 0;
    std::mt19937 m_random;
    SensorModel m_sensor;
};

}  // namespace sim
