#pragma once

#include <vector>

#include "ui/message_box.h"

// Records every message box shown while it lives, instead of showing it.
class MessageRecorder {
public:
    MessageRecorder() {
        m_previous = ui::SetMessageBoxHandler(
            [this](const ui::MessageBoxRequest& request) { shown.push_back(request); });
        m_previousChoice =
            ui::SetMessageChoiceHandler([this](const ui::MessageBoxRequest& request) {
                shown.push_back(request);
                return choice;
            });
    }
    ~MessageRecorder() {
        ui::SetMessageBoxHandler(m_previous);
        ui::SetMessageChoiceHandler(m_previousChoice);
    }

    std::vector<ui::MessageBoxRequest> shown;
    int choice = 0;  // the button every choice is answered with

private:
    ui::MessageBoxHandler m_previous;
    ui::MessageChoiceHandler m_previousChoice;
};
