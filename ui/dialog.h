#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "res/dialog_templates.h"
#include "ui/dialog_units.h"

class QEventLoop;
class QKeyEvent;
class QMenuBar;
class CDialog;

// Data exchange between a dialog's members and its controls.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;  // true: controls to members
};

// The text of an edit, label, button or combo box.
void DDX_Text(CDataExchange* dx, int id, std::string& value);
// The index of the checked radio button in the group that starts at `firstId`; -1 for none.
void DDX_Radio(CDataExchange* dx, int firstId, int& index);
// The selection index of a combo box; -1 for none.
void DDX_CBIndex(CDataExchange* dx, int id, int& index);

// A dialog built from a template. Modal runs nest: a handler may run another dialog modally,
// and EndDialog hides the window at once while the run ends when the handler returns.
class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(int templateId, QWidget* parent = nullptr);
    ~CDialog() override;

    int DoModal();
    // A modeless dialog, or a panel of `parent` when the template has no caption or border.
    bool Create(QWidget* parent = nullptr);
    void EndDialog(int result);
    bool UpdateData(bool saveAndValidate = true);

    QWidget* GetDlgItem(int id) const;
    template <class W>
    W* Item(int id) const {
        return qobject_cast<W*>(GetDlgItem(id));
    }
    const res::DialogTemplate& Template() const { return *m_template; }
    const ui::DialogUnits& Units() const { return m_units; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    bool InModalRun() const { return m_loop != nullptr; }

    // Runs a menu or button command: first the dialog's own handlers, then the application's.
    void RouteCommand(int id);

    // Ends every modal run at once, innermost first; the program then returns `exitCode`.
    static void EndProgram(int exitCode);
    static bool ProgramEnded();
    static int ExitCode();
    // Tests that end the program in-process start the next one afresh.
    static void ResetProgramEnd();

    // Key presses for this dialog or its controls (`target`), before the control sees them.
    // True consumes the key.
    virtual bool PreTranslateKey(QWidget* target, QKeyEvent* event);

protected:
    // After the window and its controls exist, before OnInitDialog; false fails the creation.
    virtual bool OnCreate() { return true; }
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnClose();
    // Commands of buttons and menus; true when handled here.
    virtual bool OnCommand(int id);

    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    void accept() override;

private:
    friend class DialogKeyFilter;
    bool Build(QWidget* parent);
    void HandleDialogKey(QKeyEvent* event);
    void CenterOnScreen();

    const res::DialogTemplate* m_template;
    ui::DialogUnits m_units;
    std::map<int, QWidget*> m_controls;
    QWidget* m_client = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QEventLoop* m_loop = nullptr;
    int m_result = -1;
    bool m_built = false;
};
