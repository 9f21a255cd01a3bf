#pragma once

#include <vector>

#include "platform/message_box.h"

// Records every message box shown while it lives, instead of showing it.
class MessageRecorder {
public:
    MessageRecorder() {
        m_previous = platform::SetMessageBoxHandler(
            [this](const platform::MessageBoxRequest& request) { shown.push_back(request); });
    }
    ~MessageRecorder() { platform::SetMessageBoxHandler(m_previous); }

    std::vector<platform::MessageBoxRequest> shown;

private:
    platform::MessageBoxHandler m_previous;
};
