#include "ui/enable_group_box.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QWidget>

namespace {

// A panel with an outer box holding a nested box; controls wholly inside, partly inside, outside.
struct Panel {
    QWidget parent;
    CEnableGroupBox* outer = new CEnableGroupBox("outer", &parent);
    CEnableGroupBox* inner = new CEnableGroupBox("inner", &parent);
    QPushButton* inOuter = new QPushButton("a", &parent);
    QPushButton* inInner = new QPushButton("b", &parent);
    QPushButton* straddling = new QPushButton("c", &parent);
    QPushButton* outside = new QPushButton("d", &parent);
    QPushButton* touchingRight = new QPushButton("e", &parent);

    Panel() {
        outer->setGeometry(10, 10, 200, 150);  // 10..209 x 10..159
        inner->setGeometry(20, 40, 100, 100);  // 20..119 x 40..139
        inOuter->setGeometry(130, 20, 60, 20);
        inInner->setGeometry(30, 60, 60, 20);
        straddling->setGeometry(180, 100, 60, 20);  // right part outside
        outside->setGeometry(220, 20, 40, 20);
        // Its bottom-right corner (210, 60) lies on the box's right edge, which counts as outside.
        touchingRight->setGeometry(150, 40, 60, 20);
    }
};

TEST(EnableGroupBox, Disabling_passes_to_the_controls_wholly_inside_and_through_nested_boxes) {
    Panel p;
    p.outer->setEnabled(false);
    EXPECT_FALSE(p.inOuter->isEnabled());
    EXPECT_FALSE(p.inner->isEnabled());
    EXPECT_FALSE(p.inInner->isEnabled());
    EXPECT_TRUE(p.straddling->isEnabled());
    EXPECT_TRUE(p.outside->isEnabled());
    EXPECT_TRUE(p.touchingRight->isEnabled());
}

TEST(EnableGroupBox, Enabling_the_outer_box_enables_the_nested_contents_again) {
    Panel p;
    p.inner->setEnabled(false);
    EXPECT_FALSE(p.inInner->isEnabled());
    EXPECT_TRUE(p.inOuter->isEnabled());
    p.outer->setEnabled(false);
    p.outer->setEnabled(true);
    EXPECT_TRUE(p.inner->isEnabled());
    EXPECT_TRUE(p.inInner->isEnabled());
    EXPECT_TRUE(p.inOuter->isEnabled());
}

TEST(EnableGroupBox, A_control_only_partly_inside_keeps_its_own_state) {
    Panel p;
    p.straddling->setEnabled(false);
    p.outer->setEnabled(false);
    p.outer->setEnabled(true);
    EXPECT_FALSE(p.straddling->isEnabled());
}

TEST(EnableGroupBox, Counts_the_left_and_top_edges_inside_and_the_right_and_bottom_edges_outside) {
    Panel p;
    EXPECT_TRUE(p.outer->Encloses(QRect(10, 10, 199, 149)));
    EXPECT_FALSE(p.outer->Encloses(QRect(10, 10, 200, 149)));
    EXPECT_FALSE(p.outer->Encloses(QRect(10, 10, 199, 150)));
    EXPECT_FALSE(p.outer->Encloses(QRect(9, 10, 20, 20)));
}

}  // namespace
