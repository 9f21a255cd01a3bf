#pragma once

#include <string>

#include "ui/dialog.h"

// The first window: what the program is for. OK leads to the port dialog, run inside the OK
// handler; Escape ends the program.
class CIntroDlg : public CDialog {
    Q_OBJECT
public:
    explicit CIntroDlg(QWidget* parent = nullptr);

    std::string m_text;  // exchanged with edit 1066

    // The introduction text, as it is built when the window is created.
    static std::string BuildText();

protected:
    bool OnCreate() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnCommand(int id) override;
    void OnOK() override;
};
