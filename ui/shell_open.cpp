#include "ui/shell_open.h"

#include <QDesktopServices>
#include <QUrl>
#include <utility>

namespace ui {
namespace {
ShellOpenFunction g_function;
}

bool ShellOpen(const std::string& target) {
    if (g_function) return g_function(target);
    const QString text = QString::fromLocal8Bit(target.c_str());
    const QUrl url = text.contains(QStringLiteral("://")) ? QUrl(text) : QUrl::fromLocalFile(text);
    return QDesktopServices::openUrl(url);
}

ShellOpenFunction SetShellOpenFunction(ShellOpenFunction function) {
    return std::exchange(g_function, std::move(function));
}

}  // namespace ui
