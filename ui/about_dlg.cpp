#include "ui/about_dlg.h"

#include "res/resource_ids.h"

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(res::kIddAbout, parent) {}

bool CAboutDlg::OnCommand(int id) {
    if (id == res::kIdcAboutOk) {
        EndDialog(res::kIdOk);
        return true;
    }
    return CDialog::OnCommand(id);
}
