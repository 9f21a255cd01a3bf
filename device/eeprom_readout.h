#pragma once

#include <string>
#include <string_view>

// Judging the transducer's replies to the EEPROM read commands. A reply is "RD=", the byte in
// decimal and a CR; nothing else the transducer sends holds an "=", so each "=" is one reply.
namespace device {

int CountEepromReplies(std::string_view text);

// Exactly one reply, whole: its CR has arrived.
bool IsOneWholeEepromReply(std::string_view text);

}  // namespace device
