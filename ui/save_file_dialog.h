#pragma once

#include <functional>
#include <string>

class QWidget;

namespace ui {

struct SaveFileRequest {
    std::string title;
    std::string filter;         // e.g. "Text File (*.txt)"
    std::string defaultSuffix;  // added to a name typed without one
};

// Returns true and the full path when the user confirms; replacing an existing file is asked
// first. Replaceable so tests can answer it.
using SaveFileFunction =
    std::function<bool(QWidget* owner, const SaveFileRequest& request, std::string* path)>;

bool RunSaveFileDialog(QWidget* owner, const SaveFileRequest& request, std::string* path);
// Installs `function` (empty: the real dialog) and returns the one it replaces.
SaveFileFunction SetSaveFileFunction(SaveFileFunction function);

}  // namespace ui
