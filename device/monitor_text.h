#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace device {

inline constexpr size_t kMonitorTrimThreshold = 2000;

// Appends received text to the monitor text: CR becomes CR LF, and once the monitor holds more
// than 2000 characters, whole leading lines are dropped up to the first LF at or after the new
// text's length (as received). Empty text changes nothing. Returns false when nothing changed;
// `dropped`, when given, the number of leading characters removed.
bool AppendResponseText(std::string& monitor, std::string_view received, size_t* dropped = nullptr);

// Appends an echo line: ">>" + text; echoes never trim. Returns the echo line.
std::string AppendEchoText(std::string& monitor, std::string_view text);

}  // namespace device
