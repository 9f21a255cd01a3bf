#include "device/eeprom_contents.h"

#include <charconv>
#include <cstdint>

namespace device {
namespace {

constexpr int kSerialNumberRow = 43;

// "came late", "came more than once and were not one whole reply".
std::string FaultPhrase(unsigned faults) {
    static constexpr std::pair<unsigned, const char*> kPhrases[] = {
        {kReplyLate, "came late"},
        {kReplyRepeated, "came more than once"},
        {kReplyNotWhole, "were not one whole reply"},
        {kReplyNeverCame, "never came"},
    };
    std::vector<const char*> parts;
    for (const auto& [bit, phrase] : kPhrases) {
        if (faults & bit) parts.push_back(phrase);
    }
    if (parts.empty()) parts.push_back("could not be told apart");
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text;
}

std::string RowName(int row) {
    const EepromRowInfo& info = EepromRows()[row];
    return std::string(info.description) + " (" + info.address + ")";
}

}  // namespace

std::string ByteText(const EepromImage& image, int address) {
    return EepromByteText(image.replies[address]);
}

std::array<std::string, 6> RowCells(const EepromImage& image, int row) {
    const EepromRowInfo& info = EepromRows()[row];
    std::array<std::string, 6> cells{info.description, info.address};
    for (int j = 0; j < 4; ++j) cells[2 + j] = ByteText(image, 4 * row + j);
    return cells;
}

std::array<float, kCoefficientRows> Coefficients(const EepromImage& image) {
    std::array<float, kCoefficientRows> coefficients{};
    for (int r = 0; r < kCoefficientRows; ++r) {
        std::string word = "0x";
        for (int j = 0; j < 4; ++j) word += ByteText(image, 4 * r + j);
        coefficients[r] = DecodeCoefficientWord(word);
    }
    return coefficients;
}

std::string SerialNumberText(const EepromImage& image) {
    uint32_t number = 0;
    for (int j = 0; j < 4; ++j) {
        const std::string text = ByteText(image, 4 * kSerialNumberRow + j);
        unsigned byte = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), byte, 16);
        if (text.size() != 2 || ec != std::errc() || ptr != text.data() + text.size()) return "";
        number = number << 8 | byte;
    }
    return std::to_string(number);
}

std::vector<UnconfirmedRow> UnconfirmedRows(const EepromImage& image) {
    std::vector<UnconfirmedRow> rows;
    for (int r = 0; r < kEepromRows; ++r) {
        UnconfirmedRow row{r, 0};
        bool confirmed = true;
        for (int j = 0; j < 4; ++j) {
            const int address = 4 * r + j;
            if (image.confirmed[address]) continue;
            confirmed = false;
            row.faults |= image.faults[address];
        }
        if (!confirmed) rows.push_back(row);
    }
    return rows;
}

int CountWholeEepromReplies(std::string_view text) {
    int whole = 0;
    for (size_t at = text.find('='); at != std::string_view::npos;) {
        const size_t next = text.find('=', at + 1);
        const size_t cr = text.find('\r', at + 1);
        if (cr != std::string_view::npos && cr < next) ++whole;
        at = next;
    }
    return whole;
}

unsigned ClassifyEepromReply(std::string_view text, bool late) {
    if (text.empty()) return kReplyNeverCame;
    if (CountWholeEepromReplies(text) > 1) return kReplyRepeated;
    const bool oneWhole = CountWholeEepromReplies(text) == 1 &&
                          text.find('=') == text.rfind('=');
    if (oneWhole && late) return kReplyLate;
    return kReplyNotWhole;
}

std::string RowNames(const std::vector<int>& rows) {
    std::string names;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) names += i + 1 == rows.size() ? " and " : ", ";
        names += RowName(rows[i]);
    }
    return names;
}

std::string UnconfirmedRowsMessage(const std::vector<UnconfirmedRow>& rows) {
    std::vector<int> numbers;
    bool coefficient = false;
    bool sameFaults = true;
    for (const UnconfirmedRow& row : rows) {
        numbers.push_back(row.row);
        coefficient = coefficient || row.row < kCoefficientRows;
        sameFaults = sameFaults && row.faults == rows.front().faults;
    }
    const std::string names = RowNames(numbers);
    std::string text = std::string(rows.size() == 1 ? "The EEPROM row " : "The EEPROM rows ") +
                       names + " could not be confirmed, also when asked again: ";
    if (sameFaults && !rows.empty()) {
        text += "the transducer's replies " + FaultPhrase(rows.front().faults);
    } else {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (i > 0) text += "; ";
            text += "for " + RowName(rows[i].row) + " the replies " + FaultPhrase(rows[i].faults);
        }
    }
    text += ". The values shown for them may be wrong";
    text += coefficient ? ", and so may the calculated pressure." : ".";
    return text;
}

}  // namespace device
