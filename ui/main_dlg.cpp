#include "ui/main_dlg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "device/c_numbers.h"
#include "device/device_state.h"
#include "device/eeprom_contents.h"
#include "ui/command_table.h"
#include "ui/message_box.h"
#include "res/resource_ids.h"
#include "serial/port_settings.h"
#include "serial/serial_port.h"
#include "ui/app_tab_ctrl.h"
#include "ui/command_page.h"
#include "ui/database_dialog.h"
#include "ui/eeprom_page.h"
#include "ui/eeprom_wait_dlg.h"
#include "ui/message_boxes.h"
#include "ui/port_dlg.h"
#include "ui/pressure_plot_window.h"
#include "ui/recording_window.h"
#include "ui/statistics_panel.h"
#include "ui/window_placement.h"
#include "ui/verification_window.h"

CMainDlg::CMainDlg() : CDialog(res::kIddMain) {
    m_core.m_port = new CSerialPort;
    g_mainDlg = &m_core;
    CPortDialogHost::SetMain(this);
}

CMainDlg::~CMainDlg() {
    StopWaitingForPort();
    if (m_core.m_timer) m_core.m_timer->Stop();
    DestroyChildren();
    delete m_core.m_port;
    m_core.m_port = nullptr;
    if (g_mainDlg == &m_core) g_mainDlg = nullptr;
    if (CPortDialogHost::Main() == this) CPortDialogHost::SetMain(nullptr);
}

namespace {

serial::ProbeConfig ReconnectConfig() {
    serial::ProbeConfig config;
    config.devDir = CPortDlg::PortSearch().devDir;
    return config;
}

}  // namespace

bool CMainDlg::OpenPort() {
    StopWaitingForPort();
    const serial::PortOpenResult opened = m_core.OpenPort();
    if (!opened) {
        ui::ShowPortOpenFailure(opened, g_portName);
        return false;
    }
    // Read while the device is there: what finds it again after it went away.
    m_portIdentity = serial::ReadPortIdentity(g_portName, ReconnectConfig());
    return true;
}

// g_portName is the name of the last Open Port; a failed one closed the port first.
std::string CMainDlg::HeldPort() const {
    return m_core.m_port && m_core.m_port->IsOpen() ? g_portName : std::string();
}

void CMainDlg::DoDataExchange(CDataExchange* dx) {
    m_monitor = Item<QPlainTextEdit>(res::kIdcMonitor);
    m_tab = Item<CAppTabCtrl>(res::kIdcTab);
    DDX_Text(dx, res::kIdcMonitor, m_monitorText);
    // The label may show a shortened text: m_portLabel stays the whole one.
    if (!dx->m_bSaveAndValidate) ShowPortLabel();
}

// A path too long for the label loses its middle, so that "COM Port : ", the start of the path
// and the device's own name stay readable; the tool tip has the whole text.
void CMainDlg::ShowPortLabel() {
    auto* label = Item<QLabel>(res::kIdcPortLabel);
    if (!label) return;
    static const QString kPrefix = QStringLiteral("COM Port : ");
    const QString whole = QString::fromLocal8Bit(m_portLabel.data(), int(m_portLabel.size()));
    const QFontMetrics metrics(label->font());
    const int room = label->contentsRect().width() - 2 * label->margin() - 2;
    QString shown = whole;
    if (metrics.horizontalAdvance(whole) > room) {
        const bool prefixed = whole.startsWith(kPrefix);
        const QString head = prefixed ? kPrefix : QString();
        shown = head + metrics.elidedText(whole.mid(head.size()), Qt::ElideMiddle,
                                          room - metrics.horizontalAdvance(head));
    }
    label->setText(shown);
    label->setToolTip(whole);
}

