#pragma once

#include <string>

// What the port dialog needs of the main dialog: its port, its port label and its modal run.
class CPortDialogHost {
public:
    virtual ~CPortDialogHost() = default;
    // Opens g_portName at the fixed line settings; failures are shown to the user.
    virtual bool OpenPort() = 0;
    virtual void SetPortLabel(const std::string& label) = 0;
    // The port the main dialog holds open, as it was listed; empty when none.
    virtual std::string HeldPort() const = 0;
    // Runs the main dialog modally; returns when the program's main window closes.
    virtual void RunMainDialog() = 0;

    // The main dialog (null before it exists).
    static CPortDialogHost* Main();
    static void SetMain(CPortDialogHost* host);
};
