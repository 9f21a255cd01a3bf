#pragma once

#include <array>
#include <string>

// The 256-byte EEPROM as the table shows it: 64 rows of four bytes; rows 0..36 hold the
// coefficients as big-endian IEEE 754 singles.
namespace device {

inline constexpr int kEepromRows = 64;
inline constexpr int kCoefficientRows = 37;

struct EepromRowInfo {
    const char* description;  // "A", "a1", ... "Checksum Bytes", "Unused"
    const char* address;      // the row's first byte address, uppercase: "00" ... "FC"
};
const std::array<EepromRowInfo, kEepromRows>& EepromRows();

struct EepromColumn {
    const char* title;
    int widthPixels;
};
inline constexpr std::array<EepromColumn, 6> kEepromColumns{{{"Description", 120},
                                                             {"Address", 57},
                                                             {"Byte1", 50},
                                                             {"Byte2", 50},
                                                             {"Byte3", 50},
                                                             {"Byte4", 50}}};

// "*" + address + "rd" + two lowercase hex digits + CR.
std::string EepromReadFrame(const std::string& deviceAddress, int byteAddress);

// The byte text of one reply: the text after the first "=" (all of it without one) less the
// reply's last character, read as a decimal, written as an unsigned 32-bit number in uppercase
// hex with at least two digits. "=170\r" gives "AA", "" gives "00", "=-1\r" "FFFFFFFF".
std::string EepromByteText(const std::string& reply);

// "0x" + the four byte texts of a row as a float's bit pattern; saturates at 0xFFFFFFFF.
float DecodeCoefficientWord(const std::string& wordText);

}  // namespace device
