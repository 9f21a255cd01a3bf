#include "device/continuous_parser.h"

#include "device/c_numbers.h"
#include "device/pressure_formula.h"

namespace device {
namespace {

// The value text of a record whose letter is at `letter` and whose CR is at `cr`: the letter
// and the two characters after it are skipped.
std::string_view ValueText(std::string_view text, size_t letter, size_t cr) {
    if (cr < letter + 3) return {};
    return text.substr(letter + 3, cr - (letter + 3));
}

bool IsRecordLetter(char c) {
    return c == 'P' || c == 'T';
}

// The first `letter` at or after `from` that starts a record. Any two characters may follow a
// record's letter, "P" and "T" too: a letter within two characters after another is one of those.
size_t FindRecordLetter(std::string_view text, char letter, size_t from) {
    size_t at = text.find(letter, from);
    while (at != std::string_view::npos && ((at >= 1 && IsRecordLetter(text[at - 1])) ||
                                            (at >= 2 && IsRecordLetter(text[at - 2])))) {
        at = text.find(letter, at + 1);
    }
    return at;
}

// Returns the number of characters cut.
size_t CapCarry(std::string& carry) {
    if (carry.size() <= kCarryCap) return 0;
    const size_t cut = carry.size() - kCarryCap;
    carry.erase(0, cut);
    return cut;
}

int CountTemperatureRecords(std::string_view text) {
    int count = 0;
    for (size_t t = FindRecordLetter(text, 'T', 0); t != std::string_view::npos;
         t = FindRecordLetter(text, 'T', t + 1)) {
        if (text.find('\r', t) != std::string_view::npos) ++count;
    }
    return count;
}

}  // namespace

StepResult ParseContinuousChunk(std::string_view chunk, ContinuousState& state,
                                const std::array<float, 37>& coefficients,
                                const std::function<void()>& requestTemperature) {
    StepResult result;
    size_t nul = chunk.find('\0');
    if (nul != std::string_view::npos) {
        result.discardedBytes += static_cast<long>(chunk.size() - nul);
        chunk = chunk.substr(0, nul);
    }

    std::string working;
    size_t setAsideCarry = 0;
    if (!chunk.empty() && chunk[0] == '#') {
        working.assign(chunk);  // a fresh start: the carry is neither used nor emptied
        setAsideCarry = state.carry.size();
    } else {
        working = std::move(state.carry);
        working.append(chunk);
        state.carry.clear();
    }
    const std::string_view text(working);
    result.temperatureRecords = CountTemperatureRecords(text);

    // Only the first temperature record of a read counts.
    size_t t = FindRecordLetter(text, 'T', 0);
    if (t != std::string_view::npos) {
        size_t cr = text.find('\r', t);
        if (cr != std::string_view::npos) state.temperatureText.assign(ValueText(text, t, cr));
    }

    size_t p = FindRecordLetter(text, 'P', 0);
    if (p == std::string_view::npos) {  // dropped whole
        result.discardedBytes += static_cast<long>(text.size());
        return result;
    }

    size_t cr = text.find('\r', p);
    while (cr != std::string_view::npos) {
        std::string_view value = ValueText(text, p, cr);
        // The next record starts after this one's CR.
        size_t nextP = FindRecordLetter(text, 'P', cr + 1);
        size_t nextCr = nextP == std::string_view::npos ? nextP : text.find('\r', nextP);

        const long rawPressure = ParseDecimalLong(value);
        state.pressure = NormalisePressure(rawPressure);
        ++result.readings;
        ++state.readingCount;
        if (state.readingCount == 1) {
            if (requestTemperature) requestTemperature();
            ++result.temperatureRequests;
            state.rawTemperature = ParseDecimalLong(state.temperatureText);
            state.temperature = NormaliseTemperature(state.rawTemperature);
        } else if (state.readingCount >= 20) {
            state.rawTemperature = ParseDecimalLong(state.temperatureText);
            state.temperature = NormaliseTemperature(state.rawTemperature);
            state.readingCount = 0;
        }

        if (state.temperature != 0.0f && state.pressure != 0.0f) {
            const double psi = CalculatePressure(coefficients, state.pressure, state.temperature);
            std::string line = FormatFixed6(psi);
            result.lines += line;
            result.lines += "\r\n";
            result.logText += '\t';
            result.logText += line;
            result.logText += "\r\n";
            result.values.push_back({psi, rawPressure, state.rawTemperature});
            ++result.shown;
        } else if (state.pressure == 0.0f) {
            ++result.zero;
        } else {
            ++result.noTemperature;
        }

        if (nextP == std::string_view::npos || nextCr == std::string_view::npos) break;
        p = nextP;
        cr = nextCr;
    }

    size_t last = text.rfind('\r');
    if (last == std::string_view::npos) {
        state.carry = working;
        result.discardedBytes += static_cast<long>(setAsideCarry);
    } else if (last > 0) {
        state.carry.assign(text.substr(last + 1));
        result.discardedBytes += static_cast<long>(setAsideCarry);
    }
    result.discardedBytes += static_cast<long>(CapCarry(state.carry));
    return result;
}

void AppendReadoutLines(std::string& readout, const std::string& lines) {
    readout += lines;
    if (readout.size() > kReadoutTrimThreshold) readout.erase(0, lines.size());
}

}  // namespace device
