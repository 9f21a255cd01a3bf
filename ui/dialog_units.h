#pragma once

#include <QFont>
#include <QRect>

#include "res/dialog_templates.h"

namespace ui {

// Dialog base units of a font, as the platform the templates were drawn for computes them:
// baseX = (width of "A".."Z" "a".."z" / 26 + 1) / 2, baseY = the font's height.
struct DialogUnits {
    int baseX = 6;
    int baseY = 13;

    int X(int dlu) const { return (dlu * baseX + 2) / 4; }
    int Y(int dlu) const { return (dlu * baseY + 4) / 8; }
    QRect Rect(int x, int y, int cx, int cy) const { return QRect(X(x), Y(y), X(cx), Y(cy)); }

    static DialogUnits FromFont(const QFont& font);
};

// The font a template names, resolved to a family that is installed here at the template's
// point size (whole pixels at the screen's logical dpi).
QFont TemplateFont(const res::DialogTemplate& dialog);

}  // namespace ui
