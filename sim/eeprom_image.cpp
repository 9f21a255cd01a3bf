#include "sim/eeprom_image.h"

#include <bit>
#include <cstring>

#include "sim/calibration.h"

namespace sim {

namespace {

void PutBigEndian(std::array<uint8_t, 256>* image, int address, uint32_t word) {
    for (int i = 0; i < 4; ++i) (*image)[address + i] = static_cast<uint8_t>(word >> (24 - 8 * i));
}

void PutFloat(std::array<uint8_t, 256>* image, int address, float value) {
    PutBigEndian(image, address, std::bit_cast<uint32_t>(value));
}

}  // namespace

std::array<uint8_t, 256> DefaultEeprom(uint32_t serialNumber) {
    std::array<uint8_t, 256> image;
    image.fill(0xFF);
    const auto coefficients = DefaultCoefficients();
    for (int row = 0; row < 37; ++row) PutFloat(&image, 4 * row, coefficients[row]);
    PutFloat(&image, 0x94, static_cast<float>(kPmaxPsi - kPminPsi));
    const int8_t temperatures[4] = {-20, 85, -40, 125};
    for (int i = 0; i < 4; ++i) image[0x98 + i] = static_cast<uint8_t>(temperatures[i]);
    PutFloat(&image, 0x9C, static_cast<float>(kPminPsi));
    PutFloat(&image, 0xA0, static_cast<float>(kPmaxPsi));
    PutBigEndian(&image, 0xA4, kRawTemperatureFullScale);
    PutBigEndian(&image, 0xA8, 0x01264903);
    PutBigEndian(&image, 0xAC, serialNumber);
    std::memcpy(&image[0xB0], "Z015", 4);
    uint32_t sum = 0;
    for (int a = 0; a < 0xB4; ++a) sum += image[a];
    image[0xB4] = static_cast<uint8_t>(sum >> 8);
    image[0xB5] = static_cast<uint8_t>(sum);
    image[0xB6] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    image[0xB7] = 0xFF;
    return image;
}

}  // namespace sim
