#include "sim/transducer.h"

#include <algorithm>
#include <charconv>

#include "sim/calibration.h"
#include "sim/eeprom_image.h"
#include "sim/truth_pattern.h"

namespace sim {

namespace {

// Exactly two hex digits, either case: no sign, no "0x".
bool ParseHexByte(std::string_view text, int* value) {
    if (text.size() != 2) return false;
    unsigned parsed = 0;
    const auto result = std::from_chars(text.data(), text.data() + 2, parsed, 16);
    if (result.ec != std::errc() || result.ptr != text.data() + 2) return false;
    *value = static_cast<int>(parsed);
    return true;
}

bool ParseDecimal(std::string_view text, int* value) {
    if (text.empty() || text.size() > 6) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value, 10);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

Output Text(std::string text) {
    Output out;
    out.text = std::move(text);
    return out;
}

}  // namespace

Transducer::Transducer(const Options& options, double startTime)
    : m_options(options),
      m_faults(options.faults),
      m_startTime(startTime),
      m_eeprom(DefaultEeprom(options.serialNumber)),
      m_random(options.seed),
      m_sensor(options.errors, options.seed) {}

void Transducer::HandleFrame(const std::string& frame, double now, std::vector<Output>* out) {
    const std::string prefix = "*" + m_options.address;
    if (frame.compare(0, prefix.size(), prefix) != 0) return;
    if (m_faults.silent) return;
    const std::string command = frame.substr(prefix.size());
    if (command == "C1") {
        out->push_back(Record('T', now));
    } else if (command == "C3") {
        out->push_back(Record('P', now));
    } else if (command == "C2") {
        StartContinuous(Mode::Temperature, now, out);
    } else if (command == "C4") {
        StartContinuous(Mode::Pressure, now, out);
    } else if (command == "IN") {
        m_mode = Mode::None;
    } else if (command == "IN=RESET") {
        m_mode = Mode::None;
        out->push_back(Text("READY\r"));
    } else if (command.starts_with("rd") || command.starts_with("RD")) {
        ReadByte(command.substr(2), out);
    } else if (command.starts_with("WT") || command.starts_with("wt")) {
        WriteByte(command.substr(2), out);
    } else {
        out->push_back(Text("?\r"));
    }
}

void Transducer::Poll(double now, bool room, std::vector<Output>* out) {
    if (m_mode == Mode::None) return;
    const double rate = m_faults.recordsPerSecond > 0 ? m_faults.recordsPerSecond : 150;
    // After a long stall (a suspended process) the schedule restarts instead of bursting.
    if (now - m_nextDue > 1.0) m_nextDue = now;
    while (m_nextDue <= now) {
        const double due = m_nextDue;
        m_nextDue += 1.0 / rate;
        if (m_faults.silent) continue;
        if (!room) {
            ++m_dropped;
            continue;
        }
        Output record = Record(m_mode == Mode::Pressure ? 'P' : 'T', due);
        if (m_faults.hashRestarts && m_random() % 50 == 0) record.text.insert(0, "#");
        out->push_back(std::move(record));
    }
}

Output Transducer::Record(char kind, double time) {
    const double seconds = time - m_startTime;
    const double celsius = TrueTemperatureAt(seconds);
    Output out;
    out.isReading = true;
    out.reading.time = time;
    out.reading.kind = kind;
    if (kind == 'P') {
        out.reading.truth = TruePressure(time);
        out.reading.indicated = m_sensor.Reading(out.reading.truth, seconds);
        out.reading.raw = RawPressureFor(out.reading.indicated, celsius);
    } else {
        out.reading.truth = celsius;
        out.reading.indicated = celsius;
        out.reading.raw = RawTemperatureFor(celsius);
    }
    out.text =
        std::string(1, kind) + m_options.recordFiller + std::to_string(out.reading.raw) + "\r";
    return out;
}

double Transducer::TruePressure(double time) const {
    if (m_options.truePressure) return m_options.truePressure(time);
    if (m_options.errors.pressurePsi) return *m_options.errors.pressurePsi;
    return TruePressureAt(time - m_startTime);
}

void Transducer::StartContinuous(Mode mode, double now, std::vector<Output>* out) {
    m_mode = mode;
    m_nextDue = now;
    out->push_back(Text("#"));
}

void Transducer::ReadByte(const std::string& args, std::vector<Output>* out) {
    int address = 0;
    if (!ParseHexByte(args, &address)) {
        out->push_back(Text("?\r"));
        return;
    }
    int value = m_eeprom[address];
    if (m_faults.outOfRangeBytes) value += address % 2 == 0 ? 256 : -256;
    Output reply = Text("RD=" + std::to_string(value) + "\r");
    reply.delayMs = m_faults.eepromReplyDelayMs;
    const bool strikes = m_reads[address]++ == 0 || m_faults.byteFaultsEveryRead;
    if (strikes && m_faults.lateBytes.test(address)) {
        reply.delayMs = std::max(reply.delayMs, m_faults.lateReplyMs);
    }
    if (strikes && m_faults.stallAtByte == address) m_stallMs = m_faults.stallMs;
    if (strikes && m_faults.doubledBytes.test(address)) out->push_back(reply);
    out->push_back(std::move(reply));
}

void Transducer::WriteByte(const std::string& args, std::vector<Output>* out) {
    int address = 0;
    int value = 0;
    if (args.size() < 4 || args[2] != '=' ||
        !ParseHexByte(std::string_view(args).substr(0, 2), &address) ||
        !ParseDecimal(std::string_view(args).substr(3), &value) || value < 0 || value > 255) {
        out->push_back(Text("?\r"));
        return;
    }
    if (address < kFirstWritableAddress) {
        out->push_back(Text("NO\r"));
        return;
    }
    m_eeprom[address] = static_cast<uint8_t>(value);
    out->push_back(Text("OK\r"));
}

}  // namespace sim
