#include "device/eeprom_row_text.h"

#include "device/eeprom_map.h"

namespace device {

std::string EepromRowLine(const std::vector<std::string>& cells) {
    std::string line;
    for (size_t column = 0; column < kEepromColumns.size(); ++column) {
        if (column > 0) line += '\t';
        if (column < cells.size()) line += cells[column];
    }
    line += "\r\n";
    return line;
}

}  // namespace device
