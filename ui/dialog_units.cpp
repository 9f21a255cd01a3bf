#include "ui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace ui {

DialogUnits DialogUnits::FromFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits units;
    units.baseX = (alphabet / 26 + 1) / 2;
    units.baseY = metrics.height();
    if (units.baseX < 1) units.baseX = 1;
    if (units.baseY < 1) units.baseY = 1;
    return units;
}

QFont TemplateFont(const res::DialogTemplate& dialog) {
    // Metric twins where we have them: Liberation Sans for the classic dialog face, DejaVu Sans
    // (Verdana's design sibling) for Verdana; anything else falls back to the desktop's sans.
    QString family = QString::fromStdString(dialog.fontFace);
    if (family == "MS Sans Serif" || family == "MS Shell Dlg" || family == "Arial") {
        family = QStringLiteral("Liberation Sans");
    } else if (family == "Verdana" || family == "Tahoma") {
        family = QStringLiteral("DejaVu Sans");
    }
    if (!QFontDatabase::families().contains(family)) family = QStringLiteral("Sans Serif");

    double dpi = 96.0;
    if (QScreen* screen = QGuiApplication::primaryScreen()) dpi = screen->logicalDotsPerInchY();
    QFont font(family);
    font.setPixelSize(static_cast<int>(std::lround(dialog.fontPoints * dpi / 72.0)));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace ui
