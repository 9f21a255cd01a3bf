#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "device/welch_psd.h"
#include "ui/pressure_trace.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace ui {

class PressurePlot;
class SpectrumPlot;

// The Spectrum tab of the plot window: the Welch density of the readings between the markers, or
// of those in view, with its figures: the sampling rate and the spread of the spacing, the
// segments, the noise density, the three largest peaks, the RMS over a dragged band and the
// cursor's bin; Save Spectrum… writes it as CSV. A long span is computed on a thread of its own;
// a newer span cancels it. Looked at again once a second while shown, and when the markers move.
class SpectrumPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 1000;
    // Spans of more readings than this are computed off the user-interface thread.
    static constexpr size_t kInlineReadings = 20000;

    SpectrumPanel(PressurePlot& plot, const PressureTrace& trace, QWidget* parent = nullptr);
    ~SpectrumPanel() override;

    // Takes the span again; computes only when it or the segment choice changed.
    void Refresh();
    bool Busy() const { return m_worker.joinable() && !m_workerDone; }
    const std::optional<device::Spectrum>& Current() const;
    void SaveSpectrum();

    SpectrumPlot* Plot() const { return m_plot; }
    QComboBox* SegmentChoice() const { return m_segment; }
    QPushButton* SaveButton() const { return m_save; }
    // The value label of `caption` ("Noise density", "Peak 1", ...); null when there is none.
    QLabel* Value(const QString& caption) const;

signals:
    void SpectrumChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Span {
        size_t from = 0, to = 0;  // of the trace's Recent()
        std::int64_t firstNanos = 0, lastNanos = 0;
        int segment = 0;
        bool marked = false;
        bool operator==(const Span&) const = default;
    };
    Span CurrentSpan() const;
    void Compute(const Span& span);
    void Show(std::optional<device::Spectrum> spectrum, const std::string& error);
    void ShowCursor();
    void ShowBand();
    void StopWorker();

    PressurePlot& m_pressurePlot;
    const PressureTrace& m_trace;
    SpectrumPlot* m_plot;
    QComboBox* m_segment;
    QLabel* m_status;
    QPushButton* m_save;
    QTimer* m_timer;
    std::vector<std::pair<QLabel*, QLabel*>> m_rows;
    std::optional<Span> m_shown;
    std::thread m_worker;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    bool m_workerDone = true;
    unsigned m_generation = 0;
};

// A figure as the spectrum tab writes it: `digits` significant digits, "C" rules.
std::string SpectrumNumber(double value, int digits = 4);

}  // namespace ui
