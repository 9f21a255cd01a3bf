#pragma once

#include <QPointer>
#include <mutex>
#include <string>

#include "device/views.h"

class QPlainTextEdit;

namespace ui {

// A device text view on a multi-line edit. Callable from any thread and never waits: the newest
// text is kept under a small mutex and at most one queued call is in flight; the edit takes the
// newest text when that call runs on its thread. A call to a destroyed edit is dropped.
class TextViewWidget : public device::TextView {
public:
    explicit TextViewWidget(QPlainTextEdit* edit);

    void SetText(const std::string& text) override;
    void ScrollToEnd() override;

    // On the user-interface thread: shows what is pending at once (tests, the EEPROM wait).
    void Flush();

private:
    void Post();  // with m_mutex held

    QPointer<QPlainTextEdit> m_edit;
    std::mutex m_mutex;
    std::string m_text;
    bool m_haveText = false;
    bool m_scroll = false;
    bool m_posted = false;
};

}  // namespace ui
