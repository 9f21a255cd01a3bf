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
//
// A text that only lost characters at its front and gained some at its end reaches the edit as
// that removal and that insertion: the lines in between keep their layout, and the scroll bar
// stays untouched while the number of lines stays the same.
class TextViewWidget : public device::TextView {
public:
    explicit TextViewWidget(QPlainTextEdit* edit);
    ~TextViewWidget() override;

    void SetText(const std::string& text) override;
    void ScrollToEnd() override;
    void ShowAppended(const std::string& text, size_t dropped, size_t appended) override;

    // On the user-interface thread: shows what is pending at once (tests, the EEPROM wait).
    void Flush();

private:
    void Post();  // with m_mutex held
    // UI thread: puts `text` into the edit, by the difference to m_shown when that is known.
    void Show(std::string text, bool incremental, size_t dropped, size_t appended);
    bool ShowDifference(const std::string& text, size_t dropped, size_t appended);

    QPointer<QPlainTextEdit> m_edit;

    // Pending, guarded by m_mutex: the newest text and, when m_incremental, how it differs from
    // the text the edit took last.
    std::mutex m_mutex;
    std::string m_text;
    bool m_haveText = false;
    bool m_scroll = false;
    bool m_posted = false;
    bool m_incremental = false;
    size_t m_dropped = 0;
    size_t m_appended = 0;

    // UI thread: the text the edit shows, in the program's form (CR LF line ends); valid until
    // something else changes the edit (the user typing, a data exchange).
    std::string m_shown;
    bool m_shownValid = false;
    bool m_editing = false;
    QMetaObject::Connection m_changedElsewhere;
};

}  // namespace ui
