#include "device/live_statistics.h"

namespace device {

void LiveStatistics::Clear() {
    *this = LiveStatistics();
}

void LiveStatistics::Add(const std::vector<TimedReading>& readings) {
    for (const TimedReading& r : readings) {
        // As a recorded file gives it back: the same figures from the run and from its CSV.
        Add(AsWritten({r.psi, r.rawPressure, r.rawTemperature}, r.sinceStart));
    }
}

void LiveStatistics::Add(const StatsReading& written) {
    m_run.Add(written);
    m_second.Add(written);
    m_tenSeconds.Add(written);
    m_minute.Add(written);
}

Figures LiveStatistics::Current(StatsWindow window) const {
    switch (window) {
        case StatsWindow::kLastSecond:
            return m_second.Current();
        case StatsWindow::kLast10Seconds:
            return m_tenSeconds.Current();
        case StatsWindow::kLastMinute:
            return m_minute.Current();
        case StatsWindow::kWholeRun:
            break;
    }
    return m_run.Current();
}

}  // namespace device
