#pragma once

#include <QWidget>

class QComboBox;

namespace ui {

class PressureFeed;
class PressurePlot;

// The "Pressure Plot" window: the plot of the running acquisition and the span it shows (the last
// 10 s, 30 s or 60 s, or the whole run). Not modal; a child window of the main dialog, so that it
// takes input while the main dialog runs modally.
class PressurePlotWindow : public QWidget {
    Q_OBJECT
public:
    PressurePlotWindow(PressureFeed& feed, QWidget* parent);
    ~PressurePlotWindow() override;

    PressurePlot* Plot() const { return m_plot; }
    QComboBox* SpanChoice() const { return m_span; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    PressureFeed& m_feed;
    PressurePlot* m_plot;
    QComboBox* m_span;
};

}  // namespace ui
