#pragma once

#include <functional>
#include <string>
#include <vector>

// The program's message boxes behind a hook: the program installs a handler that shows real
// boxes (message_boxes.cpp); tests install one that records what would have been shown.
// Without a handler the message goes to standard error. Only the user interface shows boxes:
// the layers below return what went wrong.
namespace ui {

enum class MessageIcon { None, Error, Exclamation, Information };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    bool appBox = false;  // the application's own box (caption = application title), else a plain
                          // system box with a caption of its own and no owner window
    std::vector<std::string> buttons;  // a choice's buttons; empty: one OK button
};

using MessageBoxHandler = std::function<void(const MessageBoxRequest&)>;
// Shows a choice and returns the index of the button taken.
using MessageChoiceHandler = std::function<int(const MessageBoxRequest&)>;

// Installs `handler` (an empty one restores the default) and returns the one it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// A plain system box with its own caption and no owner window.
void SystemMessageBox(const std::string& text, const std::string& caption, MessageIcon icon);

// The application's message box; its caption is the application title.
void AppMessageBox(const std::string& text, MessageIcon icon);

// Installs `handler` for choices (an empty one restores the default) and returns the one it
// replaces.
MessageChoiceHandler SetMessageChoiceHandler(MessageChoiceHandler handler);
// The application's message box with a choice of `buttons`: the index of the one taken. Without
// a choice handler the text goes where AppMessageBox sends it, and the answer is 0.
int AppMessageChoice(const std::string& text, MessageIcon icon,
                     const std::vector<std::string>& buttons);

}  // namespace ui
