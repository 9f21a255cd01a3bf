#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "device/verification_feed.h"
#include "device/verification_run.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace ui {

class VerificationPlot;

// Tools, Verification Run…: the plan, the reference, the run on the main window's session, its
// points, error plot, figures and verdict, and the report.
class VerificationWindow : public QWidget, public device::VerificationEvents {
public:
    struct Host {
        std::function<device::MeasurementSession*()> session;
        std::function<void()> startRun;  // starts a run as Run does, when none is on
        std::function<device::ReportedPort()> port;  // the port the session is on
    };
    VerificationWindow(Host host, QWidget* parent);
    ~VerificationWindow() override;

    // The plan as the fields give it; false with `error`.
    bool PlanOf(device::VerificationPlan* plan, std::string* error) const;
    void SetPlan(const device::VerificationPlan& plan);
    bool Start(std::string* error);
    void Stop();
    bool Running() const { return m_worker != nullptr; }
    const std::optional<device::VerificationResult>& Result() const { return m_result; }
    // HTML, or PDF when `path` ends in .pdf; false with `error`.
    bool SaveReport(const QString& path, std::string* error) const;
    QString PointsText() const;  // the points, TAB-separated, with a header line

    QLineEdit* ReferenceEdit() const { return m_reference; }
    QLineEdit* ManualEdit() const { return m_manualValue; }
    QPushButton* TakeButton() const { return m_take; }
    QTableWidget* PointsTable() const { return m_points; }
    QTableWidget* FiguresTable() const { return m_figures; }
    QLabel* VerdictLabel() const { return m_verdict; }

private:
    void OnProgress(const device::VerificationProgress& progress) override;
    void OnManualPrompt(const device::ManualPrompt& prompt) override;
    void OnPoint(const device::VerificationPoint& point) override;
    void OnFinished(const device::VerificationResult& result) override;

    void ShowProgress(const device::VerificationProgress& progress);
    void AddPoint(const device::VerificationPoint& point);
    void ShowResult(const device::VerificationResult& result);
    void ShowFigures(const std::vector<device::VerificationFigure>& figures);
    void EndRun();
    void OnStartStop();
    void OnTake();
    void OnLoad();
    void OnSave();
    void OnSaveReport();
    void OnCopy();
    void UpdatePlot();
    void DrawPlot(VerificationPlot* plot) const;  // the points so far, with the max_error band

    Host m_host;
    QDoubleSpinBox *m_min, *m_max, *m_window, *m_maxStd, *m_maxSlope, *m_timeout, *m_dwell;
    QLineEdit* m_pointsEdit;
    QSpinBox* m_cycles;
    QComboBox* m_directions;
    std::vector<QLineEdit*> m_tolerances;  // in the order of kVerificationFigureNames
    QLineEdit* m_reference;
    QPushButton *m_start, *m_take, *m_saveReport, *m_copy;
    QProgressBar* m_progress;
    QLabel *m_state, *m_prompt, *m_verdict;
    QLineEdit* m_manualValue;
    QTableWidget *m_points, *m_figures;
    VerificationPlot* m_plot;

    device::VerificationPlan m_plan;  // of the run on or last made
    std::vector<device::VerificationPoint> m_shown;
    std::unique_ptr<device::VerificationReference> m_ref;
    std::unique_ptr<device::VerificationWorker> m_worker;
    std::unique_ptr<device::VerificationFeed> m_feed;
    std::optional<device::VerificationResult> m_result;
};

}  // namespace ui
