#include "ui/window_placement.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <memory>

#include "ui_test_support.h"

namespace {

TEST(WindowPlacement, Goes_right_of_the_owner_else_below_else_to_the_window_manager) {
    const QRect screen(0, 0, 1280, 900);
    struct Case {
        const char* what;
        QRect owner;
        QSize frame;
        std::vector<QRect> taken;
        std::optional<QPoint> expected;
    } cases[] = {
        {"room on the right", {0, 0, 600, 400}, {400, 300}, {}, QPoint(608, 0)},
        {"right, slid up to stay on the screen", {0, 600, 600, 250}, {400, 400}, {},
         QPoint(608, 500)},
        {"no room right: below", {700, 0, 500, 400}, {400, 300}, {}, QPoint(700, 408)},
        {"below, slid left to stay on the screen", {1000, 0, 280, 400}, {400, 300}, {},
         QPoint(880, 408)},
        {"right, under the window already there", {0, 0, 600, 400}, {300, 200},
         {{608, 0, 400, 300}}, QPoint(608, 308)},
        {"the owner fills the screen", {0, 0, 1280, 900}, {400, 300}, {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto at = ui::PlaceBeside(c.owner, c.frame, screen, c.taken);
        EXPECT_EQ(at, c.expected);
        if (at) {
            EXPECT_FALSE(QRect(*at, c.frame).intersects(c.owner));
            EXPECT_TRUE(screen.contains(QRect(*at, c.frame)));
        }
    }
}

TEST(WindowPlacement, A_window_the_user_moved_reopens_there_even_when_made_anew) {
    QWidget owner;
    owner.resize(200, 150);
    owner.move(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    owner.show();
    auto tool = std::make_unique<QWidget>(&owner, Qt::Window);
    tool->resize(150, 100);
    ui::ShowBeside(tool.get(), &owner, {});
    const QPoint beside = tool->pos();
    EXPECT_FALSE(tool->frameGeometry().intersects(owner.frameGeometry()));

    const QPoint moved = beside + QPoint(20, 200);
    tool->move(moved);
    ASSERT_TRUE(uitest::SpinUntil([&] { return tool->pos() == moved; }));
    tool->hide();
    tool = std::make_unique<QWidget>(&owner, Qt::Window);
    tool->resize(150, 100);
    ui::ShowBeside(tool.get(), &owner, {});
    EXPECT_EQ(tool->pos(), moved);
}

}  // namespace
