#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes `data` as the file `path`, whole or not at all: into a temporary file in the same
// folder, flushed to the disk and then renamed to `path`, so that a failure leaves nothing
// half-written under the name (an existing file stays as it was). False with the system's reason
// ("No space left on device", "File too large", ...) otherwise.
bool WriteWholeFile(const std::string& path, std::string_view data, std::string* reason);

}  // namespace platform
