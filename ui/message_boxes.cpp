#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <vector>

#include "serial/port_probe.h"
#include "ui/message_box.h"

namespace ui {
namespace {

QMessageBox::Icon ToQt(ui::MessageIcon icon) {
    switch (icon) {
        case ui::MessageIcon::Error:
            return QMessageBox::Critical;
        case ui::MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case ui::MessageIcon::Information:
            return QMessageBox::Information;
        case ui::MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

void Show(const ui::MessageBoxRequest& request) {
    QWidget* owner = request.appBox ? QApplication::activeModalWidget() : nullptr;
    QMessageBox box(ToQt(request.icon), QString::fromStdString(request.caption),
                    QString::fromLocal8Bit(request.text.c_str()), QMessageBox::Ok, owner);
    box.exec();
}

int Choose(const ui::MessageBoxRequest& request) {
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
    ui::SetMessageChoiceHandler(Choose);
    ui::SetMessageBoxHandler([](const ui::MessageBoxRequest& request) {
        if (QThread::currentThread() == qApp->thread()) {
            Show(request);
        } else {
            QMetaObject::invokeMethod(
                qApp, [request] { Show(request); }, Qt::QueuedConnection);
        }
    });
}

void ShowPortOpenFailure(const serial::PortOpenResult& result, const std::string& name) {
    switch (result.failure) {
        case serial::PortOpenResult::kNone:
            return;
        case serial::PortOpenResult::kOpen: {
            std::string text = "Error Opening COM Port";
            if (!name.empty())
                text += "\n\n" + serial::DescribeOpenError(result.openError, name, result.holder);
            AppMessageBox(text, MessageIcon::Error);
            return;
        }
        case serial::PortOpenResult::kConfigure:
            SystemMessageBox(result.configureError, "Error", MessageIcon::Error);
            AppMessageBox("Error Setting BaudRate", MessageIcon::Error);
            return;
    }
}

}  // namespace ui
