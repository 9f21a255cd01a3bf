#include "ui/port_dlg.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <utility>

#include "res/resource_ids.h"
#include "serial/port_identity.h"
#include "serial/port_settings.h"
#include "ui/command_table.h"
#include "ui/port_dialog_host.h"

namespace {
CPortDlg::ProbeFunction g_probe;

serial::ProbeConfig& Search() {
    static serial::ProbeConfig search;
    return search;
}
}  // namespace

CPortDlg::CPortDlg(QWidget* parent) : CDialog(res::kIddPort, parent) {}

CPortDlg::ProbeFunction CPortDlg::SetProbeFunction(ProbeFunction probe) {
    return std::exchange(g_probe, std::move(probe));
}

void CPortDlg::SetPortSearch(serial::ProbeConfig search) {
    Search() = std::move(search);
}

const serial::ProbeConfig& CPortDlg::PortSearch() {
    return Search();
}

std::string CPortDlg::BuildSettingsString() {
    return serial::BuildSettingsString(m_baudIndex, m_parityIndex);
}

std::string CPortDlg::DeniedNotice(const std::vector<serial::DeniedPort>& denied) {
    if (denied.empty()) return "";
    // One line for all of them: the reason is the same for each (the dialout group).
    std::string names;
    const size_t shown = std::min<size_t>(denied.size(), 4);
    for (size_t i = 0; i < shown; ++i) {
        if (i) names += ", ";
        names += denied[i].name;
    }
    if (denied.size() > shown) names += " and " + std::to_string(denied.size() - shown) + " more";
    return "Not listed: " + names + ". " + denied.front().reason;
}

void CPortDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Radio(dx, res::kIdcBaudFirst, m_baudIndex);
    DDX_Radio(dx, res::kIdcParityNone, m_parityIndex);
    DDX_CBIndex(dx, res::kIdcPortList, m_portIndex);
}

bool CPortDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // From the running main dialog its own port comes first, selected.
    serial::ProbeConfig config = Search();
    if (CPortDialogHost* host = CPortDialogHost::Main()) config.heldPort = host->HeldPort();
    const serial::ProbeResult found = g_probe ? g_probe(config) : serial::ProbePorts(config);
    auto* list = Item<QComboBox>(res::kIdcPortList);
    // The item shows a USB adapter's model and serial number; its data is the name to open.
    for (size_t i = 0; i < found.names.size(); ++i) {
        const std::string& name = found.names[i];
        const std::string adapter = i < found.adapters.size() ? found.adapters[i] : "";
        list->addItem(QString::fromStdString(serial::PortDisplayText(name, adapter)),
                      QByteArray::fromStdString(name));
    }
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0));

    auto* notice = Item<QLabel>(res::kIdcDeniedNotice);
    const std::string text = DeniedNotice(found.denied);
    notice->setText(QString::fromStdString(text));
    if (text.empty()) {
        notice->hide();
        setFixedHeight(notice->geometry().top());
    }

    Item<QAbstractButton>(res::kIdcBaud115200)->setChecked(true);
    Item<QAbstractButton>(res::kIdcParityNone)->setChecked(true);
    GetDlgItem(res::kIdcOpenPort)->setEnabled(true);
    GetDlgItem(res::kIdOk)->setEnabled(false);
    GetDlgItem(res::kIdcReset)->setEnabled(false);
    GetDlgItem(res::kIdcParityBox)->setEnabled(false);
    GetDlgItem(res::kIdcBaudBox)->setEnabled(false);
    if (list->count() > 0) list->setCurrentIndex(0);
    return true;
}

bool CPortDlg::OnCommand(int id) {
    static constexpr CommandEntry<CPortDlg> kCommands[] = {
        {res::kIdcOpenPort, &CPortDlg::OnOpenPort},
        {res::kIdcReset, &CPortDlg::OnReset},
        {res::kIdcPortExit, &CPortDlg::OnExit},
    };
    return DispatchCommand(this, kCommands, id) || CDialog::OnCommand(id);
}

std::string CPortDlg::ListText() const {
    auto* list = Item<QComboBox>(res::kIdcPortList);
    return list ? list->currentData().toByteArray().toStdString() : std::string();
}

void CPortDlg::OnOpenPort() {
    UpdateData(true);
    g_portName = ListText();
    g_portSettings = BuildSettingsString();
    CPortDialogHost* host = CPortDialogHost::Main();
    if (!host || !host->OpenPort()) return;
    // OK first: disabling the box takes the focus from Open Port, and it must land on OK, the
    // default button, not on Exit.
    GetDlgItem(res::kIdOk)->setEnabled(true);
    GetDlgItem(res::kIdcReset)->setEnabled(true);
    GetDlgItem(res::kIdcPropertiesBox)->setEnabled(false);
    GetDlgItem(res::kIdOk)->setFocus();
    UpdateData(false);
}

void CPortDlg::OnReset() {
    GetDlgItem(res::kIdcPropertiesBox)->setEnabled(true);
    GetDlgItem(res::kIdcParityBox)->setEnabled(false);
    GetDlgItem(res::kIdcBaudBox)->setEnabled(false);
    GetDlgItem(res::kIdOk)->setEnabled(false);
    GetDlgItem(res::kIdcReset)->setEnabled(false);
}

void CPortDlg::OnOK() {
    // OK is usable only after a successful Open Port; Enter must not get round that.
    if (!GetDlgItem(res::kIdOk)->isEnabled()) return;
    CDialog::OnOK();
    CPortDialogHost* host = CPortDialogHost::Main();
    if (host) host->SetPortLabel("COM Port : " + ListText());
    if (!g_mainDlgActive && host) host->RunMainDialog();
}

// From the running main dialog only this dialog closes, and the open port stays open; at
// start-up the program ends.
void CPortDlg::OnExit() {
    EndDialog(res::kIdCancel);
    if (!g_mainDlgActive) EndProgram(0);
}

void CPortDlg::OnCancel() {
    OnExit();
}
