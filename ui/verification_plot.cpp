#include "ui/verification_plot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <map>

namespace ui {

VerificationPlot::VerificationPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(300, 180);
}

void VerificationPlot::SetData(const std::vector<device::VerificationPoint>& points,
                               double minPsi, double maxPsi, std::optional<double> bandPctFs) {
    m_points.clear();
    for (const auto& p : points)
        if (p.Measured()) m_points.push_back(p);
    m_min = minPsi;
    m_max = maxPsi > minPsi ? maxPsi : minPsi + 1;
    m_band = bandPctFs;
    update();
}

bool ErrorLine(const std::vector<device::VerificationPoint>& points, double* a, double* b) {
    std::map<double, std::pair<double, double>> sums;  // set point -> (reference, error) sums
    std::map<double, int> counts;
    for (const auto& p : points) {
        if (!p.Measured()) continue;
        sums[p.setpointPsi].first += p.referencePsi;
        sums[p.setpointPsi].second += p.errorPctFs;
        ++counts[p.setpointPsi];
    }
    if (sums.size() < 2) return false;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = static_cast<double>(sums.size());
    for (const auto& [sp, s] : sums) {
        const double x = s.first / counts[sp], y = s.second / counts[sp];
        sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double d = n * sxx - sx * sx;
    if (d == 0) return false;
    *b = (n * sxy - sx * sy) / d;
    *a = (sy - *b * sx) / n;
    return true;
}

void VerificationPlot::paintEvent(QPaintEvent*) {
    QPainter g(this);
    g.setRenderHint(QPainter::Antialiasing);
    g.fillRect(rect(), Qt::white);
    const QRectF area = QRectF(rect()).adjusted(56, 12, -12, -34);
    double span = m_band.value_or(0);
    for (const auto& p : m_points) span = std::max(span, std::abs(p.errorPctFs));
    span = span > 0 ? span * 1.25 : 0.01;
    auto X = [&](double psi) { return area.left() + (psi - m_min) / (m_max - m_min) * area.width(); };
    auto Y = [&](double pct) { return area.center().y() - pct / span * area.height() / 2; };

    if (m_band) {
        g.fillRect(QRectF(QPointF(area.left(), Y(*m_band)), QPointF(area.right(), Y(-*m_band))),
                   QColor(200, 235, 200));
    }
    g.setPen(QColor(160, 160, 160));
    g.drawRect(area);
    g.drawLine(QPointF(area.left(), Y(0)), QPointF(area.right(), Y(0)));
    g.setPen(Qt::black);
    const QFontMetrics fm(font());
    for (int i = -2; i <= 2; ++i) {
        const double v = span * i / 2;
        const QString t = QString::number(v, 'g', 3);
        g.drawText(QPointF(area.left() - 4 - fm.horizontalAdvance(t), Y(v) + fm.ascent() / 2.0), t);
    }
    for (int i = 0; i <= 4; ++i) {
        const double v = m_min + (m_max - m_min) * i / 4;
        const QString t = QString::number(v, 'g', 4);
        g.drawText(QPointF(X(v) - fm.horizontalAdvance(t) / 2.0, area.bottom() + fm.height()), t);
    }
    g.drawText(QRectF(area.left(), area.bottom() + fm.height(), area.width(), fm.height() + 4),
               Qt::AlignCenter, "reference (PSI)");
    g.save();
    g.translate(12, area.center().y());
    g.rotate(-90);
    g.drawText(QRectF(-area.height() / 2, -fm.ascent(), area.height(), fm.height()),
               Qt::AlignCenter, "error (% FS)");
    g.restore();

    double a = 0, b = 0;
    if (ErrorLine(m_points, &a, &b)) {
        g.setPen(QPen(QColor(0, 90, 200), 1.5, Qt::DashLine));
        g.drawLine(QPointF(X(m_min), Y(a + b * m_min)), QPointF(X(m_max), Y(a + b * m_max)));
    }
    for (const auto& p : m_points) {
        const QPointF c(X(p.referencePsi), Y(p.errorPctFs));
        if (p.up) {
            g.setPen(QColor(200, 40, 40));
            g.setBrush(QColor(200, 40, 40));
            g.drawEllipse(c, 4, 4);
        } else {
            g.setPen(QPen(QColor(0, 120, 0), 1.5));
            g.setBrush(Qt::NoBrush);
            g.drawRect(QRectF(c.x() - 4, c.y() - 4, 8, 8));
        }
    }
    g.setPen(Qt::black);
    g.drawText(QPointF(area.right() - 150, area.top() + fm.height()), "\u25CF up   \u25A1 down   - - BFSL");
}

}  // namespace ui
