#pragma once

#include <string>
#include <vector>

namespace device {

// One EEPROM table row as the EEPROM page copies it to the clipboard: the six cells
// (Description, Address, Byte1..Byte4) joined by TABs, then CR LF. Missing cells are empty fields;
// nothing is quoted or escaped.
std::string EepromRowLine(const std::vector<std::string>& cells);

}  // namespace device
