#include "ui/pressure_plot.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "device/c_numbers.h"

namespace ui {
namespace {

constexpr int kTickLength = 4;
constexpr int kPixelsPerTimeTick = 80;
constexpr int kPixelsPerPsiTick = 40;
constexpr double kShortestWholeRun = 1.0;  // seconds

// `part` of the way from `a` to `b`: grid lines that suit light and dark palettes alike.
QColor Mix(const QColor& a, const QColor& b, double part) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * part,
                            a.greenF() + (b.greenF() - a.greenF()) * part,
                            a.blueF() + (b.blueF() - a.blueF()) * part);
}

// The marker of the newest reading: a dot with a rim of the base colour, drawn once.
QPixmap Marker(const QColor& fill, const QColor& rim) {
    QPixmap marker(13, 13);
    marker.fill(Qt::transparent);
    QPainter painter(&marker);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(rim, 1.5));
    painter.setBrush(fill);
    painter.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    return marker;
}

}  // namespace

PressurePlot::PressurePlot(const PressureTrace& trace, QWidget* parent)
    : QWidget(parent), m_trace(trace) {
    setAccessibleName(QStringLiteral("Pressure Plot"));
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent fills every pixel
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    m_labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("-8888.88"));
    m_repaintTimer.setSingleShot(true);
    connect(&m_repaintTimer, &QTimer::timeout, this, [this] { Repaint(); });
}

void PressurePlot::Invalidate() {
    m_viewValid = false;
    m_painted = false;
    update();
}

void PressurePlot::SetSpan(double seconds) {
    m_span = std::max(0.0, seconds);
    if (m_paused) {
        Freeze(m_span > 0 ? m_to - m_span : 0.0, m_to);
    } else {
        m_follow = true;
        Invalidate();
    }
}

void PressurePlot::Freeze(double from, double to) {
    m_follow = false;
    m_from = from;
    m_to = std::max(to, from + kShortestSpan);
    Invalidate();
}

void PressurePlot::SetPaused(bool paused) {
    if (paused == m_paused) return;
    if (paused) {
        const auto [from, to] = TimeRange();
        Freeze(from, to);
        m_paused = true;
        m_repaintTimer.stop();  // the update of the frozen view draws what it was for
        m_shownUntil = m_trace.Empty() ? 0.0 : m_trace.Newest().Seconds();
        emit PausedChanged(true);
    } else {
        GoLive();
    }
}

void PressurePlot::GoLive() {
    m_follow = true;
    m_shownUntil = std::numeric_limits<double>::infinity();
    Invalidate();
    if (m_paused) {
        m_paused = false;
        emit PausedChanged(false);
    }
}

std::pair<double, double> PressurePlot::TimeRange() {
    const View& view = CurrentView();
    return {view.from, view.to};
}

void PressurePlot::ZoomAt(double seconds, double factor) {
    const auto [from, to] = TimeRange();
    const double run = m_trace.Empty() ? 1.0 : m_trace.Newest().Seconds();
    const double span =
        std::clamp((to - from) * factor, kShortestSpan, std::max({to - from, run, 1.0}));
    const double newFrom = seconds - (seconds - from) * span / (to - from);
    Freeze(newFrom, newFrom + span);
}

void PressurePlot::PanBy(double seconds) {
    const auto [from, to] = TimeRange();
    Freeze(from + seconds, to + seconds);
}

void PressurePlot::SetFixedPsi(double low, double high) {
    m_fixedPsi = true;
    m_psiLow = low;
    m_psiHigh = high;
    Invalidate();
}

void PressurePlot::SetAutoPsi() {
    m_fixedPsi = false;
    Invalidate();
}

std::pair<double, double> PressurePlot::PsiRange() {
    const View& view = CurrentView();
    return {view.psiLow, view.psiHigh};
}

