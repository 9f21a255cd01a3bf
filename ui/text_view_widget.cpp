#include "ui/text_view_widget.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <string_view>

#include "ui/quiet_scroll_bar.h"

namespace ui {
namespace {

// CR LF line ends in the program's text; the widget breaks lines on LF alone.
QString WidgetText(std::string_view text) {
    QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

// The widget's characters for the first `count` characters of `text`: a CR LF pair is one.
int WidgetLength(const std::string& text, size_t count) {
    int length = static_cast<int>(count);
    for (size_t i = 1; i < count; ++i) {
        if (text[i - 1] == '\r' && text[i] == '\n') --length;
    }
    return length;
}

}  // namespace

TextViewWidget::TextViewWidget(QPlainTextEdit* edit) : m_edit(edit) {
    edit->setVerticalScrollBar(new QuietScrollBar(Qt::Vertical));
    m_changedElsewhere =
        QObject::connect(edit->document(), &QTextDocument::contentsChanged, edit, [this] {
            if (!m_editing) m_shownValid = false;
        });
}

TextViewWidget::~TextViewWidget() {
    QObject::disconnect(m_changedElsewhere);
}

void TextViewWidget::SetText(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_text = text;
    m_haveText = true;
    m_incremental = false;
    Post();
}

void TextViewWidget::ScrollToEnd() {
    std::lock_guard lock(m_mutex);
    m_scroll = true;
    Post();
}

void TextViewWidget::ShowAppended(const std::string& text, size_t dropped, size_t appended) {
    std::lock_guard lock(m_mutex);
    if (!m_haveText) {
        m_incremental = true;
        m_dropped = dropped;
        m_appended = appended;
    } else if (m_incremental) {
        // Two changes since the edit took its text: the second may also eat into what the first
        // appended, and then nothing of the old text is left.
        const size_t kept = m_text.size() - m_appended;
        if (dropped <= kept) {
            m_dropped += dropped;
            m_appended += appended;
        } else {
            m_dropped += kept;
            m_appended = text.size();
        }
    }
    m_text = text;
    m_haveText = true;
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
    bool haveText, scroll, incremental;
    size_t dropped, appended;
    {
        std::lock_guard lock(m_mutex);
        m_posted = false;
        haveText = std::exchange(m_haveText, false);
        scroll = std::exchange(m_scroll, false);
        incremental = std::exchange(m_incremental, false);
        dropped = std::exchange(m_dropped, 0);
        appended = std::exchange(m_appended, 0);
        if (haveText) text.swap(m_text);
    }
    if (!m_edit) return;
    QScrollBar* bar = m_edit->verticalScrollBar();
    QuietScrollBar::Batch batch(bar);
    if (haveText) Show(std::move(text), incremental, dropped, appended);
    // setValue(maximum) lands exactly on the last line, where moving the cursor can stop short.
    if (scroll || haveText) bar->setValue(bar->maximum());
}

void TextViewWidget::Show(std::string text, bool incremental, size_t dropped, size_t appended) {
    m_editing = true;
    if (!incremental || !ShowDifference(text, dropped, appended))
        m_edit->setPlainText(WidgetText(text));
    m_editing = false;
    m_shown = std::move(text);
    m_shownValid = true;
}

bool TextViewWidget::ShowDifference(const std::string& text, size_t dropped, size_t appended) {
    // Only when the edit still shows m_shown, and the new text really is its kept tail followed
    // by the new characters.
    if (!m_shownValid || appended > text.size() || dropped > m_shown.size()) return false;
    const size_t kept = text.size() - appended;
    if (kept == 0 || m_shown.size() - dropped != kept ||
        m_shown.compare(dropped, kept, text, 0, kept) != 0) {
        return false;
    }
    int remove = WidgetLength(m_shown, dropped);
    // A cut between CR and LF: the pair was one line break, the LF left over is another.
    if (dropped > 0 && m_shown[dropped - 1] == '\r' && m_shown[dropped] == '\n') --remove;
    std::string_view add(text.data() + kept, appended);
    // The other way round at the end: a CR shown as a line break, and its LF arriving now.
    if (!add.empty() && add.front() == '\n' && text[kept - 1] == '\r') add.remove_prefix(1);

    QTextDocument* document = m_edit->document();
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);  // as setPlainText: no undo history of the updates
    // One edit block: the layout hears of one change, the scroll bar of the net line count.
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    if (remove > 0) {
        cursor.setPosition(remove, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    if (!add.empty()) {
        // Set inside the edit block, the position needs no layout of the last line.
        cursor.setPosition(document->characterCount() - 1);
        const int firstNew = cursor.blockNumber();
        cursor.insertText(WidgetText(add));
        // The new lines keep their shaped glyphs from layout to drawing instead of shaping twice.
        for (QTextBlock block = document->findBlockByNumber(firstNew); block.isValid();
             block = block.next()) {
            block.layout()->setCacheEnabled(true);
        }
    }
    cursor.endEditBlock();
    document->setUndoRedoEnabled(undo);
    return true;
}

}  // namespace ui
