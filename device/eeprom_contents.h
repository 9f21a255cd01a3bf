#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "device/eeprom_map.h"

// The EEPROM as one read-out gives it, and what the program derives from it: the table cells,
// the coefficient set, the serial number. Pure functions; nothing here touches the port.
namespace device {

inline constexpr int kEepromBytes = 256;

// What was seen of a byte that could not be confirmed; bits, as one byte may see several.
enum EepromReplyFault : unsigned {
    kReplyLate = 1,         // one whole reply, but only after its windows
    kReplyRepeated = 2,     // more than one whole reply
    kReplyNotWhole = 4,     // something came, but not one whole reply ("ERR", "=12", "==9")
    kReplyNeverCame = 8,    // nothing at all
};

struct EepromImage {
    std::array<std::string, kEepromBytes> replies{};  // the reply text each byte was read from
    std::array<bool, kEepromBytes> confirmed{};       // exactly one whole reply in its windows
    std::array<unsigned, kEepromBytes> faults{};      // EepromReplyFault bits of the tries
};

// The byte's text as the table shows it: "AA", "00" for no reply.
std::string ByteText(const EepromImage& image, int address);
// Description, Address, Byte1..Byte4 of row `row` (0..63).
std::array<std::string, 6> RowCells(const EepromImage& image, int row);
// Rows 0..36 decoded as big-endian IEEE 754 singles from their byte texts.
std::array<float, kCoefficientRows> Coefficients(const EepromImage& image);
// Row 43's ("Serial No") four bytes as one big-endian unsigned number in decimal; empty when a
// byte text is not two hex digits.
std::string SerialNumberText(const EepromImage& image);

// A row that holds a byte that could not be confirmed, with the faults its bytes showed.
struct UnconfirmedRow {
    int row = 0;
    unsigned faults = 0;
    bool operator==(const UnconfirmedRow&) const = default;
};
std::vector<UnconfirmedRow> UnconfirmedRows(const EepromImage& image);

// How many whole replies ("=", a value, CR) `text` holds; a reply cut by another "=" is none.
int CountWholeEepromReplies(std::string_view text);
// The fault one try's text shows; `late` when its windows were empty and the reply came after.
unsigned ClassifyEepromReply(std::string_view text, bool late);

// Rows by name and first address: "a4 (10)", "a4 (10), a5 (14) and Serial No (AC)".
std::string RowNames(const std::vector<int>& rows);

// What the user is told about rows whose bytes could not be confirmed.
std::string UnconfirmedRowsMessage(const std::vector<UnconfirmedRow>& rows);

}  // namespace device