size_t PressurePlot::ShownCount() const {
    if (!m_paused) return m_trace.Recent().size();
    return m_trace.IndexAt(std::nextafter(m_shownUntil, m_shownUntil + 1));
}

std::optional<size_t> PressurePlot::IndexOf(std::optional<std::int64_t> nanos) const {
    if (!nanos) return std::nullopt;
    const size_t i = m_trace.IndexAt(static_cast<double>(*nanos) / 1e9);
    if (i >= m_trace.Recent().size() || m_trace.Recent()[i].nanos != *nanos) return std::nullopt;
    return i;
}

std::optional<device::TimedReading> PressurePlot::CursorReading() const {
    const auto i = IndexOf(m_cursor);
    if (!i) return std::nullopt;
    return m_trace.Reading(m_trace.Recent()[*i]);
}

void PressurePlot::SetCursorAt(double seconds) {
    const size_t i = m_trace.Nearest(std::min(seconds, m_shownUntil));
    if (i >= ShownCount()) return;
    const std::int64_t nanos = m_trace.Recent()[i].nanos;
    if (m_cursor == nanos) return;
    m_cursor = nanos;
    update(PlotRect().adjusted(-8, -8, 8, 8));
    emit CursorChanged();
}

void PressurePlot::StepCursor(int readings) {
    const auto& recent = m_trace.Recent();
    if (recent.empty()) return;
    const auto [from, to] = TimeRange();
    long i = 0;
    if (const auto at = IndexOf(m_cursor)) {
        i = static_cast<long>(*at) + readings;
    } else {
        // Starts at the newest reading in view.
        i = static_cast<long>(m_trace.IndexAt(std::nextafter(std::min(to, m_shownUntil), to + 1))) -
            1;
    }
    i = std::clamp(i, 0L, static_cast<long>(ShownCount()) - 1);
    if (i < 0) return;
    const double seconds = recent[static_cast<size_t>(i)].Seconds();
    SetCursorAt(seconds);
    if (seconds < from) PanBy(seconds - from);
    if (seconds > to) PanBy(seconds - to);
}

void PressurePlot::PutMarker() {
    if (!m_cursor) return;
    if (std::find(m_markers.begin(), m_markers.end(), *m_cursor) != m_markers.end()) return;
    if (m_markers.size() < 2) {
        m_markers.push_back(*m_cursor);
    } else {
        const auto distance = [&](std::int64_t m) { return std::llabs(m - *m_cursor); };
        auto& nearer =
            distance(m_markers[0]) <= distance(m_markers[1]) ? m_markers[0] : m_markers[1];
        nearer = *m_cursor;
    }
    std::sort(m_markers.begin(), m_markers.end());
    update();
    emit MarkersChanged();
}

void PressurePlot::ClearMarkers() {
    if (m_markers.empty()) return;
    m_markers.clear();
    update();
    emit MarkersChanged();
}

std::vector<device::TimedReading> PressurePlot::MarkerReadings() const {
    std::vector<device::TimedReading> readings;
    for (std::int64_t m : m_markers) {
        if (const auto i = IndexOf(m)) readings.push_back(m_trace.Reading(m_trace.Recent()[*i]));
    }
    return readings;
}

std::vector<device::TimedReading> PressurePlot::MarkedReadings() const {
    const auto first = IndexOf(m_markers.empty() ? std::nullopt : std::optional(m_markers[0]));
    const auto last = IndexOf(m_markers.size() < 2 ? std::nullopt : std::optional(m_markers[1]));
    std::vector<device::TimedReading> readings;
    if (!first || !last) return readings;
    readings.reserve(*last - *first + 1);
    for (size_t i = *first; i <= *last; ++i)
        readings.push_back(m_trace.Reading(m_trace.Recent()[i]));
    return readings;
}

