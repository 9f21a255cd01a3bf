#include "ui/enable_group_box.h"

#include <QEvent>

CEnableGroupBox::CEnableGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(title, parent) {}

bool CEnableGroupBox::Encloses(const QRect& r) const {
    const QRect box = geometry();
    // Rectangles as left, top, right, bottom with right and bottom exclusive; a point is inside
    // when left <= x < right and top <= y < bottom.
    auto inside = [&](int x, int y) {
        return x >= box.x() && x < box.x() + box.width() && y >= box.y() &&
               y < box.y() + box.height();
    };
    return inside(r.x(), r.y()) && inside(r.x() + r.width(), r.y() + r.height());
}

void CEnableGroupBox::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    if (event->type() != QEvent::EnabledChange || !parentWidget()) return;
    const bool enabled = isEnabled();
    // Children in stacking order; each is looked at once.
    const QObjectList siblings = parentWidget()->children();
    for (QObject* object : siblings) {
        auto* w = qobject_cast<QWidget*>(object);
        if (!w || w == this || w->isWindow()) continue;
        if (Encloses(w->geometry())) w->setEnabled(enabled);
    }
}
