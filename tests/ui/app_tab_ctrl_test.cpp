#include "ui/app_tab_ctrl.h"

#include <gtest/gtest.h>

#include <QTabBar>
#include <QTest>

namespace {

// A main window with the tab control and two page panels, as the main dialog lays them out.
struct Window {
    QWidget main;
    CAppTabCtrl* tab = new CAppTabCtrl(&main);
    QWidget* command = new QWidget(&main);
    QWidget* eeprom = new QWidget(&main);

    Window() {
        main.resize(600, 500);
        tab->setGeometry(12, 60, 415, 361);
        command->hide();
        eeprom->hide();
        command->setGeometry(0, 0, 10, 10);
        eeprom->setGeometry(0, 0, 10, 10);
        tab->AddPage("Command", command);
        tab->AddPage("EEPROM", eeprom);
        main.show();
    }
    QPoint TabCentre(int i) const { return tab->TabBar()->tabRect(i).center(); }
};

TEST(AppTabCtrl, Adds_pages_without_selecting_or_showing_any) {
    Window w;
    EXPECT_EQ(w.tab->Current(), -1);
    EXPECT_EQ(w.tab->TabBar()->count(), 2);
    EXPECT_EQ(w.tab->TabBar()->tabText(0), "Command");
    EXPECT_EQ(w.tab->TabBar()->tabText(1), "EEPROM");
    EXPECT_FALSE(w.command->isVisible());
    EXPECT_FALSE(w.eeprom->isVisible());
}

TEST(AppTabCtrl, Places_a_page_3_right_and_25_down_with_width_minus_7_and_height_minus_30) {
    Window w;
    w.tab->ShowPage(0);
    EXPECT_EQ(w.command->geometry(), QRect(12 + 3, 60 + 25, 415 - 7, 361 - 30));
    EXPECT_TRUE(w.command->isVisible());
    EXPECT_EQ(w.tab->Current(), 0);
}

TEST(AppTabCtrl, ShowPage_leaves_other_pages_shown_and_ignores_an_index_out_of_range) {
    Window w;
    w.tab->ShowPage(0);
    w.tab->ShowPage(1);
    EXPECT_TRUE(w.command->isVisible());
    EXPECT_TRUE(w.eeprom->isVisible());
    w.tab->ShowPage(2);
    w.tab->ShowPage(-1);
    EXPECT_EQ(w.tab->Current(), 1);
}

TEST(AppTabCtrl, A_click_on_a_tab_hides_every_page_and_shows_the_clicked_one) {
    Window w;
    w.tab->ShowPage(0);
    QTest::mouseClick(w.tab->TabBar(), Qt::LeftButton, {}, w.TabCentre(1));
    EXPECT_EQ(w.tab->Current(), 1);
    EXPECT_FALSE(w.command->isVisible());
    EXPECT_TRUE(w.eeprom->isVisible());
    EXPECT_EQ(w.eeprom->geometry(), QRect(15, 85, 408, 331));
}

TEST(AppTabCtrl, The_keyboard_moves_the_highlight_but_not_the_page_until_the_next_click) {
    Window w;
    w.tab->ShowPage(0);
    w.tab->TabBar()->setFocus();
    QTest::keyClick(w.tab->TabBar(), Qt::Key_Right);
    EXPECT_EQ(w.tab->TabBar()->currentIndex(), 1);
    EXPECT_EQ(w.tab->Current(), 0);
    EXPECT_TRUE(w.command->isVisible());
    EXPECT_FALSE(w.eeprom->isVisible());
    // A click beside the tabs keeps the selection, and places its page.
    QTest::mouseClick(w.tab, Qt::LeftButton, {}, QPoint(200, 200));
    EXPECT_EQ(w.tab->Current(), 1);
    EXPECT_FALSE(w.command->isVisible());
    EXPECT_TRUE(w.eeprom->isVisible());
}

TEST(AppTabCtrl, A_move_before_any_selection_leaves_the_pages_alone) {
    Window w;
    w.tab->OnMove(50, 50);
    EXPECT_EQ(w.command->geometry(), QRect(0, 0, 10, 10));
    EXPECT_FALSE(w.command->isVisible());
}

TEST(AppTabCtrl, A_move_re_places_the_current_page) {
    Window w;
    w.tab->ShowPage(0);
    w.command->setGeometry(0, 0, 10, 10);
    w.tab->OnMove(50, 50);
    EXPECT_EQ(w.command->geometry(), QRect(15, 85, 408, 331));
}

}  // namespace
