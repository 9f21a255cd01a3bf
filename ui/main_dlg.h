#pragma once

#include <QFont>
#include <memory>
#include <string>

#include "device/main_dialog_core.h"
#include "device/measurement_session.h"
#include "device/port_reconnect.h"
#include "serial/port_identity.h"
#include "ui/dialog.h"
#include "ui/port_dialog_host.h"
#include "ui/statistics_panel.h"
#include "ui/text_view_widget.h"

class CAppTabCtrl;
class CCommandPage;
class CEepromPage;
class QPlainTextEdit;
namespace ui {
class PressurePlotWindow;
class StatisticsWindow;
class VerificationWindow;
class DatabaseDialog;
}

// The program's main window: port status, Change Port Settings, the two tab pages and the
// Command/Response Monitor. Its initialisation reads the EEPROM and starts the timer; closing it
// stops the transducer, the timer and the port. The port and the timer are held by the
// window's measurement side, a member (Core) whose read-out hooks come back to the window; what
// the session tells comes through WindowEvents.
class CMainDlg : public CDialog, public CPortDialogHost, private device::SessionPort {
    Q_OBJECT
public:
    CMainDlg();
    ~CMainDlg() override;

    // The port dialog's side.
    bool OpenPort() override;
    void SetPortLabel(const std::string& label) override { m_portLabel = label; }
    std::string HeldPort() const override;
    void RunMainDialog() override { DoModal(); }

    void OnSelectAll();
    void OnChangePortSettings();
    void OnExit();
    // View, Pressure Plot: the plot window, made once and shown again afterwards.
    void OnPressurePlot();
    // View, Statistics: the run's figures and ledger, made once and shown again afterwards.
    void OnStatistics();
    // View, Open Recording…: a recorded file in a plot window of its own.
    void OnOpenRecording();
    // Tools, Verification Run…: made once, drives the session.
    void OnVerification();
    // Tools, Database...: the database settings window, made once and shown again afterwards.
    void OnDatabase();
    // The six steps of closing, shared by the close box and File Exit.
    void CloseSequence();

    bool PreTranslateKey(QWidget* target, QKeyEvent* event) override;

    // The window's measurement side: its port (m_port), the timer (m_timer), the read-out.
    device::MainDialogCore& Core() { return m_core; }

    // A run waits for its port to come back (user-interface thread).
    bool WaitingForPort() const { return m_reconnect != nullptr; }
    // Ends that wait; the run stays stopped.
    void StopWaitingForPort();

    CCommandPage* CommandPage() const { return m_commandPage; }
    CEepromPage* EepromPage() const { return m_eepromPage; }
    ui::PressurePlotWindow* PlotWindow() const { return m_plotWindow; }
    ui::StatisticsWindow* StatisticsWindow() const { return m_statisticsWindow; }
    ui::VerificationWindow* VerificationWindow() const { return m_verificationWindow; }
    ui::TextViewWidget* MonitorView() { return m_monitorView.get(); }
    device::MeasurementSession* Session() const { return m_session.get(); }
    ui::DatabaseDialog* DatabaseDialog() const { return m_databaseDialog; }

    QPlainTextEdit* m_monitor = nullptr;  // control 1067
    CAppTabCtrl* m_tab = nullptr;         // control 1068
    std::string m_monitorText;            // stays empty: an exchange towards the controls blanks it
    QFont m_monitorFont;
    std::string m_portLabel;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnCommand(int id) override;
    void OnOK() override {}
    void OnCancel() override {}
    void OnClose() override;

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // The measurement side's read-out hooks, forwarded to the window: the wait notice and
    // cursor, on the user-interface thread.
    class MeasurementSide : public device::MainDialogCore {
    public:
        explicit MeasurementSide(CMainDlg& window) : m_window(window) {}

    protected:
        void CreateEepromWaitNotice() override { m_window.CreateEepromWaitNotice(); }
        void ShowEepromWaitCursor() override { m_window.ShowEepromWaitCursor(); }
        void EndEepromWait() override { m_window.EndEepromWait(); }

    private:
        CMainDlg& m_window;
    };

    // The session's events the window and its command page show: the read-out's progress and
    // unconfirmed rows, the port gone, falling behind and a failed log write (the last three on
    // the tick thread, posted on).
    class WindowEvents : public device::SessionEvents {
    public:
        explicit WindowEvents(CMainDlg& window) : m_window(window) {}
        void OnReadoutProgress(int, const std::string&) override { m_window.OnEepromByteRead(); }
        void OnReadoutUnconfirmed(const std::vector<device::UnconfirmedRow>& rows) override {
            m_window.OnEepromUnconfirmed(rows);
        }
        void OnPortGone() override { m_window.OnPortGone(); }
        void OnFallingBehind() override;
        void OnLogFailed(const std::string& message) override;

    private:
        CMainDlg& m_window;
    };

    void CreateEepromWaitNotice();
    void ShowEepromWaitCursor();
    void OnEepromByteRead();
    void EndEepromWait();
    void OnEepromUnconfirmed(const std::vector<device::UnconfirmedRow>& rows);
    void OnPortGone();  // tick thread
    ui::StatisticsPanel::Source StatisticsSource();  // the session's figures and ledger
    void OnPortGoneOnUiThread();
    void WaitForPortReturn();                   // starts the waiting thread
    void OnPortBack(const std::string& path);  // user-interface thread
    // device::SessionPort: the port found again, opened as Open Port opens it.
    serial::PortOpenResult OpenAgain(const std::string& path) override;
    void ClosePort() override;
    void ShowPortLabel();
    void DestroyChildren();

    MeasurementSide m_core{*this};
    WindowEvents m_events{*this};  // outlives the session, which tells it
    CCommandPage* m_commandPage = nullptr;
    CEepromPage* m_eepromPage = nullptr;
    ui::PressurePlotWindow* m_plotWindow = nullptr;  // a child window; shows the page's feed
    ui::StatisticsWindow* m_statisticsWindow = nullptr;  // a child window; reads the session
    ui::VerificationWindow* m_verificationWindow = nullptr;
    ui::DatabaseDialog* m_databaseDialog = nullptr;      // a child window; feeds on the session
    std::unique_ptr<ui::TextViewWidget> m_monitorView;
    std::unique_ptr<device::MeasurementSession> m_session;  // made once the pages are
    serial::PortIdentity m_portIdentity;  // of the port last opened, read while it was there
    std::unique_ptr<device::PortReconnect> m_reconnect;  // while a run waits for its port
    bool m_closed = false;
    bool m_waitCursor = false;
};
