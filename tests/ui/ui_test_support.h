#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "ui/dialog.h"

namespace uitest {

// Waits, without blocking the modal loop that runs meanwhile, for a visible modal window that
// `match` accepts, then runs `act` on it. Past the deadline every modal run is ended, so a
// missing window fails the test instead of hanging it; `*missed` tells which.
inline void WhenModal(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> act,
                      bool* missed = nullptr, int deadlineMs = 8000) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && match(modal)) {
            act(modal);
            return;
        }
        if (clock->elapsed() > deadlineMs) {
            if (missed) *missed = true;
            CDialog::EndProgram(1);
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->isModal() && w->isVisible()) w->close();
            }
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

inline std::function<bool(QWidget*)> Titled(const QString& title) {
    return [title](QWidget* w) { return w->windowTitle() == title; };
}

// Records every message box instead of showing it.
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

// Runs the event loop until `done` holds or `ms` pass; true when it held.
inline bool SpinUntil(std::function<bool()> done, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace uitest
