#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Number texts of the wire format, the read-out and the log: always the "C" rules, whatever
// locale the process runs under (Qt sets the user's at start-up).
namespace device {

// As printf("%f"): fixed point, six decimals, "-" when negative; "nan"/"inf" as glibc prints them.
std::string FormatFixed6(double value);
// The same with `decimals` decimals ("%.1f": FormatFixed(value, 1)).
std::string FormatFixed(double value, int decimals);

// One number as printf(format, value) prints it in the "C" locale ("%g", "%.2f", "%.9g"); the
// format takes exactly one double.
std::string FormatC(const char* format, double value);

// As strtol(text, nullptr, 10) in the "C" locale: leading white space, an optional sign, the
// leading digits; 0 without digits; saturates at the limits of long.
long ParseDecimalLong(std::string_view text);

// An unsigned hexadecimal number, an optional "0x"/"0X" first, digits of either case up to the
// first other character; a value past 32 bits gives 0xFFFFFFFF.
uint32_t ParseHexWord(std::string_view text);

// Uppercase hexadecimal with at least `minDigits` digits ("05", "AA", "12C").
std::string FormatHexUpper(uint32_t value, int minDigits);

}  // namespace device
