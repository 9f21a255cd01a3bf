#pragma once

#include <QIcon>

namespace ui {

// Icon resource 128: the application icon.
QIcon AppIcon();

}  // namespace ui
