#pragma once

#include <string>

#include "ui/dialog.h"

// "Application Limitations": what the demonstration does not do.
class CLimitationsDlg : public CDialog {
    Q_OBJECT
public:
    explicit CLimitationsDlg(QWidget* parent = nullptr);

    std::string m_text;  // exchanged with edit 1067

    static std::string BuildText();

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
};
