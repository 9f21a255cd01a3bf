// Parses arbitrary EEPROM replies and coefficient words.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/c_numbers.h"
#include "device/eeprom_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const std::string text = device::EepromByteText(reply);
    if (text.size() < 2 || text.size() > 8) std::abort();
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) std::abort();
    }
    // The text reads back as the number it was made from.
    if (device::FormatHexUpper(device::ParseHexWord(text), 2) != text) std::abort();
    const std::string word = "0x" + text + text + text + text;
    const float value = device::DecodeCoefficientWord(word);
    (void)value;
    (void)device::DecodeCoefficientWord(reply);
    return 0;
}
