#include "device/eeprom_map.h"

#include <bit>
#include <cstdint>

#include "device/c_numbers.h"

namespace device {

const std::array<EepromRowInfo, kEepromRows>& EepromRows() {
    static const std::array<EepromRowInfo, kEepromRows> rows = [] {
        static const char* const kNamed[46] = {"A",
                                               "a1",
                                               "a2",
                                               "a3",
                                               "a4",
                                               "a5",
                                               "a6",
                                               "b1",
                                               "b2",
                                               "b3",
                                               "b4",
                                               "b5",
                                               "b6",
                                               "c1",
                                               "c2",
                                               "c3",
                                               "c4",
                                               "c5",
                                               "c6",
                                               "d1",
                                               "d2",
                                               "d3",
                                               "d4",
                                               "d5",
                                               "d6",
                                               "e1",
                                               "e2",
                                               "e3",
                                               "e4",
                                               "e5",
                                               "e6",
                                               "fa1",
                                               "fa2",
                                               "fa3",
                                               "fa4",
                                               "fa5",
                                               "fa6",
                                               "FS",
                                               "Min/Max Op/Stor Temp",
                                               "Pmin",
                                               "Pmax",
                                               "Min/Max Tout",
                                               "Type/Date Code",
                                               "Serial No",
                                               "Vel. P/N",
                                               "Checksum Bytes"};
        static const char* const kAddresses[kEepromRows] = {
            "00", "04", "08", "0C", "10", "14", "18", "1C", "20", "24", "28", "2C", "30",
            "34", "38", "3C", "40", "44", "48", "4C", "50", "54", "58", "5C", "60", "64",
            "68", "6C", "70", "74", "78", "7C", "80", "84", "88", "8C", "90", "94", "98",
            "9C", "A0", "A4", "A8", "AC", "B0", "B4", "B8", "BC", "C0", "C4", "C8", "CC",
            "D0", "D4", "D8", "DC", "E0", "E4", "E8", "EC", "F0", "F4", "F8", "FC"};
        std::array<EepromRowInfo, kEepromRows> table{};
        for (int r = 0; r < kEepromRows; ++r) {
            table[r] = {r < 46 ? kNamed[r] : "Unused", kAddresses[r]};
        }
        return table;
    }();
    return rows;
}

std::string EepromReadFrame(const std::string& deviceAddress, int byteAddress) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const unsigned a = static_cast<unsigned>(byteAddress) & 0xFF;
    std::string frame = "*" + deviceAddress + "rd";
    frame += kDigits[a >> 4];
    frame += kDigits[a & 0xF];
    frame += '\r';
    return frame;
}

std::string EepromByteText(const std::string& reply) {
    const size_t equals = reply.find('=');
    const size_t begin = equals == std::string::npos ? 0 : equals + 1;
    // The reply's last character (its line end) is always dropped, whatever it is.
    std::string_view value;
    if (!reply.empty() && begin < reply.size()) {
        value = std::string_view(reply).substr(begin, reply.size() - 1 - begin);
    }
    const long v = ParseDecimalLong(value);
    return FormatHexUpper(static_cast<uint32_t>(v), 2);
}

float DecodeCoefficientWord(const std::string& wordText) {
    return std::bit_cast<float>(ParseHexWord(wordText));
}

}  // namespace device
