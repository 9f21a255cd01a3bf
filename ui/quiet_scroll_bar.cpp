#include "ui/quiet_scroll_bar.h"

#include <QEvent>
#include <QStyle>
#include <QStyleOptionSlider>

namespace ui {

QuietScrollBar::Batch::Batch(QScrollBar* bar) : m_bar(dynamic_cast<QuietScrollBar*>(bar)) {
    if (!m_bar || m_bar->m_batches++ > 0) return;
    m_bar->m_changed = false;
    m_bar->m_before = m_bar->CurrentLook();
}

QuietScrollBar::Batch::~Batch() {
    if (!m_bar || --m_bar->m_batches > 0) return;
    if (m_bar->m_changed && !(m_bar->CurrentLook() == m_bar->m_before)) m_bar->update();
}

QuietScrollBar::Look QuietScrollBar::CurrentLook() {
    const State state{minimum(), maximum(), value(), pageStep(), size()};
    if (m_haveLook && state == m_lookState) return m_look;
    QStyleOptionSlider option;
    initStyleOption(&option);
    m_look.slider =
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    m_look.atMinimum = state.value == state.minimum;
    m_look.atMaximum = state.value == state.maximum;
    m_lookState = state;
    m_haveLook = true;
    return m_look;
}

void QuietScrollBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange) m_haveLook = false;
    QScrollBar::changeEvent(event);
}

void QuietScrollBar::sliderChange(SliderChange change) {
    if (m_batches > 0 && change != SliderOrientationChange) {
        m_changed = true;
        return;
    }
    QScrollBar::sliderChange(change);  // a repaint
}

}  // namespace ui
