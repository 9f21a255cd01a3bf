#pragma once

#include <string>

namespace platform {

// Whether `path` can be opened for writing, found out without changing it: an existing file is
// opened without truncating, a new one is created and removed again. False with the system's
// reason ("Permission denied", "Is a directory", ...) otherwise.
bool CanWriteFile(const std::string& path, std::string* reason);

}  // namespace platform
