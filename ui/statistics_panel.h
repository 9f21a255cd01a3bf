#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "device/live_statistics.h"
#include "device/run_ledger.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QTimer;

namespace ui {

// The run's figures and its ledger, for the span the user chooses (the last 1 s, 10 s, 60 s or
// the whole run). Each value is a label whose accessible name is its caption. Refreshed once a
// second while it is on screen, never while hidden; "Copy" puts caption, value and unit on the
// clipboard as TAB-separated lines.
class StatisticsPanel : public QWidget {
    Q_OBJECT
public:
    struct Source {
        std::function<device::Figures(device::StatsWindow)> figures;
        std::function<device::RunLedger()> ledger;  // none: no ledger rows (a recording)
    };
    static constexpr int kRefreshMs = 1000;

    StatisticsPanel(Source source, QWidget* parent = nullptr);

    void Refresh();
    // Names the last choice (the whole run) anew, and chooses it.
    void SetWholeText(const QString& text);
    // The text "Copy" puts on the clipboard.
    QString CopyText() const;
    QComboBox* WindowChoice() const { return m_window; }
    QPushButton* CopyButton() const { return m_copy; }
    // The value label of `caption` ("Mean", "Readings shown", ...); null when there is none.
    QLabel* Value(const QString& caption) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SetRows(const std::vector<std::pair<QString, QString>>& rows);

    Source m_source;
    QComboBox* m_window;
    QPushButton* m_copy;
    QGridLayout* m_grid;
    QTimer* m_timer;
    std::vector<QLabel*> m_captions;
    std::vector<QLabel*> m_values;
    QString m_copyText;
};

// The panel in a window of its own, as View, Statistics opens it.
class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    StatisticsWindow(StatisticsPanel::Source source, QWidget* parent);
    StatisticsPanel* Panel() const { return m_panel; }

private:
    StatisticsPanel* m_panel;
};

}  // namespace ui
