#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include "res/resource_ids.h"
#include "ui/program_main.h"
#include "ui/template_builder.h"

// zel-demo for the exit-code tests, with one option more: --autoclose intro presses Escape in the
// introduction dialog; --autoclose port presses Enter there and then Exit in the port dialog.

namespace {

// Each look is a fresh single shot, since the Enter runs the port dialog nested inside the call
// that sent it.
void ScheduleAutoClose(const QString& where) {
    QTimer::singleShot(20, qApp, [where] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->windowTitle() == QStringLiteral("Open Communication Port")) {
            if (auto* exitButton =
                    qobject_cast<QPushButton*>(ui::FindControl(modal, res::kIdcPortExit))) {
                exitButton->click();
                return;
            }
        }
        ScheduleAutoClose(where);
        if (modal && modal->windowTitle().startsWith(QStringLiteral("Velmarin"))) {
            const int key = where == QStringLiteral("intro") ? Qt::Key_Escape : Qt::Key_Return;
            QWidget* target = modal->focusWidget() ? modal->focusWidget() : modal;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(target, &press);
        }
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    QCommandLineOption autoClose(QStringLiteral("autoclose"), QString(), QStringLiteral("WHERE"));
    autoClose.setFlags(QCommandLineOption::HiddenFromHelp);
    ui::StartUpExtras extras;
    extras.addOptions = [&autoClose](QCommandLineParser& parser) { parser.addOption(autoClose); };
    extras.beforeIntroduction = [&autoClose](const QCommandLineParser& parser) {
        if (parser.isSet(autoClose)) ScheduleAutoClose(parser.value(autoClose));
    };
    return ui::RunProgram(argc, argv, extras);
}
