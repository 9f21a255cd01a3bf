#include "ui/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <vector>

#include "res/menus.h"
#include "res/resource_ids.h"
#include "ui/app_icon.h"
#include "ui/template_builder.h"
#include "ui/win_app.h"

namespace {

std::vector<CDialog*> g_modalRuns;  // innermost last
bool g_programEnded = false;
int g_exitCode = 0;

QString ToQ(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), int(s.size()));
}
std::string FromQ(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

// Multi-line edits hold CR LF line ends as the program sees them; the widget wants LF.
QString ToEditText(const std::string& s) {
    return ToQ(s).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
std::string FromEditText(const QString& s) {
    return FromQ(QString(s).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
}

}  // namespace

// Gives each CDialog the first look at key presses meant for its window, before the focused
// control; then the dialog keys (Enter, Escape) that the control did not want.
class DialogKeyFilter : public QObject {
public:
    static void Install() {
        static DialogKeyFilter* filter = nullptr;
        if (!filter && qApp) {
            filter = new DialogKeyFilter(qApp);
            qApp->installEventFilter(filter);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget) return false;
        // Qt hands an ignored key on to the parent with the same event: look at it once.
        if (event == m_lastEvent && m_lastReceiver && widget == m_lastReceiver->parentWidget()) {
            m_lastReceiver = widget;
            return false;
        }
        m_lastEvent = event;
        m_lastReceiver = widget;

        CDialog* dialog = nullptr;
        for (QWidget* w = widget; w; w = w->parentWidget()) {
            if ((dialog = qobject_cast<CDialog*>(w))) break;
            if (w->isWindow()) break;
        }
        if (!dialog) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (dialog->PreTranslateKey(widget, key)) return true;
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
                if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
                dialog->HandleDialogKey(key);
                return true;
            default:
                return false;
        }
    }

private:
    using QObject::QObject;
    const QEvent* m_lastEvent = nullptr;
    QPointer<QWidget> m_lastReceiver;
};

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
    QWidget* w = dx->m_pDlgWnd->GetDlgItem(id);
    if (!w) return;
    if (dx->m_bSaveAndValidate) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            value = FromQ(e->text());
        else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
            value = FromEditText(p->toPlainText());
        else if (auto* l = qobject_cast<QLabel*>(w))
            value = FromQ(l->text());
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            value = FromQ(b->text());
        else if (auto* c = qobject_cast<QComboBox*>(w))
            value = FromQ(c->currentText());
        return;
    }
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(ToQ(value));
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        p->setPlainText(ToEditText(value));
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(ToQ(value));
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(ToQ(value));
}

void DDX_Radio(CDataExchange* dx, int firstId, int& index) {
    auto* first = qobject_cast<QRadioButton*>(dx->m_pDlgWnd->GetDlgItem(firstId));
    if (!first || !first->group()) return;
    const QList<QAbstractButton*> buttons = first->group()->buttons();
    if (dx->m_bSaveAndValidate) {
        index = -1;
        for (int i = 0; i < buttons.size(); ++i) {
            if (buttons[i]->isChecked()) index = i;
        }
        return;
    }
    if (index >= 0 && index < buttons.size()) {
        buttons[index]->setChecked(true);
    } else if (QAbstractButton* checked = first->group()->checkedButton()) {
        first->group()->setExclusive(false);
        checked->setChecked(false);
        first->group()->setExclusive(true);
    }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
    auto* combo = qobject_cast<QComboBox*>(dx->m_pDlgWnd->GetDlgItem(id));
    if (!combo) return;
    if (dx->m_bSaveAndValidate)
        index = combo->currentIndex();
    else
        combo->setCurrentIndex(index);
}

CDialog::CDialog(int templateId, QWidget* parent)
    : QDialog(parent), m_template(res::FindDialogTemplate(templateId)) {
    DialogKeyFilter::Install();
}

CDialog::~CDialog() {
    std::erase(g_modalRuns, this);
}

