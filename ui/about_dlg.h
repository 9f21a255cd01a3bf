#pragma once

#include "ui/dialog.h"

// "About Zel Demo Interface": the icon, the name, the version and the maker's notice.
class CAboutDlg : public CDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

protected:
    bool OnCommand(int id) override;
};
