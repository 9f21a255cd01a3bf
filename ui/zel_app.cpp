#include "ui/zel_app.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <csignal>

#include "res/build_info.h"
#include "res/resource_ids.h"
#include "res/strings.h"
#include "ui/about_dlg.h"
#include "ui/command_table.h"
#include "ui/dialog.h"
#include "ui/intro_dlg.h"
#include "ui/limitations_dlg.h"
#include "ui/main_dlg.h"
#include "ui/shell_open.h"

int CZelApp::InitInstance() {
    // A log grown past the file-size limit fails its write (and says so) instead of ending the
    // program.
    std::signal(SIGXFSZ, SIG_IGN);
    // The profile key is set up and never used.
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    CMainDlg mainDlg;
    {
        CIntroDlg intro;
        intro.DoModal();
    }
    return CDialog::ProgramEnded() ? CDialog::ExitCode() : 0;
}

bool CZelApp::OnCommand(int id) {
    static constexpr CommandEntry<CZelApp> kCommands[] = {
        {res::kCmdHelpContents, &CZelApp::OnHelpContents},
        {res::kCmdWebLink, &CZelApp::OnWebLink},
        {res::kCmdLimitations, &CZelApp::OnLimitations},
        {res::kCmdAbout, &CZelApp::OnAbout},
    };
    return DispatchCommand(this, kCommands, id);
}

std::string CZelApp::HelpDocumentPath(const QString& programDir) {
    const QString name = QString::fromLatin1(res::kHelpFileName);
    const QDir appDir(programDir);
    const QStringList candidates = {
        QDir::current().filePath(name),
        appDir.filePath(name),
        QDir(appDir.filePath(QString::fromLatin1(res::kHelpDirFromPrograms))).filePath(name),
    };
    for (const QString& path : candidates) {
        if (QFileInfo(path).isFile())
            return QFileInfo(path).absoluteFilePath().toLocal8Bit().toStdString();
    }
    return "";
}

// The results of both shell calls are ignored: the desktop reports its own failures.
void CZelApp::OnHelpContents() {
    const std::string path = HelpDocumentPath(QCoreApplication::applicationDirPath());
    ui::ShellOpen(path.empty() ? std::string(res::kHelpFileName) : path);
}

void CZelApp::OnWebLink() {
    ui::ShellOpen(res::kMakerWebPage);
}

void CZelApp::OnLimitations() {
    CLimitationsDlg dialog;
    dialog.DoModal();
}

void CZelApp::OnAbout() {
    CAboutDlg dialog;
    dialog.DoModal();
}
