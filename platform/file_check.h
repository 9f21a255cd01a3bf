#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Whether `path` can be opened for writing, found out without changing it: an existing file is
// opened without truncating, a new one is created and removed again. False with the system's
// reason ("Permission denied", "Is a directory", ...) otherwise.
bool CanWriteFile(const std::string& path, std::string* reason);

// The inode of `path` itself when it is a symbolic link, 0 otherwise: a link made anew (renamed
// into place) has another one than the link it replaced.
uint64_t SymlinkInode(const std::string& path);

}  // namespace platform
