#pragma once

#include <array>
#include <cstdint>

// The simulated transducer's 256-byte EEPROM as it leaves the factory.
namespace sim {

// Rows of four bytes: row r is bytes 4r..4r+3.
//  0-36  the coefficients of DefaultCoefficients(), big-endian IEEE 754 singles
//  37    FS: full scale, 15.0 PSI as a big-endian single
//  38    Min/Max Op/Stor Temp: signed degrees C, -20, 85, -40, 125
//  39    Pmin: 0.0 PSI, big-endian single
//  40    Pmax: 15.0 PSI, big-endian single
//  41    Min/Max Tout: raw temperature range, big-endian 16-bit 0 and 65535
//  42    Type/Date Code: type 0x01 (gauge), then year, week and day as BCD 26, 49, 03
//  43    Serial No: big-endian 32-bit, kDefaultSerialNumber unless another is given
//  44    Vel. P/N: ASCII "Z015"
//  45    Checksum Bytes: 0xB4-0xB5 big-endian 16-bit sum of bytes 0x00-0xB3, 0xB6 the byte that
//        makes the 8-bit sum of 0x00-0xB3 and itself zero, 0xB7 0xFF (the first writable byte)
//  46-63 unused, 0xFF
constexpr int kFirstWritableAddress = 0xB7;  // WT below this address is ignored
constexpr uint32_t kDefaultSerialNumber = 1234567;

// Row 45's checksums follow the serial number.
std::array<uint8_t, 256> DefaultEeprom(uint32_t serialNumber = kDefaultSerialNumber);

}  // namespace sim
