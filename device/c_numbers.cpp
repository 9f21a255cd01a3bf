#include "device/c_numbers.h"

#include <locale.h>

#include <cstdio>

#include <charconv>
#include <climits>
#include <cmath>

namespace device {

std::string FormatFixed6(double value) {
    return FormatFixed(value, 6);
}

std::string FormatFixed(double value, int decimals) {
    // to_chars with a precision prints as printf does in the "C" locale, and never looks at
    // the process locale. 1e308 in fixed point needs 309 digits plus the decimals.
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return std::isnan(value) ? "nan" : "inf";
    return std::string(buffer, result.ptr);
}

std::string FormatC(const char* format, double value) {
    // uselocale switches this thread only, so the user interface's own texts keep the user's.
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t(0));
    const locale_t before = ::uselocale(c);
    char text[400];
    std::snprintf(text, sizeof text, format, value);
    ::uselocale(before);
    return text;
}

long ParseDecimalLong(std::string_view text) {
    size_t i = 0;
    // isspace in the "C" locale.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate towards the sign's side so that LONG_MIN itself parses.
    long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (saturated) continue;
        int digit = text[i] - '0';
        if (negative) {
            if (value < (LONG_MIN + digit) / 10) {
                value = LONG_MIN;
                saturated = true;
            } else {
                value = value * 10 - digit;
            }
        } else {
            if (value > (LONG_MAX - digit) / 10) {
                value = LONG_MAX;
                saturated = true;
            } else {
                value = value * 10 + digit;
            }
        }
    }
    return value;
}

uint32_t ParseHexWord(std::string_view text) {
    size_t i = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) i = 2;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

std::string FormatHexUpper(uint32_t value, int minDigits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string reversed;
    do {
        reversed += kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (static_cast<int>(reversed.size()) < minDigits) reversed += '0';
    return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace device
