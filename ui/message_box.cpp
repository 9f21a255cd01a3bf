#include "ui/message_box.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "res/strings.h"

namespace ui {
namespace {

std::mutex g_handlerMutex;
MessageBoxHandler g_handler;
MessageChoiceHandler g_choiceHandler;

void Show(const MessageBoxRequest& request) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_handler;
    }
    if (handler) {
        handler(request);
    } else {
        std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
    }
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(g_handlerMutex);
    return std::exchange(g_handler, std::move(handler));
}

void SystemMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    Show({text, caption, icon, false, {}});
}

void AppMessageBox(const std::string& text, MessageIcon icon) {
    Show({text, res::kAppTitle, icon, true, {}});
}

MessageChoiceHandler SetMessageChoiceHandler(MessageChoiceHandler handler) {
    std::lock_guard lock(g_handlerMutex);
    return std::exchange(g_choiceHandler, std::move(handler));
}

int AppMessageChoice(const std::string& text, MessageIcon icon,
                     const std::vector<std::string>& buttons) {
    const MessageBoxRequest request{text, res::kAppTitle, icon, true, buttons};
    MessageChoiceHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_choiceHandler;
    }
    if (handler) return handler(request);
    Show(request);
    return 0;
}

}  // namespace ui
