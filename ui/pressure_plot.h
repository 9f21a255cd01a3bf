#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "device/reading_stream.h"
#include "ui/plot_axis.h"
#include "ui/pressure_trace.h"

namespace ui {

// The pressure of a run against time: a PSI axis scaled to the readings in view (or a fixed
// range), a time axis in seconds since Run, and a marker with the text of the newest reading.
// Drawn with the desktop's palette. Live, the view follows the newest readings; paused, zoomed or
// panned it stays where it is, and readings that join outside it repaint nothing. A cursor marks
// one reading, two markers a stretch of them. Repaints at most 25 times a second, and leaves the
// PSI labels alone while their scale stays.
//
// Keys: Space pause/resume, Home live, Left/Right the cursor reading by reading, M a marker at
// the cursor (the first, the second, then the nearer one moves), Delete no markers. Mouse: the
// wheel zooms around the pointer, a drag pans, a click puts a marker, a double-click goes live.
class PressurePlot : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinRepaintMs = 40;
    static constexpr double kShortestSpan = 0.05;  // seconds: the deepest zoom

    explicit PressurePlot(const PressureTrace& trace, QWidget* parent = nullptr);

    // Seconds of the newest readings in view; 0 shows the whole run. Live again unless paused.
    void SetSpan(double seconds);
    double Span() const { return m_span; }

    void SetPaused(bool paused);  // resuming goes live
    bool Paused() const { return m_paused; }
    void GoLive();  // following the newest readings at the chosen span, not paused
    bool Live() const { return m_follow; }
    // The time axis's range as drawn, in seconds.
    std::pair<double, double> TimeRange();
    // Keeps the time at `seconds` where it is and makes the range `factor` times as long.
    void ZoomAt(double seconds, double factor);
    void PanBy(double seconds);

    void SetFixedPsi(double low, double high);  // low < high
    void SetAutoPsi();
    std::pair<double, double> PsiRange();  // the PSI axis's range as drawn

    // The reading under the cursor, while it is still kept at full resolution.
    std::optional<device::TimedReading> CursorReading() const;
    void SetCursorAt(double seconds);  // to the kept reading nearest in time
    void StepCursor(int readings);     // the view follows it
    void PutMarker();                  // at the cursor
    void ClearMarkers();
    // The markers' readings, oldest first (0, 1 or 2).
    std::vector<device::TimedReading> MarkerReadings() const;
    // The readings from one marker to the other, both included; empty unless both are set.
    std::vector<device::TimedReading> MarkedReadings() const;

    // The trace has changed: a repaint, now or once 40 ms have passed since the last, when a
    // reading joined where it shows.
    void TraceChanged();

    QSize sizeHint() const override { return {600, 320}; }
    QSize minimumSizeHint() const override { return {320, 200}; }

signals:
    void PausedChanged(bool paused);
    void CursorChanged();
    void MarkersChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // What one picture shows; made again only when the trace, the size or the range changed.
    struct View {
        double from = 0, to = 10;  // seconds
        double psiLow = 0, psiHigh = 1;
        AxisTicks time, psi;
        QRect plot;                                  // the trace's area, as PlotRect()
        std::vector<PressureTrace::Column> columns;  // one per pixel column of the plot
    };
    struct Colours {
        QColor text, axis, base, trace, grid;
        QBrush window;
    };
    const View& CurrentView();
    QRect PlotRect() const;  // the trace's area, inside the axes
    double TimeAt(int x);
    void Freeze(double from, double to);  // the view stays at [from, to]
    void Invalidate();                    // the view changed: made again and drawn whole
    void Repaint();
    void DrawText(QPainter& painter, QPoint at, const QString& text, Qt::Alignment align);
    // The picture's parts, each drawn by one function, in this order.
    Colours PaintColours() const;
    static int XOf(const View& view, double seconds);
    static int YOf(const View& view, double psi);
    void PaintAxes(QPainter& painter, const QRect& dirty, const View& view, const Colours& colours);
    void PaintMarkedStretch(QPainter& painter, const View& view, const Colours& colours,
                            const std::vector<device::TimedReading>& markers);
    void PaintTrace(QPainter& painter, const View& view, const Colours& colours);
    void PaintMarkers(QPainter& painter, const View& view, const Colours& colours,
                      const std::vector<device::TimedReading>& markers);
    void PaintCursor(QPainter& painter, const View& view, const Colours& colours);
    void PaintNewestLabel(QPainter& painter, const View& view, const Colours& colours);
    size_t ShownCount() const;  // of Recent(): paused, those up to the pause
    std::optional<size_t> IndexOf(std::optional<std::int64_t> nanos) const;

    const PressureTrace& m_trace;
    double m_span = 10;
    bool m_follow = true;  // the view ends at the newest reading
    bool m_paused = false;
    double m_from = 0, m_to = 10;  // the view, while it does not follow
    // Paused, readings after the pause do not show.
    double m_shownUntil = std::numeric_limits<double>::infinity();
    bool m_fixedPsi = false;
    double m_psiLow = 0, m_psiHigh = 1;
    size_t m_seenCount = 0;  // the trace's count when it last changed: fewer is a new run
    double m_seenNewest = 0;

    std::optional<std::int64_t> m_cursor;  // the reading's time since the start
    std::vector<std::int64_t> m_markers;   // at most two
    std::vector<std::int64_t> m_markersAtPress;
    QPoint m_pressAt;
    double m_pressFrom = 0, m_pressTo = 0;
    bool m_pressed = false, m_dragging = false;

    QTimer m_repaintTimer;
    QElapsedTimer m_sinceRepaint;
    View m_view;
    bool m_viewValid = false;
    AxisTicks m_paintedPsi;
    bool m_painted = false;
    int m_labelWidth = 0;                 // room for the PSI labels, from the font
    QHash<QString, QStaticText> m_texts;  // laid out once, drawn often
    QPixmap m_marker;
    std::vector<QRect> m_bars;  // the trace's bars of the last picture
    QStaticText m_newestText;   // the newest reading's label
};

}  // namespace ui