bool CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    g_mainDlgActive = true;
    m_core.m_deviceAddress = "01";

    m_monitorFont = QFont(QStringLiteral("Arial"));
    m_monitorFont.setBold(true);
    m_monitorFont.setPixelSize(13);  // a 15-pixel cell
    m_monitor->setFont(m_monitorFont);

    // The pages are panels of this dialog, laid over the tab control's area.
    QWidget* client = m_tab->parentWidget();
    m_commandPage = new CCommandPage(m_core.m_port);
    m_commandPage->Create(client);
    m_eepromPage = new CEepromPage;
    g_eepromPage = m_eepromPage;
    m_eepromPage->Create(client);

    m_tab->AddPage("Command", m_commandPage);
    m_tab->AddPage("EEPROM", m_eepromPage);
    m_tab->ShowPage(0);

    // The monitor's view exists before the read-out, as do the others, but the tick that writes
    // to it starts only after.
    m_monitorView = std::make_unique<ui::TextViewWidget>(m_monitor);
    m_session = std::make_unique<device::MeasurementSession>(
        m_core, *m_commandPage,
        device::MeasurementSession::Views{m_monitorView.get(), m_commandPage->ReadoutView(),
                                          m_eepromPage->ListView()},
        m_core.m_port);
    m_session->AddListener(&m_events);
    m_session->AddListener(&m_commandPage->PressureFeed());
    m_commandPage->SetSession(m_session.get());
    m_session->ReadEeprom();

    g_logPathEdit = m_commandPage->m_filePath;
    g_logPathEdit->setReadOnly(true);

    UpdateData(false);
    if (!m_session->StartTimer()) ui::AppMessageBox("Error 01", ui::MessageIcon::None);
    return true;
}

bool CMainDlg::OnCommand(int id) {
    static constexpr CommandEntry<CMainDlg> kCommands[] = {
        {res::kIdcChangePort, &CMainDlg::OnChangePortSettings},
        {res::kCmdFileExit, &CMainDlg::OnExit},
        {res::kCmdSelectAll, &CMainDlg::OnSelectAll},
        {res::kCmdPressurePlot, &CMainDlg::OnPressurePlot},
        {res::kCmdStatistics, &CMainDlg::OnStatistics},
        {res::kCmdOpenRecording, &CMainDlg::OnOpenRecording},
        {res::kCmdVerification, &CMainDlg::OnVerification},
        {res::kCmdDatabase, &CMainDlg::OnDatabase},
        // Neither Enter nor Escape ends the main window.
        {res::kIdOk, nullptr},
        {res::kIdCancel, nullptr},
    };
    return DispatchCommand(this, kCommands, id) || CDialog::OnCommand(id);
}

bool CMainDlg::PreTranslateKey(QWidget*, QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return true;
        // Consumed: typed into the monitor, the letter would replace the text just selected.
        case Qt::Key_A:
            OnSelectAll();
            return true;
        default:
            return false;
    }
}

void CMainDlg::OnSelectAll() {
    if (m_monitorView) m_monitorView->Flush();
    m_monitor->selectAll();
    m_monitor->ensureCursorVisible();
}

void CMainDlg::OnPressurePlot() {
    if (!m_commandPage) return;
    if (!m_plotWindow) {
        m_plotWindow = new ui::PressurePlotWindow(m_commandPage->PressureFeed(), this);
        if (m_session) m_plotWindow->AddStatistics(StatisticsSource());
        m_plotWindow->resize(m_plotWindow->sizeHint());
    }
    ui::ShowBeside(m_plotWindow, this, {m_statisticsWindow});
}

void CMainDlg::OnOpenRecording() {
    ui::RunOpenRecordingDialog(this);
}

ui::StatisticsPanel::Source CMainDlg::StatisticsSource() {
    device::MeasurementSession* session = m_session.get();
    return {[session](device::StatsWindow window) { return session->Statistics(window); },
            [session] { return session->Ledger(); }};
}

void CMainDlg::OnStatistics() {
    if (!m_session) return;
    if (!m_statisticsWindow) {
        m_statisticsWindow = new ui::StatisticsWindow(StatisticsSource(), this);
        m_statisticsWindow->resize(m_statisticsWindow->sizeHint());
    }
    ui::ShowBeside(m_statisticsWindow, this, {m_plotWindow});
}

void CMainDlg::OnVerification() {
    if (!m_verificationWindow) {
        m_verificationWindow = new ui::VerificationWindow(
            {[this] { return m_session.get(); },
             [this] { CommandPage()->RouteCommand(res::kIdcRun); },
             [this] { return device::ReportedPort{HeldPort(), m_portIdentity}; }},
            this);
    }
    ui::ShowBeside(m_verificationWindow, this, {m_plotWindow, m_statisticsWindow});
}

