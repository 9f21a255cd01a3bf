#include "ui/intro_dlg.h"

#include "res/resource_ids.h"
#include "res/strings.h"
#include "ui/port_dlg.h"

CIntroDlg::CIntroDlg(QWidget* parent) : CDialog(res::kIddIntro, parent) {}

std::string CIntroDlg::BuildText() {
    std::string text =
        " This is a demonstration software application to showcase \r\n the features and "
        "functionality of the Velmarin Zel.";
    text = "\r\n" + text + "\r\n";
    text +=
        " This Program is not designed to be the end-users only data \r\n acquisition "
        "application.";
    text += "\r\n";
    text += "\r\n";
    text +=
        " For successful operation of this application user must have\r\n a Zel transducer "
        "mounted on a demo board and connected \r\n to a PC Serial COM Port";
    text += "\r\n\r\n";
    text += std::string(" ") + res::kMakerNotice;
    return text;
}

bool CIntroDlg::OnCreate() {
    m_text = BuildText();
    return true;
}

void CIntroDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, res::kIdcIntroText, m_text);
}

bool CIntroDlg::OnCommand(int id) {
    if (id == res::kIdcIntroOk) {
        OnOK();
        return true;
    }
    return CDialog::OnCommand(id);
}

void CIntroDlg::OnOK() {
    EndDialog(res::kIdOk);
    CPortDlg port;
    port.DoModal();
}
