#include "ui/pressure_plot.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <algorithm>
#include <cmath>

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
    m_labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("-8888.88"));
    m_repaintTimer.setSingleShot(true);
    connect(&m_repaintTimer, &QTimer::timeout, this, [this] { Repaint(); });
}

void PressurePlot::SetSpan(double seconds) {
    m_span = std::max(0.0, seconds);
    m_viewValid = false;
    m_painted = false;
    update();
}

void PressurePlot::TraceChanged() {
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
        m_marker = QPixmap();
        m_viewValid = false;
        m_painted = false;
        update();
    }
    QWidget::changeEvent(event);
}

void PressurePlot::resizeEvent(QResizeEvent* event) {
    m_viewValid = false;
    m_painted = false;
    QWidget::resizeEvent(event);
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
    const double newest = m_trace.Empty() ? 0.0 : m_trace.Newest().seconds;
    if (m_span > 0) {
        view.to = std::max(m_span, newest);
        view.from = view.to - m_span;
    } else {
        view.from = 0;
        view.to = std::max(kShortestWholeRun, newest);
    }
    const QRect plot = PlotRect();
    view.time = InsideTicks(view.from, view.to, std::max(2, plot.width() / kPixelsPerTimeTick));
    view.columns = m_trace.Columns(view.from, view.to, plot.width());
    double low = 0, high = 0;
    bool any = false;
    for (const PressureTrace::Column& c : view.columns) {
        if (!c.any) continue;
        low = any ? std::min(low, c.lowest) : c.lowest;
        high = any ? std::max(high, c.highest) : c.highest;
        any = true;
    }
    view.psi = CoveringTicks(low, high, std::max(2, plot.height() / kPixelsPerPsiTick));
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

void PressurePlot::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QPalette& colours = palette();
    const QColor text = colours.color(QPalette::Text);
    const QColor axis = colours.color(QPalette::WindowText);
    const QColor base = colours.color(QPalette::Base);
    const QColor grid = Mix(base, text, 0.18);
    const QRect plot = PlotRect();
    const View& view = CurrentView();
    m_paintedPsi = view.psi;
    m_painted = true;

    // Lines one pixel wide and straight are drawn as filled rectangles: the cheapest there is.
    // The window's colour around the plot, the base colour in it, each pixel once.
    const QRegion around = QRegion(event->rect()) - plot;
    for (const QRect& r : around) painter.fillRect(r, colours.window());
    painter.fillRect(plot & event->rect(), base);
    auto xOf = [&](double seconds) {
        return plot.left() +
               static_cast<int>(
                   std::lround((seconds - view.from) / (view.to - view.from) * (plot.width() - 1)));
    };
    auto yOf = [&](double psi) {
        return plot.bottom() - static_cast<int>(std::lround((psi - view.psi.first) /
                                                            (view.psi.last - view.psi.first) *
                                                            (plot.height() - 1)));
    };
    painter.setPen(axis);
    for (double v = view.psi.first; v <= view.psi.last + view.psi.step / 2; v += view.psi.step) {
        const int y = yOf(v);
        painter.fillRect(plot.left(), y, plot.width(), 1, grid);
        painter.fillRect(plot.left() - kTickLength - 1, y, kTickLength, 1, axis);
        DrawText(painter, QPoint(plot.left() - kTickLength - 3, y), view.psi.Label(v),
                 Qt::AlignRight | Qt::AlignVCenter);
    }
    for (double t = view.time.first; t <= view.time.last + view.time.step / 2;
         t += view.time.step) {
        const int x = xOf(t);
        painter.fillRect(x, plot.top(), 1, plot.height(), grid);
        painter.fillRect(x, plot.bottom() + 2, 1, kTickLength, axis);
        DrawText(painter, QPoint(x, plot.bottom() + kTickLength + 3), view.time.Label(t),
                 Qt::AlignHCenter | Qt::AlignTop);
    }
    DrawText(painter, QPoint(plot.left() - kTickLength - 3, plot.top() - 4), QStringLiteral("PSI"),
             Qt::AlignRight | Qt::AlignBottom);
    DrawText(painter, QPoint(plot.right(), height() - 2), QStringLiteral("Time (s)"),
             Qt::AlignRight | Qt::AlignBottom);
    const QRect frame = plot.adjusted(-1, -1, 1, 1);
    painter.fillRect(frame.left(), frame.top(), frame.width(), 1, axis);
    painter.fillRect(frame.left(), frame.bottom(), frame.width(), 1, axis);
    painter.fillRect(frame.left(), frame.top(), 1, frame.height(), axis);
    painter.fillRect(frame.right(), frame.top(), 1, frame.height(), axis);

    painter.setClipRect(plot);
    if (m_trace.Empty()) {
        painter.setPen(colours.color(QPalette::PlaceholderText));
        painter.drawText(plot, Qt::AlignCenter,
                         QStringLiteral("Run on the Command tab draws the pressure here."));
        return;
    }
    // One pixel column each, a bar from where the line enters it to its lowest and highest
    // reading: together a line two pixels thick, drawn as rectangles in one call, which the
    // raster engine fills many times faster than it strokes a polyline.
    std::vector<QRect> bars;
    bars.reserve(view.columns.size());
    int previous = 0;
    bool any = false;
    for (size_t i = 0; i < view.columns.size(); ++i) {
        const PressureTrace::Column& c = view.columns[i];
        if (!c.any) continue;
        int top = yOf(c.highest), bottom = yOf(c.lowest);
        if (any) {
            top = std::min(top, previous);
            bottom = std::max(bottom, previous);
        }
        bars.emplace_back(plot.left() + static_cast<int>(i), top - 1, 1, bottom - top + 2);
        previous = yOf(c.last);
        any = true;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.color(QPalette::Highlight));
    painter.drawRects(bars.data(), static_cast<int>(bars.size()));

    const TracePoint& newest = m_trace.Newest();
    if (newest.seconds < view.from || newest.seconds > view.to) return;
    const QPoint marker(std::min(xOf(newest.seconds), plot.right() - 4), yOf(newest.psi));
    if (m_marker.isNull()) m_marker = Marker(colours.color(QPalette::Highlight), base);
    painter.drawPixmap(marker - QPoint(m_marker.width() / 2, m_marker.height() / 2), m_marker);
    // The text the read-out shows for it.
    const QString value =
        QString::fromStdString(device::FormatFixed6(newest.psi)) + QStringLiteral(" PSI");
    const QFontMetrics metrics = fontMetrics();
    QRect box(0, 0, metrics.horizontalAdvance(value) + 8, metrics.height() + 2);
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
    painter.fillRect(box, base);
    painter.setPen(text);
    painter.drawText(box, Qt::AlignCenter, value);
}

}  // namespace ui
