#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "device/continuous_parser.h"

// The readings of a run as every front end gets them: the read-out's value, the raw counts it
// came from, and when it was read, by one rule for all of them.
namespace device {

struct TimedReading {
    std::chrono::system_clock::time_point utc;  // the host's UTC time
    std::chrono::nanoseconds sinceStart{0};     // monotonic, since the run started
    double psi = 0.0;
    std::string psiText;  // "%f", as the read-out and the log show it
    long rawPressure = 0;
    long rawTemperature = 0;

    // The seconds since the start as the CSV writes them ("%f"), read back.
    double Seconds() const;
    // The pressure as its text reads back: what a file recorded from the run holds.
    double WrittenPsi() const;
};

// The longest span one step's readings are spread over: two ticks, so that a late tick does not
// bunch its readings, while the first step after a pause is not stretched over the pause.
inline constexpr std::chrono::milliseconds kLongestStepSpread{200};

// Times the readings of each step: they arrived since the step before, so they are spread evenly
// over that span (at most kLongestStepSpread), the last one at the step itself. UTC is the run's
// start on the wall clock plus the monotonic time, so that a wall-clock jump during a run cannot
// reorder readings. Each reading falls in a later millisecond of UTC than the one before: a
// database that keeps milliseconds (and the CSV) can still tell them apart and keep their order,
// so a burst of readings in a short step is moved on by a millisecond each where it must be.
class ReadingClock {
public:
    using Steady = std::chrono::steady_clock;

    void Start(Steady::time_point now = Steady::now(),
               std::chrono::system_clock::time_point wall = std::chrono::system_clock::now());
    std::vector<TimedReading> Stamp(const std::vector<Reading>& readings,
                                    Steady::time_point now = Steady::now());

private:
    Steady::time_point m_start{};
    std::chrono::system_clock::time_point m_wallStart{};
    std::chrono::nanoseconds m_previousStep{0};
    std::chrono::sys_time<std::chrono::milliseconds> m_previousMillis{};  // of the last reading
};

// The readings as CSV: "time,seconds,psi,raw_p,raw_t", the time in ISO 8601 UTC with
// milliseconds, the seconds since the start with six decimals, the pressure as the read-out
// shows it. Every line ends in LF.
std::string CsvHeader();
std::string CsvLine(const TimedReading& reading);
// 2026-12-09T06:20:41.123Z
std::string IsoUtcMillis(std::chrono::system_clock::time_point utc);

}  // namespace device
