#include "ui/app_icon.h"

static void InitZelResources() {
    Q_INIT_RESOURCE(zel);
}

namespace ui {

QIcon AppIcon() {
    static const QIcon icon = [] {
        InitZelResources();
        return QIcon(QStringLiteral(":/zel/zel.png"));
    }();
    return icon;
}

}  // namespace ui
