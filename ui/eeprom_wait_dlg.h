#pragma once

#include "ui/dialog.h"

// "Reading Zel EEPROM .....": shown while the EEPROM is read out, visible from creation.
class CEepromWaitDlg : public CDialog {
    Q_OBJECT
public:
    explicit CEepromWaitDlg(QWidget* owner = nullptr);
};

// The one notice; its window goes when the read-out ends, the object with the main dialog.
extern CEepromWaitDlg* g_waitDlg;
