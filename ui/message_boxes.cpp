#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

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

}  // namespace

void InstallMessageBoxes() {
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
