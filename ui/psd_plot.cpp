#include "ui/psd_plot.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace ui {
namespace {

double LogOf(double v) {
    return std::log10(std::max(v, 1e-300));
}

QString Decade(int exponent) {
    if (exponent >= 0 && exponent <= 3) return QString::number(std::pow(10.0, exponent), 'f', 0);
    if (exponent >= -2 && exponent < 0)
        return QString::number(std::pow(10.0, exponent), 'f', -exponent);
    return QStringLiteral("1e%1").arg(exponent);
}

}  // namespace

SpectrumPlot::SpectrumPlot(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAccessibleName(QStringLiteral("Spectrum"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void SpectrumPlot::SetSpectrum(std::optional<device::Spectrum> spectrum) {
    m_spectrum = std::move(spectrum);
    if (m_cursor && (!m_spectrum || *m_cursor >= m_spectrum->hz.size())) m_cursor.reset();
    Scale();
    update();
    emit CursorChanged();
}

void SpectrumPlot::Scale() {
    if (!m_spectrum || m_spectrum->hz.size() < 2) return;
    m_hzLow = std::pow(10.0, std::floor(LogOf(m_spectrum->hz[1])));
    m_hzHigh = std::pow(10.0, std::ceil(LogOf(m_spectrum->hz.back())));
    double low = INFINITY, high = 0;
    for (size_t k = 1; k < m_spectrum->psd.size(); ++k) {
        const double d = std::sqrt(m_spectrum->psd[k]);
        if (d > 0) low = std::min(low, d);
        high = std::max(high, d);
    }
    if (!(high > 0)) return;
    m_yLow = std::pow(10.0, std::floor(LogOf(low)));
    m_yHigh = std::pow(10.0, std::ceil(LogOf(high)));
    if (m_yHigh <= m_yLow) m_yHigh = m_yLow * 10;
}

void SpectrumPlot::SetCursorBin(std::optional<size_t> bin) {
    if (bin == m_cursor) return;
    m_cursor = bin;
    update();
    emit CursorChanged();
}

void SpectrumPlot::SetBand(std::optional<std::pair<double, double>> band) {
    if (band && band->first > band->second) std::swap(band->first, band->second);
    m_band = band;
    update();
    emit BandChanged();
}

QRect SpectrumPlot::PlotRect() const {
    const int left = fontMetrics().horizontalAdvance(QStringLiteral("1e-10")) + 10;
    const int bottom = fontMetrics().height() * 2 + 6;
    return rect().adjusted(left, 8, -12, -bottom);
}

int SpectrumPlot::XOf(double hz) const {
    const QRect r = PlotRect();
    const double f = (LogOf(hz) - LogOf(m_hzLow)) / (LogOf(m_hzHigh) - LogOf(m_hzLow));
    return r.left() + static_cast<int>(std::lround(f * r.width()));
}

double SpectrumPlot::HzAt(int x) const {
    const QRect r = PlotRect();
    const double f = static_cast<double>(x - r.left()) / std::max(1, r.width());
    return std::pow(10.0, LogOf(m_hzLow) + f * (LogOf(m_hzHigh) - LogOf(m_hzLow)));
}

int SpectrumPlot::YOf(double density) const {
    const QRect r = PlotRect();
    const double f = (LogOf(density) - LogOf(m_yLow)) / (LogOf(m_yHigh) - LogOf(m_yLow));
    return r.bottom() - static_cast<int>(std::lround(std::clamp(f, -0.05, 1.05) * r.height()));
}

void SpectrumPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    painter.fillRect(rect(), pal.base());
    const QRect r = PlotRect();
    const QColor text = pal.color(QPalette::Text);
    QColor grid = text;
    grid.setAlpha(50);

    if (!m_spectrum || m_spectrum->hz.size() < 2) {
        painter.setPen(text);
        painter.drawText(r, Qt::AlignCenter, QStringLiteral("No spectrum"));
        return;
    }
    // The band under everything else.
    if (m_band) {
        QColor band = pal.color(QPalette::Highlight);
        band.setAlpha(60);
        painter.fillRect(QRect(QPoint(XOf(std::max(m_band->first, m_hzLow)), r.top()),
                               QPoint(XOf(std::min(m_band->second, m_hzHigh)), r.bottom())),
                         band);
    }
    const int fontHeight = fontMetrics().height();
    for (int e = static_cast<int>(std::lround(LogOf(m_hzLow)));
         e <= static_cast<int>(std::lround(LogOf(m_hzHigh))); ++e) {
        const int x = XOf(std::pow(10.0, e));
        painter.setPen(grid);
        painter.drawLine(x, r.top(), x, r.bottom());
        painter.setPen(text);
        painter.drawText(QRect(x - 40, r.bottom() + 2, 80, fontHeight), Qt::AlignHCenter,
                         Decade(e));
    }
    for (int e = static_cast<int>(std::lround(LogOf(m_yLow)));
         e <= static_cast<int>(std::lround(LogOf(m_yHigh))); ++e) {
        const int y = YOf(std::pow(10.0, e));
        painter.setPen(grid);
        painter.drawLine(r.left(), y, r.right(), y);
        painter.setPen(text);
        painter.drawText(QRect(0, y - fontHeight / 2, r.left() - 4, fontHeight),
                         Qt::AlignRight | Qt::AlignVCenter, Decade(e));
    }
    painter.drawText(QRect(r.left(), r.bottom() + 2 + fontHeight, r.width(), fontHeight),
                     Qt::AlignRight, QStringLiteral("Hz"));
    painter.drawText(QRect(r.left() + 4, r.top(), r.width(), fontHeight), Qt::AlignLeft,
                     QStringLiteral("PSI/√Hz"));
    painter.setPen(grid);
    painter.drawRect(r);

    painter.setClipRect(r);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    for (size_t k = 1; k < m_spectrum->hz.size(); ++k) {
        const QPointF p(XOf(m_spectrum->hz[k]), YOf(std::sqrt(m_spectrum->psd[k])));
        if (k == 1)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    painter.setPen(QPen(pal.color(QPalette::Highlight), 1.5));
    painter.drawPath(path);
    if (m_spectrum->noiseDensity) {
        QPen dashed(text, 1, Qt::DashLine);
        painter.setPen(dashed);
        const int y = YOf(*m_spectrum->noiseDensity);
        painter.drawLine(r.left(), y, r.right(), y);
    }
    painter.setPen(text);
    for (size_t i = 0; i < m_spectrum->peaks.size(); ++i) {
        const auto& peak = m_spectrum->peaks[i];
        const size_t k =
            static_cast<size_t>(std::lround(peak.hz * m_spectrum->segment / m_spectrum->rateHz));
        if (k >= m_spectrum->psd.size()) continue;
        const QPoint at(XOf(peak.hz), YOf(std::sqrt(m_spectrum->psd[k])));
        painter.drawText(at + QPoint(4, -4), QString::number(i + 1));
    }
    if (m_cursor) {
        const size_t k = *m_cursor;
        const int x = XOf(m_spectrum->hz[k]);
        QColor cursor = text;
        cursor.setAlpha(160);
        painter.setPen(QPen(cursor, 1, Qt::DotLine));
        painter.drawLine(x, r.top(), x, r.bottom());
        painter.setBrush(pal.color(QPalette::Highlight));
        painter.drawEllipse(QPoint(x, YOf(std::sqrt(m_spectrum->psd[k]))), 3, 3);
    }
}

void SpectrumPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_spectrum) m_dragFrom = HzAt(event->position().x());
}

void SpectrumPlot::mouseMoveEvent(QMouseEvent* event) {
    if (!m_spectrum || m_spectrum->hz.size() < 2) return;
    const double hz = HzAt(static_cast<int>(event->position().x()));
    const double bin = m_spectrum->rateHz / m_spectrum->segment;
    const size_t k = std::clamp<size_t>(static_cast<size_t>(std::max(0L, std::lround(hz / bin))), 1,
                                        m_spectrum->hz.size() - 1);
    SetCursorBin(k);
    if (m_dragFrom) SetBand(std::make_pair(*m_dragFrom, hz));
}

void SpectrumPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_dragFrom.reset();
}

void SpectrumPlot::leaveEvent(QEvent*) {
    m_dragFrom.reset();
}

}  // namespace ui
