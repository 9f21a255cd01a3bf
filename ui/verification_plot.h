#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "device/verification_figures.h"

namespace ui {

// The error in % FS against the reference: up points as filled circles, down points as open
// squares, the best straight line through the points averaged per set point, and the band of
// the max_error tolerance.
class VerificationPlot : public QWidget {
public:
    explicit VerificationPlot(QWidget* parent = nullptr);
    void SetData(const std::vector<device::VerificationPoint>& points, double minPsi,
                 double maxPsi, std::optional<double> bandPctFs);
    QSize sizeHint() const override { return {420, 240}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::vector<device::VerificationPoint> m_points;
    double m_min = 0, m_max = 15;
    std::optional<double> m_band;
};

// The least-squares line error% = a + b·reference through the points averaged per set point;
// false with fewer than two distinct set points.
bool ErrorLine(const std::vector<device::VerificationPoint>& points, double* a, double* b);

}  // namespace ui
