#include "ui/command_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "device/device_state.h"
#include "device/pressure_log.h"
#include "ui/command_table.h"
#include "ui/message_box.h"
#include "res/command_list.h"
#include "res/resource_ids.h"
#include "ui/eeprom_page.h"
#include "ui/save_file_dialog.h"

CCommandPage* g_commandPageWnd = nullptr;
QLineEdit* g_logPathEdit = nullptr;

CCommandPage::CCommandPage(CSerialPort* port) : CDialog(res::kIddCommandPage) {
    m_port = port;
}

CCommandPage::~CCommandPage() {
    if (g_commandPageWnd == this) g_commandPageWnd = nullptr;
    if (g_readoutEdit == m_readoutView.get()) g_readoutEdit = nullptr;
}

void CCommandPage::DoDataExchange(CDataExchange*) {
    m_readout = Item<QPlainTextEdit>(res::kIdcReadout);
    m_logPressure = Item<QCheckBox>(res::kIdcLogPressure);
    m_filePathLabel = Item<QLabel>(res::kIdcFilePathLabel);
    m_filePath = Item<QLineEdit>(res::kIdcFilePath);
    m_browse = Item<QPushButton>(res::kIdcBrowse);
    m_manualEdit = Item<QLineEdit>(res::kIdcManualCommand);
    m_commandCombo = Item<QComboBox>(res::kIdcCommandList);
    m_timeStamp = Item<QCheckBox>(res::kIdcTimeStamp);
    m_runButton = Item<QPushButton>(res::kIdcRun);
    m_runNote = Item<QLabel>(res::kIdcRunNote);
}

bool CCommandPage::OnInitDialog() {
    CDialog::OnInitDialog();
    g_commandPageWnd = this;

    // Bold Arial, 15 pixels from the top of the tallest letter to the bottom of the lowest.
    m_readoutFont = QFont(QStringLiteral("Arial"));
    m_readoutFont.setBold(true);
    m_readoutFont.setPixelSize(13);
    m_readout->setFont(m_readoutFont);
    m_readoutView = std::make_unique<ui::TextViewWidget>(m_readout);

    for (const char* item : res::kCommandListItems)
        m_commandCombo->addItem(QString::fromLatin1(item));
    // A user's choice sends; a selection set by the program never does.
    connect(m_commandCombo, qOverload<int>(&QComboBox::activated), this,
            [this](int index) {
                if (!SendListCommand(index))
                    ui::AppMessageBox("INFO List Box error", ui::MessageIcon::None);
            });
    m_commandCombo->installEventFilter(this);
    connect(m_manualEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { SetManualCommand(text.toLatin1().toStdString()); });
    m_manualEdit->installEventFilter(this);

    g_acquisitionStopped = true;
    m_runButton->setText(QStringLiteral("Run"));
    m_commandCombo->setCurrentIndex(0);
    return true;
}

bool CCommandPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_commandCombo && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        m_commandCombo->setCurrentIndex(0);
    } else if (watched == m_manualEdit && event->type() == QEvent::FocusIn) {
        // After the click that gave the focus has placed the cursor.
        QTimer::singleShot(0, m_manualEdit, [edit = m_manualEdit] { edit->selectAll(); });
    }
    return CDialog::eventFilter(watched, event);
}

bool CCommandPage::OnCommand(int id) {
    static constexpr CommandEntry<CCommandPage> kCommands[] = {
        {res::kIdcRun, &CCommandPage::OnRun},
        {res::kIdcLogPressure, &CCommandPage::OnLogPressure},
        {res::kIdcTimeStamp, &CCommandPage::OnTimeStamp},
        {res::kIdcBrowse, &CCommandPage::OnBrowse},
        {res::kCmdSelectAll, &CCommandPage::OnSelectAll},
        // A page has no OK or Cancel of its own.
        {res::kIdOk, nullptr},
        {res::kIdCancel, nullptr},
    };
    return DispatchCommand(this, kCommands, id) || CDialog::OnCommand(id);
}

