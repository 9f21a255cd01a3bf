#include "ui/database_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cctype>

#include "ui/message_box.h"
#include "serial/port_settings.h"
#include "tsdb/settings.h"

namespace ui {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string S(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

}  // namespace

DatabaseDialog::DatabaseDialog(device::MeasurementSession& session, QWidget* parent)
    : QDialog(parent), m_export(session) {
    setWindowTitle(QStringLiteral("Database"));
    m_enabled = new QCheckBox(QStringLiteral("Write the readings to the database"));
    m_url = new QLineEdit;
    m_url->setPlaceholderText(QStringLiteral("http://127.0.0.1:8428/write"));
    m_url->setMinimumWidth(360);
    m_tokenFile = new QLineEdit;
    m_tokenFile->setPlaceholderText(QStringLiteral("none: INFLUX_TOKEN, if set"));
    m_browseToken = new QPushButton(QStringLiteral("Browse…"));
    m_spoolDir = new QLineEdit;
    m_status = new QLabel(QStringLiteral("Not writing"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_note = new QLabel;
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    auto* token = new QHBoxLayout;
    token->addWidget(m_tokenFile);
    token->addWidget(m_browseToken);
    auto* form = new QFormLayout;
    form->addRow(m_enabled);
    form->addRow(QStringLiteral("Write URL:"), m_url);
    form->addRow(QStringLiteral("Token file:"), token);
    form->addRow(QStringLiteral("Spool folder:"), m_spoolDir);
    form->addRow(QStringLiteral("Status:"), m_status);
    form->addRow(m_note);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);

    connect(m_enabled, &QCheckBox::toggled, this, [this] { EnableFields(); });
    connect(m_browseToken, &QPushButton::clicked, this, [this] { OnBrowseToken(); });
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] { OnOk(); });
    connect(m_buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    connect(&m_export, &DatabaseExport::Noted, this,
            [this] { m_note->setText(Q(m_export.LastNote())); });
    m_refresh.setInterval(1000);
    connect(&m_refresh, &QTimer::timeout, this, [this] { RefreshStatus(); });
    ShowChoice();
}

void DatabaseDialog::showEvent(QShowEvent* event) {
    // The default spool belongs to the port open now.
    m_spoolDir->setPlaceholderText(Q(tsdb::DefaultSpoolDir(g_portName)));
    QDialog::showEvent(event);
}

void DatabaseDialog::ShowChoice() {
    const DatabaseExport::Choice& choice = m_export.Current();
    m_enabled->setChecked(choice.enabled);
    m_url->setText(Q(choice.url));
    m_tokenFile->setText(Q(choice.tokenFile));
    m_spoolDir->setText(Q(choice.spoolDir));
    EnableFields();
}

void DatabaseDialog::EnableFields() {
    const bool editable = !m_export.Starting();
    m_enabled->setEnabled(editable);
    for (QWidget* w : {static_cast<QWidget*>(m_url), static_cast<QWidget*>(m_tokenFile),
                       static_cast<QWidget*>(m_browseToken), static_cast<QWidget*>(m_spoolDir)})
        w->setEnabled(editable && m_enabled->isChecked());
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(editable);
}

void DatabaseDialog::OnBrowseToken() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Select Token File"), m_tokenFile->text(),
                                     QString(), nullptr, QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty()) m_tokenFile->setText(path);
}

void DatabaseDialog::OnOk() {
    DatabaseExport::Choice choice;
    choice.enabled = m_enabled->isChecked();
    choice.url = S(m_url);
    choice.tokenFile = S(m_tokenFile);
    choice.spoolDir = S(m_spoolDir);
    if (choice.enabled && choice.url.empty()) {
        ui::AppMessageBox(
            "Enter the database's write URL, e.g. "
            "http://127.0.0.1:8428/write.",
            ui::MessageIcon::Exclamation);
        return;
    }
    m_status->setText(choice.enabled ? QStringLiteral("Checking the database…")
                                     : QStringLiteral("Finishing…"));
    m_export.Apply(choice, [this](const DatabaseExport::Started& started) { OnStarted(started); });
    EnableFields();
}

void DatabaseDialog::OnStarted(const DatabaseExport::Started& started) {
    EnableFields();
    RefreshStatus();
    if (!started.ok) {
        std::string text = started.error + ".";
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        ui::AppMessageBox(text, ui::MessageIcon::Exclamation);
        return;
    }
    if (!started.notAnswering.empty())
        ui::AppMessageBox(started.notAnswering, ui::MessageIcon::Exclamation);
    hide();
}

void DatabaseDialog::RefreshStatus() {
    m_export.RefreshTags();
    const std::string status = m_export.StatusText();
    m_status->setText(status.empty() ? QStringLiteral("Not writing") : Q(status));
    if (m_export.Writing()) {
        if (!m_refresh.isActive()) m_refresh.start();
    } else {
        m_refresh.stop();
    }
}

void DatabaseDialog::reject() {
    if (m_export.Starting()) return;  // the check in progress ends by itself
    ShowChoice();
    QDialog::reject();
}

void DatabaseDialog::FinishExport() {
    m_refresh.stop();
    m_export.Finish();
}

}  // namespace ui
