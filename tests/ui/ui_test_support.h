#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/message_box.h"
#include "tests/support/message_recorder.h"
#include "ui/dialog.h"

namespace uitest {

// Waits, without blocking the modal loop that runs meanwhile, for a visible modal window that
// `match` accepts, then runs `act` on it. Past the deadline every modal run is ended, so a
// missing window fails the test instead of hanging it; `*missed` tells which.
inline void WhenModal(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> act,
                      bool* missed = nullptr, int deadlineMs = 8000) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    // Each pending shot owns the poll; the poll itself holds only a weak reference, so it goes
    // once no shot is pending.
    auto poll = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> weak = poll;
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
        QTimer::singleShot(10, [self = weak.lock()] { (*self)(); });
    };
    QTimer::singleShot(0, [poll] { (*poll)(); });
}

inline std::function<bool(QWidget*)> Titled(const QString& title) {
    return [title](QWidget* w) { return w->windowTitle() == title; };
}

using ::MessageRecorder;

// Runs the event loop until `done` holds or `ms` pass; true when it held.
inline bool SpinUntil(std::function<bool()> done, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

}  // namespace uitest
