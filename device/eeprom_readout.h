#pragma once

#include <string>
#include <string_view>
#include <vector>

// Judging the transducer's replies to the EEPROM read commands. A reply is "RD=", the byte in
// decimal and a CR; nothing else the transducer sends holds an "=", so each "=" is one reply.
namespace device {

int CountEepromReplies(std::string_view text);

// Exactly one reply, whole: its CR has arrived.
bool IsOneWholeEepromReply(std::string_view text);

// What the user is told about rows whose bytes could not be confirmed (row indices 0..63).
std::string UnconfirmedRowsMessage(const std::vector<int>& rows);

}  // namespace device