bool CCommandPage::PreTranslateKey(QWidget* target, QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (target == m_manualEdit) {
                m_manualEdit->setFocus();
                m_manualEdit->selectAll();
                SendManualCommand();
            }
            return true;
        // The letter still reaches the Manual Command box; typed into the read-out it would
        // replace the text just selected.
        case Qt::Key_A:
            OnSelectAll();
            return target == m_readout;
        default:
            return false;
    }
}

void CCommandPage::OnSelectAll() {
    m_readout->selectAll();
    m_readout->ensureCursorVisible();
}

void CCommandPage::EnableLogControls(bool enabled) {
    m_timeStamp->setEnabled(enabled);
    m_browse->setEnabled(enabled);
    m_filePathLabel->setEnabled(enabled);
}

void CCommandPage::OnRun() {
    if (!m_session) return;
    if (g_acquisitionStopped) {
        m_runNote->clear();
        if (g_logChecked && m_filePath->text().isEmpty()) {
            ui::AppMessageBox("Specify the file path for logging data",
                                    ui::MessageIcon::Exclamation);
            return;
        }
        if (!m_session->StartRun(CurrentRunOptions())) {
            ui::AppMessageBox("The log file \"" + g_logPath +
                                        "\" cannot be opened for writing. The run goes on "
                                        "without a log.",
                                    ui::MessageIcon::Exclamation);
        }
        return;
    }
    ShowRunEnd(m_session->StopRun());
}

device::RunOptions CCommandPage::CurrentRunOptions() const {
    if (!g_logChecked) return {};
    return {g_logPath, g_timeStampChecked};
}

void CCommandPage::ShowRunEnd(const device::RunEnd& end) {
    if (end.ledger.fellBehind) {
        m_runNote->setText(QString::fromStdString(
            device::FallingBehindText() + " " + device::StopDiscardedText(end.ledger.drainedBytes)));
    }
    if (g_logChecked) EnableLogControls(true);
    if (end.logCloseFailed)
        ui::AppMessageBox(end.logCloseFailure, ui::MessageIcon::Exclamation);
    device::ClearResponseText();
}

// Tick thread: shown on the page, over the run, without a box in its way.
void CCommandPage::OnFallingBehind() {
    QMetaObject::invokeMethod(
        m_runNote,
        [note = m_runNote] { note->setText(QString::fromStdString(device::FallingBehindText())); },
        Qt::QueuedConnection);
}

// Tick thread: the run goes on; the box waits for the user's thread.
void CCommandPage::OnLogFailed(const std::string& message) {
    QMetaObject::invokeMethod(
        this, [message] { ui::AppMessageBox(message, ui::MessageIcon::Exclamation); },
        Qt::QueuedConnection);
}

void CCommandPage::OnAcquisitionStateChanged(bool running) {
    m_runButton->setText(running ? QStringLiteral("Stop") : QStringLiteral("Run"));
    m_commandCombo->setEnabled(!running);
    m_manualEdit->setEnabled(!running);
    m_logPressure->setEnabled(!running);
    if (running) EnableLogControls(false);
}

void CCommandPage::OnLogPressure() {
    g_logChecked = !g_logChecked;
    EnableLogControls(g_logChecked);
}

void CCommandPage::OnTimeStamp() {
    g_timeStampChecked = !g_timeStampChecked;
}

void CCommandPage::OnBrowse() {
    std::string path;
    if (!ui::RunSaveFileDialog(this, {"Select Log File", "Text File (*.txt)", "txt"}, &path))
        return;
    g_logPath = path;
    m_filePath->setText(QString::fromLocal8Bit(path.c_str()));
}

bool CCommandPage::CopyToClipboard() {
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setText(QString::fromLatin1(g_clipboardText.c_str()));
    return true;
}