bool CDialog::Build(QWidget* parent) {
    if (m_built) return true;
    if (!m_template) return false;
    const res::DialogTemplate& t = *m_template;
    const bool panel = (t.style & res::kDlgChild) != 0;
    if (panel) {
        setParent(parent, Qt::Widget);
        setAutoFillBackground(true);
        hide();  // explicitly: else it would show with its parent
    } else {
        if (parent != parentWidget()) setParent(parent);
        Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (t.style & res::kDlgSysMenu)
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (t.style & res::kDlgMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
        setWindowFlags(flags);
        setWindowTitle(QString::fromStdString(t.title));
        setWindowIcon(ui::AppIcon());
        setSizeGripEnabled(false);
    }
    const QFont font = ui::TemplateFont(t);
    setFont(font);
    m_units = ui::DialogUnits::FromFont(font);

    int menuHeight = 0;
    if (t.menuId != 0) {
        if (const res::MenuTemplate* menu = res::FindMenuTemplate(t.menuId)) {
            m_menuBar = new QMenuBar(this);
            for (const res::MenuPopup& popup : menu->popups) {
                QMenu* m = m_menuBar->addMenu(QString::fromStdString(popup.text));
                for (const res::MenuItem& item : popup.items) {
                    if (item.id == 0) {
                        m->addSeparator();
                        continue;
                    }
                    QAction* action = m->addAction(QString::fromStdString(item.text));
                    action->setData(item.id);
                    const int id = item.id;
                    connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
                }
            }
            menuHeight = m_menuBar->sizeHint().height();
            m_menuBar->setGeometry(0, 0, m_units.X(t.cx), menuHeight);
        }
    }
    if (m_menuBar) {
        m_client = new QWidget(this);
        m_client->setGeometry(0, menuHeight, m_units.X(t.cx), m_units.Y(t.cy));
    } else {
        m_client = this;
    }
    m_controls = ui::BuildControls(m_client, t, m_units);
    for (const auto& [id, w] : m_controls) {
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const int commandId = id;
            connect(button, &QAbstractButton::clicked, this,
                    [this, commandId] { RouteCommand(commandId); });
        }
    }
    const QSize size(m_units.X(t.cx), m_units.Y(t.cy) + menuHeight);
    if (panel)
        resize(size);
    else
        setFixedSize(size);
    m_built = true;
    return OnCreate();
}

void CDialog::CenterOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

int CDialog::DoModal() {
    if (g_programEnded) return -1;
    if (!Build(parentWidget())) return -1;
    m_result = -1;
    setWindowModality(Qt::ApplicationModal);
    g_modalRuns.push_back(this);
    const bool defaultFocus = OnInitDialog();
    // A dialog ended during its initialisation never shows.
    const bool ended = m_result != -1 || g_programEnded;
    if (!ended) {
        if (m_template->style & res::kDlgCenter) CenterOnScreen();
        show();
        if (defaultFocus) focusNextChild();
        activateWindow();
        QEventLoop loop;
        m_loop = &loop;
        loop.exec(QEventLoop::DialogExec);
        m_loop = nullptr;
    }
    hide();
    std::erase(g_modalRuns, this);
    return m_result;
}

bool CDialog::Create(QWidget* parent) {
    if (!Build(parent)) return false;
    OnInitDialog();
    if (m_template->style & res::kDlgVisible) {
        if (m_template->style & res::kDlgCenter) CenterOnScreen();
        show();
    }
    return true;
}

void CDialog::EndDialog(int result) {
    m_result = result;
    hide();
    if (m_loop) m_loop->exit(result);
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return true;
}

QWidget* CDialog::GetDlgItem(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CDialog::RouteCommand(int id) {
    if (OnCommand(id)) return;
    if (CWinApp* app = CWinApp::Instance()) app->OnCommand(id);
}

void CDialog::EndProgram(int exitCode) {
    g_programEnded = true;
    g_exitCode = exitCode;
    const std::vector<CDialog*> runs = g_modalRuns;
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) (*it)->EndDialog(res::kIdCancel);
}

bool CDialog::ProgramEnded() {
    return g_programEnded;
}
void CDialog::ResetProgramEnd() {
    g_programEnded = false;
    g_exitCode = 0;
}
int CDialog::ExitCode() {
    return g_exitCode;
}

bool CDialog::PreTranslateKey(QWidget*, QKeyEvent*) {
    return false;
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(res::kIdOk);
}

void CDialog::OnCancel() {
    EndDialog(res::kIdCancel);
}

void CDialog::OnClose() {
    OnCancel();
}

bool CDialog::OnCommand(int id) {
    if (id == res::kIdOk) {
        OnOK();
        return true;
    }
    if (id == res::kIdCancel) {
        OnCancel();
        return true;
    }
    return false;
}

void CDialog::HandleDialogKey(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        RouteCommand(res::kIdCancel);
        return;
    }
    // Enter: a focused push button, else the default button, else OK.
    if (auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
        focused && focused->window() == window() && focused->isEnabled()) {
        focused->click();
        return;
    }
    for (const auto& [id, w] : m_controls) {
        if (w->property(ui::kDefaultButtonProperty).toBool()) {
            if (auto* button = qobject_cast<QPushButton*>(w); button && button->isEnabled()) {
                button->click();
            }
            return;
        }
    }
    RouteCommand(res::kIdOk);
}

void CDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnClose();
}

void CDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CDialog::reject() {
    RouteCommand(res::kIdCancel);
}

void CDialog::accept() {
    RouteCommand(res::kIdOk);
}