void PressurePlot::TraceChanged() {
    if (m_trace.Count() < m_seenCount) {
        // A new run: what pointed at the old one goes.
        m_cursor.reset();
        m_seenCount = 0;
        m_seenNewest = 0;
        emit CursorChanged();
        ClearMarkers();
        GoLive();
        return;
    }
    const double seenNewest = m_seenNewest;
    m_seenCount = m_trace.Count();
    m_seenNewest = m_trace.Empty() ? 0.0 : m_trace.Newest().Seconds();
    // Paused, nothing new shows; a view that stays put changes only when readings join inside it.
    if (m_paused || (!m_follow && seenNewest >= m_to)) return;
    m_viewValid = false;
    if (!isVisible() || m_repaintTimer.isActive()) return;
    const qint64 since = m_sinceRepaint.isValid() ? m_sinceRepaint.elapsed() : kMinRepaintMs;
    if (since >= kMinRepaintMs) {
        Repaint();
    } else {
        m_repaintTimer.start(static_cast<int>(kMinRepaintMs - since));
    }
}

void PressurePlot::Repaint() {
    m_sinceRepaint.restart();
    const QRect plot = PlotRect();
    if (m_painted && CurrentView().psi == m_paintedPsi) {
        // The PSI labels left of the plot stay as they are.
        update(QRect(plot.left() - 1, 0, width() - plot.left() + 1, height()));
    } else {
        update();
    }
}

void PressurePlot::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        m_labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("-8888.88"));
        m_texts.clear();
        m_newestText = QStaticText();
        m_marker = QPixmap();
        Invalidate();
    }
    QWidget::changeEvent(event);
}

void PressurePlot::resizeEvent(QResizeEvent* event) {
    m_viewValid = false;
    m_painted = false;
    QWidget::resizeEvent(event);
}

void PressurePlot::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
            SetPaused(!m_paused);
            break;
        case Qt::Key_Home:
            GoLive();
            break;
        case Qt::Key_Left:
            StepCursor(-1);
            break;
        case Qt::Key_Right:
            StepCursor(1);
            break;
        case Qt::Key_M:
            if (!m_cursor) StepCursor(0);
            PutMarker();
            break;
        case Qt::Key_Delete:
            ClearMarkers();
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

double PressurePlot::TimeAt(int x) {
    const QRect plot = PlotRect();
    const View& view = CurrentView();
    return view.from + (x - plot.left()) * (view.to - view.from) / std::max(1, plot.width() - 1);
}

void PressurePlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    m_pressed = true;
    m_dragging = false;
    m_pressAt = event->position().toPoint();
    std::tie(m_pressFrom, m_pressTo) = TimeRange();
    m_markersAtPress = m_markers;
}

void PressurePlot::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (m_pressed && (at - m_pressAt).manhattanLength() >= QApplication::startDragDistance())
        m_dragging = true;
    if (m_dragging) {
        const double perPixel = (m_pressTo - m_pressFrom) / std::max(1, PlotRect().width() - 1);
        const double shift = (m_pressAt.x() - at.x()) * perPixel;
        Freeze(m_pressFrom + shift, m_pressTo + shift);
    } else if (PlotRect().contains(at)) {
        SetCursorAt(TimeAt(at.x()));
    }
}

void PressurePlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed) return QWidget::mouseReleaseEvent(event);
    m_pressed = false;
    const QPoint at = event->position().toPoint();
    if (!m_dragging && PlotRect().contains(at)) {
        SetCursorAt(TimeAt(at.x()));
        PutMarker();
    }
    m_dragging = false;
}

void PressurePlot::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    // The first click of the two put a marker: it goes again.
    if (m_markers != m_markersAtPress) {
        m_markers = m_markersAtPress;
        emit MarkersChanged();
    }
    m_pressed = false;
    GoLive();
}

void PressurePlot::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return QWidget::wheelEvent(event);
    ZoomAt(TimeAt(event->position().toPoint().x()), std::pow(0.8, steps));
    event->accept();
}