void CMainDlg::OnDatabase() {
    if (!m_session) return;
    if (!m_databaseDialog) m_databaseDialog = new ui::DatabaseDialog(*m_session, this);
    m_databaseDialog->show();
    m_databaseDialog->raise();
    m_databaseDialog->activateWindow();
}

// Only the dialog's own show and hide bring the Command page forward: a minimise and restore by
// the window manager arrive as spontaneous events and keep the page the user chose.
void CMainDlg::showEvent(QShowEvent* event) {
    CDialog::showEvent(event);
    if (m_tab && !event->spontaneous()) m_tab->ShowPage(0);
}

void CMainDlg::hideEvent(QHideEvent* event) {
    CDialog::hideEvent(event);
    if (m_tab && !event->spontaneous()) m_tab->ShowPage(0);
}

void CMainDlg::moveEvent(QMoveEvent* event) {
    CDialog::moveEvent(event);
    const QPoint at = event->pos();
    if (m_tab && (at.x() > 0 || at.y() > 0)) m_tab->OnMove(at.x(), at.y());
}

void CMainDlg::OnChangePortSettings() {
    if (!g_acquisitionStopped) return;
    StopWaitingForPort();
    CPortDlg dialog;
    dialog.DoModal();
    UpdateData(false);
}

void CMainDlg::CreateEepromWaitNotice() {
    delete g_waitDlg;  // the one of an earlier read-out (a port that came back)
    g_waitDlg = new CEepromWaitDlg(this);
    g_waitDlg->Create(this);
    g_waitDlg->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CMainDlg::ShowEepromWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_waitCursor = true;
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// Keeps the notice painted during the five to ten seconds; the user's input waits until the end.
void CMainDlg::OnEepromByteRead() {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CMainDlg::OnEepromUnconfirmed(const std::vector<device::UnconfirmedRow>& rows) {
    ui::AppMessageBox(device::UnconfirmedRowsMessage(rows), ui::MessageIcon::Exclamation);
}

void CMainDlg::EndEepromWait() {
    if (g_waitDlg) g_waitDlg->hide();
    if (m_waitCursor) QApplication::restoreOverrideCursor();
    m_waitCursor = false;
    activateWindow();
}

void CMainDlg::WindowEvents::OnFallingBehind() {
    m_window.m_commandPage->OnFallingBehind();
}

void CMainDlg::WindowEvents::OnLogFailed(const std::string& message) {
    m_window.m_commandPage->OnLogFailed(message);
}

// The tick thread (or the read-out) found the port gone: once per loss.
void CMainDlg::OnPortGone() {
    QMetaObject::invokeMethod(
        this, [this] { OnPortGoneOnUiThread(); }, Qt::QueuedConnection);
}

void CMainDlg::OnPortGoneOnUiThread() {
    if (m_closed || WaitingForPort()) return;
    const bool wasRunning = !g_acquisitionStopped;
    std::string text = "The serial port " + g_portName +
                       " is gone: the adapter was unplugged or the device closed.";
    if (!wasRunning || !m_session || !m_commandPage) {
        text += " Reconnect it, then open it again with \"Change Port Settings\".";
        ui::AppMessageBox(text, ui::MessageIcon::Exclamation);
        return;
    }
    device::SessionPort& port = *this;
    m_reconnect = std::make_unique<device::PortReconnect>(*m_session, port, m_portIdentity,
                                                          ReconnectConfig());
    // As Stop would end it: the log closes with every reading written so far.
    m_commandPage->ShowRunEnd(m_reconnect->Suspend());
    WaitForPortReturn();
    text += " The acquisition has been stopped. When the same transducer is back, the run goes "
            "on by itself; \"Stop waiting\", or \"Change Port Settings\", ends the wait.";
    if (ui::AppMessageChoice(text, ui::MessageIcon::Exclamation, {"OK", "Stop waiting"}) == 1) {
        StopWaitingForPort();
    }
}

void CMainDlg::WaitForPortReturn() {
    m_reconnect->WaitInBackground([this](std::optional<std::string> path) {
        if (!path) return;  // stopped waiting
        QMetaObject::invokeMethod(
            this, [this, path = *path] { OnPortBack(path); }, Qt::QueuedConnection);
    });
}

void CMainDlg::StopWaitingForPort() {
    if (!m_reconnect) return;
    m_reconnect->GiveUp();
    m_reconnect.reset();
}

serial::PortOpenResult CMainDlg::OpenAgain(const std::string& path) {
    const std::string before = g_portName;
    g_portName = path;
    const serial::PortOpenResult opened = m_core.OpenPort();
    if (!opened) {
        g_portName = before;
        return opened;
    }
    m_portLabel = "COM Port : " + g_portName;
    ShowPortLabel();
    return opened;
}

void CMainDlg::ClosePort() {
    if (m_core.m_port) m_core.m_port->Close();
}

void CMainDlg::OnPortBack(const std::string& path) {
    if (!m_reconnect || m_closed || !m_session) return;
    const device::ReconnectStep step = m_reconnect->Resume(path);
    const std::string rows = device::RowNames(step.check.rows);
    switch (step.outcome) {
        case device::ReconnectStep::kWaitAgain:
            WaitForPortReturn();
            return;
        case device::ReconnectStep::kResumed:
            m_reconnect.reset();
            ui::AppMessageBox(
                "The serial port " + g_portName + " is back after " +
                    device::FormatFixed(step.check.gapSeconds, 1) +
                    " s with the same transducer: the run goes on." +
                    (step.check.logNotOpened ? " The log file \"" + g_logPath +
                                                   "\" cannot be opened again; the run goes on "
                                                   "without it."
                                             : ""),
                ui::MessageIcon::Information);
            return;
        case device::ReconnectStep::kOtherTransducer:
            m_reconnect.reset();
            ui::AppMessageBox("Another transducer is on " + g_portName +
                                  ": its EEPROM differs in " + rows +
                                  ". The run stays stopped and the port is closed.",
                              ui::MessageIcon::Exclamation);
            return;
        case device::ReconnectStep::kUnconfirmed:
            m_reconnect.reset();
            ui::AppMessageBox("The transducer on " + g_portName +
                                  " could not be confirmed as the same (" + rows +
                                  "). The run stays stopped and the port is closed.",
                              ui::MessageIcon::Exclamation);
            return;
        case device::ReconnectStep::kNoAnswer:
            m_reconnect.reset();
            ui::AppMessageBox("The transducer on " + g_portName +
                                  " did not answer. The run stays stopped and the port is "
                                  "closed.",
                              ui::MessageIcon::Exclamation);
            return;
    }
}

void CMainDlg::DestroyChildren() {
    // Before the session whose figures they read, and the page whose readings the plot shows.
    delete m_statisticsWindow;
    m_statisticsWindow = nullptr;
    delete m_plotWindow;
    m_plotWindow = nullptr;
    delete m_databaseDialog;
    m_databaseDialog = nullptr;
    // The session leaves the process-wide pointers as it found them; the main dialog stays.
    if (m_session) {
        m_session.reset();
        g_mainDlg = &m_core;
    }
    if (m_commandPage) m_commandPage->SetSession(nullptr);
    g_logPathEdit = nullptr;
    delete m_commandPage;
    m_commandPage = nullptr;
    delete m_eepromPage;
    m_eepromPage = nullptr;
    delete g_waitDlg;
    g_waitDlg = nullptr;
}

void CMainDlg::CloseSequence() {
    if (m_closed) return;
    m_closed = true;
    StopWaitingForPort();
    // *01IN, 10 ms, the log closed, the timer stopped after a tick in progress.
    m_core.CloseSequence();
    // The run's last readings to the database within the flush time-out; the rest spooled.
    if (m_databaseDialog) m_databaseDialog->FinishExport();
    if (m_core.m_port && m_core.m_port->IsOpen()) m_core.m_port->Close();
    m_core.m_timer.reset();
    DestroyChildren();
    delete m_core.m_port;
    m_core.m_port = nullptr;
    m_core.m_readPort = nullptr;
}

void CMainDlg::OnClose() {
    CloseSequence();
    EndDialog(res::kIdCancel);
}

void CMainDlg::OnExit() {
    CloseSequence();
    EndProgram(0);
}
