#include "ui/eeprom_wait_dlg.h"

#include "res/resource_ids.h"

CEepromWaitDlg* g_waitDlg = nullptr;

CEepromWaitDlg::CEepromWaitDlg(QWidget* owner) : CDialog(res::kIddEepromWait, owner) {}
