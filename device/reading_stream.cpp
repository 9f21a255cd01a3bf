#include "device/reading_stream.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "device/c_numbers.h"

namespace device {
namespace {

using namespace std::chrono_literals;

// The value of a "%f" text: "C" rules, whatever the locale; "nan" and "inf" as they read.
double ReadFixed(const std::string& text) {
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

double TimedReading::Seconds() const {
    return ReadFixed(FormatFixed6(std::chrono::duration<double>(sinceStart).count()));
}

double TimedReading::WrittenPsi() const {
    return ReadFixed(psiText);
}

void ReadingClock::Start(Steady::time_point now, std::chrono::system_clock::time_point wall) {
    m_start = now;
    m_wallStart = wall;
    m_previousStep = {};
    m_previousMillis = std::chrono::floor<std::chrono::milliseconds>(wall) - 1ms;
}

std::vector<TimedReading> ReadingClock::Stamp(const std::vector<Reading>& readings,
                                              Steady::time_point now) {
    using std::chrono::nanoseconds;
    const nanoseconds step = std::max(m_previousStep, nanoseconds(now - m_start));
    const nanoseconds span =
        std::clamp(step - m_previousStep, nanoseconds(0), nanoseconds(kLongestStepSpread));
    m_previousStep = step;
    const long count = static_cast<long>(readings.size());
    std::vector<TimedReading> timed;
    timed.reserve(readings.size());
    for (long i = 0; i < count; ++i) {
        const Reading& r = readings[i];
        nanoseconds at = step - span * (count - 1 - i) / count;
        auto utc =
            m_wallStart + std::chrono::duration_cast<std::chrono::system_clock::duration>(at);
        auto millis = std::chrono::floor<std::chrono::milliseconds>(utc);
        if (millis <= m_previousMillis) {
            utc = millis = m_previousMillis + 1ms;
            at = utc - m_wallStart;
        }
        m_previousMillis = millis;
        timed.push_back({utc, at, r.psi, FormatFixed6(r.psi), r.rawPressure, r.rawTemperature});
    }
    return timed;
}

std::string IsoUtcMillis(std::chrono::system_clock::time_point utc) {
    const auto millis = std::chrono::floor<std::chrono::milliseconds>(utc);
    const auto seconds = std::chrono::floor<std::chrono::seconds>(millis);
    const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(text + n, sizeof text - n, ".%03dZ",
                  static_cast<int>((millis - seconds).count()));
    return text;
}

std::string CsvHeader() {
    return "time,seconds,psi,raw_p,raw_t\n";
}

std::string CsvLine(const TimedReading& reading) {
    return IsoUtcMillis(reading.utc) + "," +
           FormatFixed6(std::chrono::duration<double>(reading.sinceStart).count()) + "," +
           reading.psiText + "," + std::to_string(reading.rawPressure) + "," +
           std::to_string(reading.rawTemperature) + "\n";
}

}  // namespace device
