#pragma once

#include <functional>
#include <string>

namespace ui {

// Hands a document path or a web address to the desktop ("open"). The result is the desktop's;
// callers may ignore it. Replaceable so tests can see what would be opened.
using ShellOpenFunction = std::function<bool(const std::string& target)>;

bool ShellOpen(const std::string& target);
ShellOpenFunction SetShellOpenFunction(ShellOpenFunction function);

}  // namespace ui
