#pragma once

#include "ui/statistics_panel.h"

#include <QWidget>
#include <vector>

class QCheckBox;
class QComboBox;
class QVBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class PressureFeed;
class PressurePlot;
class SpectrumPanel;

// The "Pressure Plot" window: the plot of the running acquisition and the span it shows (the last
// 10 s, 30 s or 60 s, or the whole run), Pause, the PSI axis automatic or fixed, the cursor's
// reading, the markers' figures, and saving the readings as CSV or the plot as PNG. Not modal; a
// child window of the main dialog, so that it takes input while the main dialog runs modally.
class PressurePlotWindow : public QWidget {
    Q_OBJECT
public:
    PressurePlotWindow(PressureFeed& feed, QWidget* parent);
    ~PressurePlotWindow() override;

    PressurePlot* Plot() const { return m_plot; }
    QComboBox* SpanChoice() const { return m_span; }
    QPushButton* PauseButton() const { return m_pause; }
    QCheckBox* FixedPsi() const { return m_fixed; }
    QLineEdit* PsiMinimum() const { return m_minimum; }
    QLineEdit* PsiMaximum() const { return m_maximum; }
    QPushButton* ApplyRange() const { return m_apply; }
    QLabel* RangeNote() const { return m_rangeNote; }
    // Time (s), PSI, raw pressure, raw temperature of the reading under the cursor.
    const std::vector<QLabel*>& CursorValues() const { return m_cursorValues; }
    const std::vector<QLabel*>& MarkerValues() const { return m_markerValues; }
    // The markers' figures: caption and value, a row each.
    const std::vector<std::pair<QLabel*, QLabel*>>& Figures() const { return m_figures; }
    QPushButton* SaveReadingsButton() const { return m_saveReadings; }
    QPushButton* SavePictureButton() const { return m_savePicture; }
    QPushButton* OpenRecordingButton() const { return m_openRecording; }

    void SaveReadings();
    void SavePicture();

    // The run's statistics beside the markers' figures, as a second tab of the side panel, and
    // the readings' spectrum as a third.
    void AddStatistics(StatisticsPanel::Source source);
    StatisticsPanel* Statistics() const { return m_statistics; }
    SpectrumPanel* Spectrum() const { return m_spectrum; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // A recorded file dropped on the window opens in a window of its own.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Watch();  // readings join at every step while the plot is shown and not paused
    void ApplyPsiRange();
    void ShowCursor();
    void ShowMarkers();

    PressureFeed& m_feed;
    PressurePlot* m_plot;
    QVBoxLayout* m_side = nullptr;
    QWidget* m_markerBox = nullptr;
    StatisticsPanel* m_statistics = nullptr;
    SpectrumPanel* m_spectrum = nullptr;
    QComboBox* m_span;
    QPushButton* m_pause;
    QCheckBox* m_fixed;
    QLineEdit* m_minimum;
    QLineEdit* m_maximum;
    QPushButton* m_apply;
    QLabel* m_rangeNote;
    std::vector<QLabel*> m_cursorValues;
    std::vector<QLabel*> m_markerValues;
    std::vector<std::pair<QLabel*, QLabel*>> m_figures;
    QPushButton* m_saveReadings;
    QPushButton* m_savePicture;
    QPushButton* m_openRecording;
};

}  // namespace ui
