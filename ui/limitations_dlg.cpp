#include "ui/limitations_dlg.h"

#include "res/resource_ids.h"

CLimitationsDlg::CLimitationsDlg(QWidget* parent) : CDialog(res::kIddLimitations, parent) {}

std::string CLimitationsDlg::BuildText() {
    // Joined with nothing between; "ofthe" and "visibleuntil" are the dialog's own words.
    return std::string(
               "\r\n1. Communication with the Zel Demo Board Interface is at 115200 baud NONE "
               "Parity \r\n    (N-8-1) only.\r\n") +
           "2. Manual WT commands to EEPROM locations 0x00 to 0xB6 will be ignored.\r\n" +
           "3. Calculated Pressure Readings in PSI are displayed at a rate of ~150/sec.\r\n" +
           "4. While a C4 continuous command is executing, single commands may not be visible "
           "\r\n    in the Command/Response Monitor.\r\n" +
           "5. EEPROM Tab contents are updated at the start ofthe application.\r\n    Any "
           "user-changes to the EEPROM will not be visibleuntil the application \r\n    is "
           "restarted.\r\n";
}

bool CLimitationsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_text = BuildText();
    UpdateData(false);
    return true;
}

void CLimitationsDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, res::kIdcLimitationsText, m_text);
}

// Nothing is taken back from the edit.
void CLimitationsDlg::OnOK() {
    EndDialog(res::kIdOk);
}
