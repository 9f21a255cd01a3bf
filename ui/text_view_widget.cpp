#include "ui/text_view_widget.h"

#include <QPlainTextEdit>
#include <QScrollBar>

namespace ui {

TextViewWidget::TextViewWidget(QPlainTextEdit* edit) : m_edit(edit) {}

void TextViewWidget::SetText(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_text = text;
    m_haveText = true;
    Post();
}

void TextViewWidget::ScrollToEnd() {
    std::lock_guard lock(m_mutex);
    m_scroll = true;
    Post();
}

void TextViewWidget::Post() {
    if (m_posted || !m_edit) return;
    m_posted = true;
    QMetaObject::invokeMethod(
        m_edit.data(), [this] { Flush(); }, Qt::QueuedConnection);
}

void TextViewWidget::Flush() {
    std::string text;
    bool haveText, scroll;
    {
        std::lock_guard lock(m_mutex);
        m_posted = false;
        haveText = std::exchange(m_haveText, false);
        scroll = std::exchange(m_scroll, false);
        if (haveText) text.swap(m_text);
    }
    if (!m_edit) return;
    if (haveText) {
        // CR LF line ends in the program's text; the widget breaks lines on LF alone.
        QString shown = QString::fromLatin1(text.data(), static_cast<int>(text.size()));
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        m_edit->setPlainText(shown);
    }
    // setValue(maximum) lands exactly on the last line, where moving the cursor can stop short.
    if (scroll || haveText)
        m_edit->verticalScrollBar()->setValue(m_edit->verticalScrollBar()->maximum());
}

}  // namespace ui
