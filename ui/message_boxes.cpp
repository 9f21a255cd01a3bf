#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <vector>

#include "platform/message_box.h"

namespace ui {
namespace {

QMessageBox::Icon ToQt(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Error:
            return QMessageBox::Critical;
        case platform::MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case platform::MessageIcon::Information:
            return QMessageBox::Information;
        case platform::MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

void Show(const platform::MessageBoxRequest& request) {
    QWidget* owner = request.appBox ? QApplication::activeModalWidget() : nullptr;
    QMessageBox box(ToQt(request.icon), QString::fromStdString(request.caption),
                    QString::fromLocal8Bit(request.text.c_str()), QMessageBox::Ok, owner);
    box.exec();
}

int Choose(const platform::MessageBoxRequest& request) {
    QMessageBox box(ToQt(request.icon), QString::fromStdString(request.caption),
                    QString::fromLocal8Bit(request.text.c_str()), QMessageBox::NoButton,
                    QApplication::activeModalWidget());
    std::vector<QPushButton*> buttons;
    for (const std::string& text : request.buttons) {
        buttons.push_back(box.addButton(QString::fromStdString(text), QMessageBox::AcceptRole));
    }
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
    }
    return 0;  // closed otherwise: the first choice
}

}  // namespace

void InstallMessageBoxes() {
    // A choice is asked on the user-interface thread only.
    platform::SetMessageChoiceHandler(Choose);
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& request) {
        if (QThread::currentThread() == qApp->thread()) {
            Show(request);
        } else {
            QMetaObject::invokeMethod(
                qApp, [request] { Show(request); }, Qt::QueuedConnection);
        }
    });
}

}  // namespace ui
