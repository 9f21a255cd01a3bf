#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/calibration.h"
#include "sim/eeprom_image.h"
#include "sim/options.h"
#include "sim/records.h"
#include "sim/truth_pattern.h"

// The simulated transducer: answers the transducer's frames on the master end of a
// pseudo-terminal, from a thread of its own. Plain C++, no Qt. The frames and answers are listed
// in sim/transducer.h, the EEPROM image in sim/eeprom_image.h, the truth in sim/truth_pattern.h,
// the sensor's errors in sim/sensor_errors.h, a reference whose truth it can take in
// sim/pressure_controller.h.
namespace sim {

class Simulator {
public:
    explicit Simulator(Options options = {});
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    ~Simulator();  // stops

    // Opens the pty and starts the thread. Fails on a bad address or filler (not two
    // characters) or when no pty can be had; `error` says why.
    bool Start(std::string* error = nullptr);
    // Closes the master: the host sees a hang-up. Also when the disconnect fault has struck.
    void Stop();
    // Between Start and Stop, or until the disconnect fault closes the master.
    bool Running() const;

    const std::string& PortPath() const;  // the slave path a host opens
    // Monotonic seconds at Start: TruePressureAt(time - StartTime()) is a reading's truth.
    double StartTime() const;
    // Takes effect at once, also for continuous output already running.
    void SetFaults(const Faults& faults);

    // Thread-safe copies.
    std::vector<FrameRecord> Frames() const;
    std::vector<ReadingRecord> Readings() const;
    void ClearRecords();
    std::array<uint8_t, 256> Eeprom() const;
    bool Continuous() const;  // C4 or C2 output running
    // Continuous records not sent because the line was full: output faster than the host reads
    // fills the pty (about 20 KiB), then the simulator drops records rather than block.
    uint64_t DroppedRecords() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sim
