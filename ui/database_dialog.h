#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

#include "ui/database_export.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace device {
class MeasurementSession;
}

// Tools, Database...: the database URL, the token file and the spool folder, and whether the
// readings go there; OK checks them with the database and attaches the writer to the session.
// A window of its own, made once, whose status line shows what the writer sent and spooled.
namespace ui {

class DatabaseDialog : public QDialog {
    Q_OBJECT
public:
    DatabaseDialog(device::MeasurementSession& session, QWidget* parent);

    DatabaseExport& Export() { return m_export; }

    // OK: the settings checked and taken, or refused with a message box naming why.
    void OnOk();
    void OnBrowseToken();
    // Sends what is left within the flush time-out and keeps the rest in the spool.
    void FinishExport();

    QCheckBox* m_enabled;
    QLineEdit* m_url;
    QLineEdit* m_tokenFile;
    QPushButton* m_browseToken;
    QLineEdit* m_spoolDir;
    QLabel* m_status;
    QLabel* m_note;
    QDialogButtonBox* m_buttons;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void ShowChoice();  // the fields from the export's present choice
    void RefreshStatus();
    void OnStarted(const DatabaseExport::Started& started);
    void EnableFields();

    DatabaseExport m_export;
    QTimer m_refresh;  // about once a second while a writer exists
};

}  // namespace ui