QRect PressurePlot::PlotRect() const {
    const int height = fontMetrics().height();
    const int left = m_labelWidth + kTickLength + 6;
    const int top = height + 8;
    const int bottom = 2 * height + kTickLength + 8;
    return QRect(left, top, std::max(10, width() - left - 16),
                 std::max(10, this->height() - top - bottom));
}

const PressurePlot::View& PressurePlot::CurrentView() {
    if (m_viewValid) return m_view;
    View& view = m_view;
    const double newest = m_trace.Empty() ? 0.0 : m_trace.Newest().Seconds();
    if (!m_follow) {
        view.from = m_from;
        view.to = m_to;
    } else if (m_span > 0) {
        view.to = std::max(m_span, newest);
        view.from = view.to - m_span;
    } else {
        view.from = 0;
        view.to = std::max(kShortestWholeRun, newest);
    }
    const QRect plot = PlotRect();
    view.plot = plot;
    view.time = InsideTicks(view.from, view.to, std::max(2, plot.width() / kPixelsPerTimeTick));
    view.columns = m_trace.Columns(view.from, view.to, plot.width(), m_shownUntil);
    const int psiTicks = std::max(2, plot.height() / kPixelsPerPsiTick);
    if (m_fixedPsi) {
        view.psi = InsideTicks(m_psiLow, m_psiHigh, psiTicks);
        view.psiLow = m_psiLow;
        view.psiHigh = m_psiHigh;
    } else {
        double low = 0, high = 0;
        bool any = false;
        for (const PressureTrace::Column& c : view.columns) {
            if (!c.any) continue;
            low = any ? std::min(low, c.lowest) : c.lowest;
            high = any ? std::max(high, c.highest) : c.highest;
            any = true;
        }
        view.psi = CoveringTicks(low, high, psiTicks);
        view.psiLow = view.psi.first;
        view.psiHigh = view.psi.last;
    }
    m_viewValid = true;
    return view;
}

void PressurePlot::DrawText(QPainter& painter, QPoint at, const QString& text,
                            Qt::Alignment align) {
    if (m_texts.size() > 256) m_texts.clear();  // the time labels of a long run
    auto it = m_texts.find(text);
    if (it == m_texts.end()) {
        it = m_texts.insert(text, QStaticText(text));
        it->prepare(QTransform(), font());
    }
    const QSize size = it->size().toSize();
    if (align & Qt::AlignRight) at.rx() -= size.width();
    if (align & Qt::AlignHCenter) at.rx() -= size.width() / 2;
    if (align & Qt::AlignBottom) at.ry() -= size.height();
    if (align & Qt::AlignVCenter) at.ry() -= size.height() / 2;
    painter.drawStaticText(at, *it);
}

PressurePlot::Colours PressurePlot::PaintColours() const {
    const QPalette& colours = palette();
    Colours c;
    c.text = colours.color(QPalette::Text);
    c.axis = colours.color(QPalette::WindowText);
    c.base = colours.color(QPalette::Base);
    c.window = colours.window();
    c.trace = colours.color(QPalette::Highlight);
    c.grid = Mix(c.base, c.text, 0.18);
    return c;
}

int PressurePlot::XOf(const View& view, double seconds) {
    return view.plot.left() +
           static_cast<int>(std::lround((seconds - view.from) / (view.to - view.from) *
                                        (view.plot.width() - 1)));
}

int PressurePlot::YOf(const View& view, double psi) {
    // Clamped just outside the plot: a fixed range can leave readings far beyond it.
    const double part = std::clamp((psi - view.psiLow) / (view.psiHigh - view.psiLow), -0.1, 1.1);
    return view.plot.bottom() - static_cast<int>(std::lround(part * (view.plot.height() - 1)));
}

