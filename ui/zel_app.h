#pragma once

#include <QString>
#include <string>

#include "ui/win_app.h"

// The application object: runs the start-up chain and handles the Help menu's commands, which
// reach it by routing from the main dialog.
class CZelApp : public CWinApp {
public:
    // Runs the introduction dialog and everything nested in it; returns the exit code (0).
    int InitInstance();

    bool OnCommand(int id) override;

    void OnHelpContents();
    void OnWebLink();
    void OnLimitations();
    void OnAbout();

    // The help document: in the current directory, else next to the program in `programDir`
    // (the build), else where the install puts it (share/zel-demo beside bin/). Empty when none
    // exists.
    static std::string HelpDocumentPath(const QString& programDir);
};
