#pragma once

// The application object as the dialogs see it: the last stop of command routing.
class CWinApp {
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    // True when handled.
    virtual bool OnCommand(int id) { return false; }

    static CWinApp* Instance();
};