void PressurePlot::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const Colours colours = PaintColours();
    const View& view = CurrentView();
    m_paintedPsi = view.psi;
    m_painted = true;

    PaintAxes(painter, event->rect(), view, colours);
    painter.setClipRect(view.plot);
    const std::vector<device::TimedReading> markers = MarkerReadings();
    PaintMarkedStretch(painter, view, colours, markers);
    if (m_trace.Empty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(view.plot, Qt::AlignCenter,
                         QStringLiteral("Run on the Command tab draws the pressure here."));
        return;
    }
    PaintTrace(painter, view, colours);
    PaintMarkers(painter, view, colours, markers);
    PaintCursor(painter, view, colours);
    PaintNewestLabel(painter, view, colours);
}

// Lines one pixel wide and straight are drawn as filled rectangles: the cheapest there is.
void PressurePlot::PaintAxes(QPainter& painter, const QRect& dirty, const View& view,
                             const Colours& colours) {
    const QRect& plot = view.plot;
    // The window's colour around the plot, the base colour in it, each pixel once.
    const QRegion around = QRegion(dirty) - plot;
    for (const QRect& r : around) painter.fillRect(r, colours.window);
    painter.fillRect(plot & dirty, colours.base);
    painter.setPen(colours.axis);
    for (double v = view.psi.first; v <= view.psi.last + view.psi.step / 2; v += view.psi.step) {
        const int y = YOf(view, v);
        painter.fillRect(plot.left(), y, plot.width(), 1, colours.grid);
        painter.fillRect(plot.left() - kTickLength - 1, y, kTickLength, 1, colours.axis);
        DrawText(painter, QPoint(plot.left() - kTickLength - 3, y), view.psi.Label(v),
                 Qt::AlignRight | Qt::AlignVCenter);
    }
    for (double t = view.time.first; t <= view.time.last + view.time.step / 2;
         t += view.time.step) {
        const int x = XOf(view, t);
        painter.fillRect(x, plot.top(), 1, plot.height(), colours.grid);
        painter.fillRect(x, plot.bottom() + 2, 1, kTickLength, colours.axis);
        DrawText(painter, QPoint(x, plot.bottom() + kTickLength + 3), view.time.Label(t),
                 Qt::AlignHCenter | Qt::AlignTop);
    }
    DrawText(painter, QPoint(plot.left() - kTickLength - 3, plot.top() - 4), QStringLiteral("PSI"),
             Qt::AlignRight | Qt::AlignBottom);
    DrawText(painter, QPoint(plot.right(), height() - 2), QStringLiteral("Time (s)"),
             Qt::AlignRight | Qt::AlignBottom);
    const QRect frame = plot.adjusted(-1, -1, 1, 1);
    painter.fillRect(frame.left(), frame.top(), frame.width(), 1, colours.axis);
    painter.fillRect(frame.left(), frame.bottom(), frame.width(), 1, colours.axis);
    painter.fillRect(frame.left(), frame.top(), 1, frame.height(), colours.axis);
    painter.fillRect(frame.right(), frame.top(), 1, frame.height(), colours.axis);
}

// The stretch between two markers, shaded under the trace.
void PressurePlot::PaintMarkedStretch(QPainter& painter, const View& view, const Colours& colours,
                                      const std::vector<device::TimedReading>& markers) {
    if (markers.size() != 2) return;
    const int left = XOf(view, markers[0].Seconds()), right = XOf(view, markers[1].Seconds());
    painter.fillRect(QRect(QPoint(left, view.plot.top()), QPoint(right, view.plot.bottom())),
                     Mix(colours.base, palette().color(QPalette::Highlight), 0.12));
}

