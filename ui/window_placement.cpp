#include "ui/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ui {
namespace {

constexpr int kGap = 8;  // pixels between the owner's frame and the window's

// Where the user left each tool window, by its class: for this run of the program only.
QHash<QByteArray, QPoint>& LeftAt() {
    static QHash<QByteArray, QPoint> places;
    return places;
}

// Notes a tool window's place whenever it moves while shown, unless it is where it was put.
class MoveWatch : public QObject {
public:
    static constexpr const char* kName = "windowPlacementMoveWatch";
    MoveWatch(QWidget* window, QPoint placed) : QObject(window), m_placed(placed) {
        setObjectName(QString::fromLatin1(kName));
    }
    void Placed(QPoint at) { m_placed = at; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* window = static_cast<QWidget*>(object);
        if (event->type() == QEvent::Move && window->isVisible() && window->pos() != m_placed)
            LeftAt().insert(window->metaObject()->className(), window->pos());
        return false;
    }

private:
    QPoint m_placed;
};

}  // namespace

std::optional<QPoint> PlaceBeside(const QRect& owner, QSize frame, const QRect& screen,
                                  const std::vector<QRect>& taken) {
    std::vector<QPoint> candidates;
    // To the right, top edges level, then below each window already there; the same below.
    const int right = owner.right() + 1 + kGap, below = owner.bottom() + 1 + kGap;
    candidates.emplace_back(right, owner.top());
    for (const QRect& t : taken) candidates.emplace_back(right, t.bottom() + 1 + kGap);
    candidates.emplace_back(owner.left(), below);
    for (const QRect& t : taken) candidates.emplace_back(t.right() + 1 + kGap, below);

    std::optional<QPoint> fallback;
    for (size_t i = 0; i < candidates.size(); ++i) {
        QRect place(candidates[i], frame);
        // Slid along the owner's edge to stay on the screen, never away from the owner.
        const bool onRight = i <= taken.size();
        if (onRight && place.bottom() > screen.bottom())
            place.moveBottom(std::max(screen.bottom(), screen.top() + frame.height() - 1));
        if (!onRight && place.right() > screen.right())
            place.moveRight(std::max(screen.right(), screen.left() + frame.width() - 1));
        if (!screen.contains(place) || place.intersects(owner)) continue;
        const bool free = std::none_of(taken.begin(), taken.end(),
                                       [&](const QRect& t) { return place.intersects(t); });
        if (free) return place.topLeft();
        if (!fallback) fallback = place.topLeft();
    }
    return fallback;
}

void ShowBeside(QWidget* window, const QWidget* owner, const std::vector<const QWidget*>& others) {
    if (!window->isVisible()) {
        // Found by name: a class without Q_OBJECT cannot be told apart by qobject_cast.
        auto* watch = static_cast<MoveWatch*>(window->findChild<QObject*>(
            QString::fromLatin1(MoveWatch::kName), Qt::FindDirectChildrenOnly));
        const auto left = LeftAt().constFind(window->metaObject()->className());
        if (left != LeftAt().constEnd() && QGuiApplication::screenAt(*left)) {
            window->move(*left);
        } else if (QScreen* screen = owner->screen()) {
            // Before the first show the window has no frame yet: the owner's tells its size.
            const QSize margins = owner->frameGeometry().size() - owner->size();
            std::vector<QRect> taken;
            for (const QWidget* other : others) {
                if (other && other != window && other->isVisible())
                    taken.push_back(other->frameGeometry());
            }
            if (const auto at = PlaceBeside(owner->frameGeometry(), window->size() + margins,
                                            screen->availableGeometry(), taken)) {
                window->move(*at);
            }
        }
        if (!watch) {
            watch = new MoveWatch(window, window->pos());
            window->installEventFilter(watch);
        }
        watch->Placed(window->pos());
    }
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace ui
