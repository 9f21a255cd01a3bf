#pragma once

#include <string>
#include <string_view>

// Command frames as they go on the line: "*" + address + code + CR.
namespace device {

inline constexpr const char* kResetFrame = "*01IN=RESET\r";  // fixed, not built from the address
inline constexpr const char* kEepromPrologueFrame = "*02IN\r";
inline constexpr int kListCommandCount = 6;

std::string FrameCommand(const std::string& address, const std::string& code);

// The frame of a Command Inquiry item (0 C1, 1 C2, 2 C3, 3 C4, 4 IN, 5 reset); false for an
// index outside 0..5.
bool ListCommandFrame(int index, const std::string& address, std::string* frame);

// A Manual Command box text with leading and trailing blanks (space, tab, CR, LF, VT, FF) removed.
std::string TrimCommandText(std::string_view text);

// Every CR becomes CR LF, so that it breaks a line in the monitor.
std::string CrToCrLf(std::string_view text);

}  // namespace device
