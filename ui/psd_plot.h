#pragma once

#include <QWidget>
#include <optional>

#include "device/welch_psd.h"

namespace ui {

// A spectrum drawn as amplitude density (PSI/√Hz) against frequency (Hz), both axes logarithmic
// (the DC bin left out), with the noise density as a dashed line and the peaks marked. The
// pointer is the cursor on the nearest bin; a drag marks a band.
class SpectrumPlot : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumPlot(QWidget* parent = nullptr);

    void SetSpectrum(std::optional<device::Spectrum> spectrum);
    const std::optional<device::Spectrum>& Spectrum() const { return m_spectrum; }
    std::optional<size_t> CursorBin() const { return m_cursor; }
    void SetCursorBin(std::optional<size_t> bin);
    // The band the user dragged, Hz, lower first.
    std::optional<std::pair<double, double>> Band() const { return m_band; }
    void SetBand(std::optional<std::pair<double, double>> band);

    QRect PlotRect() const;
    int XOf(double hz) const;
    double HzAt(int x) const;

    QSize sizeHint() const override { return {440, 280}; }
    QSize minimumSizeHint() const override { return {360, 220}; }

signals:
    void CursorChanged();
    void BandChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int YOf(double density) const;
    void Scale();  // the axes' decades from the spectrum

    std::optional<device::Spectrum> m_spectrum;
    double m_hzLow = 0.1, m_hzHigh = 100;  // decades shown
    double m_yLow = 1e-6, m_yHigh = 1e-3;  // PSI/√Hz
    std::optional<size_t> m_cursor;
    std::optional<std::pair<double, double>> m_band;
    std::optional<double> m_dragFrom;
};

}  // namespace ui
