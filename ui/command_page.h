#pragma once

#include <QFont>
#include <memory>
#include <string>

#include "device/command_page_core.h"
#include "ui/dialog.h"
#include "ui/pressure_feed.h"
#include "ui/text_view_widget.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The "Command" tab: single commands, Run/Stop with the pressure read-out, and logging.
class CCommandPage : public CDialog, public device::CommandPageCore {
    Q_OBJECT
public:
    explicit CCommandPage(CSerialPort* port);
    ~CCommandPage() override;

    // The session whose runs Run and Stop start and stop; set by the main dialog.
    void SetSession(device::MeasurementSession* session) { m_session = session; }

    void OnRun();
    // What a run is asked to do besides measuring, as the check boxes and the path say.
    device::RunOptions CurrentRunOptions() const;
    // After a run ended: the note about falling behind, the log controls, a failed close told.
    void ShowRunEnd(const device::RunEnd& end);
    // Tick thread, through the session's events: the host falls behind (a note over the run),
    // a log write failed (a box, once the user's thread gets to it).
    void OnFallingBehind();
    void OnLogFailed(const std::string& message);
    void OnLogPressure();
    void OnTimeStamp();
    void OnBrowse();
    void OnSelectAll();
    // Puts g_clipboardText on the clipboard; false when there is no clipboard.
    bool CopyToClipboard();

    bool PreTranslateKey(QWidget* target, QKeyEvent* event) override;

    ui::TextViewWidget* ReadoutView() { return m_readoutView.get(); }
    // The readings the read-out shows, for the pressure plot.
    ui::PressureFeed& PressureFeed() { return m_pressureFeed; }

    QPlainTextEdit* m_readout = nullptr;
    QCheckBox* m_logPressure = nullptr;
    QLabel* m_filePathLabel = nullptr;
    QLineEdit* m_filePath = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_manualEdit = nullptr;
    QComboBox* m_commandCombo = nullptr;
    QCheckBox* m_timeStamp = nullptr;
    QPushButton* m_runButton = nullptr;
    QLabel* m_runNote = nullptr;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnCommand(int id) override;
    void OnAcquisitionStateChanged(bool running) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnableLogControls(bool enabled);

    QFont m_readoutFont;
    std::unique_ptr<ui::TextViewWidget> m_readoutView;
    ui::PressureFeed m_pressureFeed;
    device::MeasurementSession* m_session = nullptr;
};

extern CCommandPage* g_commandPageWnd;
// The log file path box; made read-only by the main dialog.
extern QLineEdit* g_logPathEdit;
