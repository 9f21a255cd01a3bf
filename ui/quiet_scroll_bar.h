#pragma once

#include <QRect>
#include <QScrollBar>

namespace ui {

// A scroll bar whose range and value can change in a batch that repaints it only when what it
// draws differs at the end: the slider's place and size, and whether it sits at either end.
// Outside a batch it is a plain scroll bar. A read-out that gains lines at its end and loses
// about as many at its front changes its range by a line now and then, and the look of its
// slider not at all; each repaint of the bar would also repaint what lies behind it (the edit's
// frame, the group box, the page).
class QuietScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

    // Scoped: changes of `bar`'s range and value from here to the end of the scope. Does nothing
    // for a bar of another kind.
    class Batch {
    public:
        explicit Batch(QScrollBar* bar);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        QuietScrollBar* m_bar;
    };

protected:
    void sliderChange(SliderChange change) override;
    void changeEvent(QEvent* event) override;

private:
    struct Look {
        QRect slider;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look&) const = default;
    };
    // What the look follows from; the look is worked out again only when this changes.
    struct State {
        int minimum = 0, maximum = 0, value = 0, pageStep = 0;
        QSize size;
        bool operator==(const State&) const = default;
    };
    Look CurrentLook();

    int m_batches = 0;
    bool m_changed = false;
    Look m_before;
    State m_lookState;
    Look m_look;
    bool m_haveLook = false;
};

}  // namespace ui
