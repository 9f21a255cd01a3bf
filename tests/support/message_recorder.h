#pragma once

#include <vector>

#include "platform/message_box.h"

// Records every message box shown while it lives, instead of showing it.
class MessageRecorder {
public:
    MessageRecorder() {
        m_previous = platform::SetMessageBoxHandler(
            [this](const platform::MessageBoxRequest& request) { shown.push_back(request); });
        m_previousChoice =
            platform::SetMessageChoiceHandler([this](const platform::MessageBoxRequest& request) {
                shown.push_back(request);
                return choice;
            });
    }
    ~MessageRecorder() {
        platform::SetMessageBoxHandler(m_previous);
        platform::SetMessageChoiceHandler(m_previousChoice);
    }

    std::vector<platform::MessageBoxRequest> shown;
    int choice = 0;  // the button every choice is answered with

private:
    platform::MessageBoxHandler m_previous;
    platform::MessageChoiceHandler m_previousChoice;
};
