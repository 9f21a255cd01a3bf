#pragma once

#include <string>

namespace platform {

// Whether `path` can be opened for writing, found out without changing it: an existing file is
// opened without truncating, a new one is created and removed again. False with the system's
// reason ("Permission denied", "Is a directory", ...) otherwise.
bool CanWriteFile(const std::string& path, std::string* reason);

// Writes `content` as the whole of `path`: into a new file beside it, flushed to the disk, then
// renamed over it, so that the name holds either the old file or the whole new one, never half.
// False with the system's reason, and nothing left behind, when any step fails.
bool WriteWholeFile(const std::string& path, const std::string& content, std::string* reason);

}  // namespace platform
