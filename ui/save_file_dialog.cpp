#include "ui/save_file_dialog.h"

#include <QFileDialog>
#include <utility>

namespace ui {
namespace {

SaveFileFunction g_function;

bool RealDialog(QWidget* owner, const SaveFileRequest& request, std::string* path) {
    QFileDialog dialog(owner, QString::fromStdString(request.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultSuffix));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    *path = dialog.selectedFiles().first().toLocal8Bit().toStdString();
    return true;
}

}  // namespace

bool RunSaveFileDialog(QWidget* owner, const SaveFileRequest& request, std::string* path) {
    if (g_function) return g_function(owner, request, path);
    return RealDialog(owner, request, path);
}

SaveFileFunction SetSaveFileFunction(SaveFileFunction function) {
    return std::exchange(g_function, std::move(function));
}

}  // namespace ui