// One pixel column each, a bar from where the line enters it to its lowest and highest reading:
// together a line two pixels thick, drawn as rectangles in one call, which the raster engine
// fills many times faster than it strokes a polyline.
void PressurePlot::PaintTrace(QPainter& painter, const View& view, const Colours& colours) {
    m_bars.clear();  // kept from picture to picture: no allocation a repaint
    m_bars.reserve(view.columns.size());
    int previous = 0;
    bool any = false;
    for (size_t i = 0; i < view.columns.size(); ++i) {
        const PressureTrace::Column& c = view.columns[i];
        if (!c.any) continue;
        int top = YOf(view, c.highest), bottom = YOf(view, c.lowest);
        if (any) {
            top = std::min(top, previous);
            bottom = std::max(bottom, previous);
        }
        m_bars.emplace_back(view.plot.left() + static_cast<int>(i), top - 1, 1, bottom - top + 2);
        previous = YOf(view, c.last);
        any = true;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.trace);
    painter.drawRects(m_bars.data(), static_cast<int>(m_bars.size()));
}

// The markers: a line each, numbered at the top.
void PressurePlot::PaintMarkers(QPainter& painter, const View& view, const Colours& colours,
                                const std::vector<device::TimedReading>& markers) {
    painter.setPen(colours.text);
    for (size_t i = 0; i < markers.size(); ++i) {
        const int x = XOf(view, markers[i].Seconds());
        painter.fillRect(x, view.plot.top(), 1, view.plot.height(), colours.text);
        DrawText(painter, QPoint(x + 3, view.plot.top() + 1), QString::number(i + 1),
                 Qt::AlignLeft | Qt::AlignTop);
    }
}

// The cursor: a line and a ring round its reading.
void PressurePlot::PaintCursor(QPainter& painter, const View& view, const Colours& colours) {
    const auto i = IndexOf(m_cursor);
    if (!i) return;
    const TracePoint& cursor = m_trace.Recent()[*i];
    const int x = XOf(view, cursor.Seconds());
    painter.fillRect(x, view.plot.top(), 1, view.plot.height(),
                     Mix(colours.base, colours.text, 0.5));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colours.text, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(x + 0.5, YOf(view, cursor.psi) + 0.5), 5, 5);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
}

// The newest shown reading: a dot, and beside it the text the read-out shows for it.
void PressurePlot::PaintNewestLabel(QPainter& painter, const View& view, const Colours& colours) {
    const size_t shown = ShownCount();
    if (shown == 0) return;
    const TracePoint& newest = m_trace.Recent()[shown - 1];
    if (newest.Seconds() < view.from || newest.Seconds() > view.to) return;
    const QRect& plot = view.plot;
    const QPoint marker(std::min(XOf(view, newest.Seconds()), plot.right() - 4),
                        YOf(view, newest.psi));
    if (m_marker.isNull()) m_marker = Marker(colours.trace, colours.base);
    painter.drawPixmap(marker - QPoint(m_marker.width() / 2, m_marker.height() / 2), m_marker);
    // Laid out once a reading: the same layout gives the box its width and draws the text.
    const QString value =
        QString::fromStdString(device::FormatFixed6(newest.psi)) + QStringLiteral(" PSI");
    if (m_newestText.text() != value) {
        m_newestText.setText(value);
        m_newestText.prepare(QTransform(), font());
    }
    const QSize size = m_newestText.size().toSize();
    QRect box(0, 0, size.width() + 8, fontMetrics().height() + 2);
    // Left of the marker, on the side of it the trace does not come from (when there is room).
    box.moveRight(marker.x() - 8);
    const size_t under = static_cast<size_t>(std::max(0, box.left() - plot.left()));
    const bool fromAbove = under < view.columns.size() && view.columns[under].any &&
                           view.columns[under].last > newest.psi;
    const bool roomAbove = marker.y() - box.height() - 6 >= plot.top();
    const bool roomBelow = marker.y() + box.height() + 6 <= plot.bottom();
    if ((!fromAbove && roomAbove) || !roomBelow)
        box.moveBottom(marker.y() - 6);
    else
        box.moveTop(marker.y() + 6);
    box.moveLeft(std::max(box.left(), plot.left() + 2));
    painter.fillRect(box, colours.base);
    painter.setPen(colours.text);
    painter.drawStaticText(box.topLeft() + QPoint(4, 1), m_newestText);  // centred in the box
}

}  // namespace ui
