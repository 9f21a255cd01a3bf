#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "ui/plot_axis.h"
#include "ui/pressure_trace.h"

namespace ui {

// The pressure of a run against time: a PSI axis scaled to the readings in view, a time axis in
// seconds since Run, and a marker with the text of the newest reading. Drawn with the desktop's
// palette. Repaints at most 25 times a second, and leaves the PSI labels alone while their
// scale stays.
class PressurePlot : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinRepaintMs = 40;

    explicit PressurePlot(const PressureTrace& trace, QWidget* parent = nullptr);

    // Seconds of the newest readings in view; 0 shows the whole run.
    void SetSpan(double seconds);
    double Span() const { return m_span; }

    // The trace has changed: a repaint, now or once 40 ms have passed since the last.
    void TraceChanged();

    QSize sizeHint() const override { return {600, 320}; }
    QSize minimumSizeHint() const override { return {320, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // What one picture shows; made again only when the trace, the size or the span changed.
    struct View {
        double from = 0, to = 10;  // seconds
        AxisTicks time, psi;
        std::vector<PressureTrace::Column> columns;  // one per pixel column of the plot
    };
    const View& CurrentView();
    QRect PlotRect() const;  // the trace's area, inside the axes
    void Repaint();
    void DrawText(QPainter& painter, QPoint at, const QString& text, Qt::Alignment align);

    const PressureTrace& m_trace;
    double m_span = 10;
    QTimer m_repaintTimer;
    QElapsedTimer m_sinceRepaint;

    View m_view;
    bool m_viewValid = false;
    AxisTicks m_paintedPsi;
    bool m_painted = false;
    int m_labelWidth = 0;                 // room for the PSI labels, from the font
    QHash<QString, QStaticText> m_texts;  // laid out once, drawn often
    QPixmap m_marker;
};

}  // namespace ui
