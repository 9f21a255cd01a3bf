#include "ui/text_view_widget.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "device/continuous_parser.h"

namespace {

// What the edit must show for a text of the program: CR LF, and a CR alone, break the line.
std::string Shown(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    for (char& c : text) c = c == '\r' ? '\n' : c;
    return text;
}

struct Change {
    size_t drop;
    std::string add;
};

class TextViewWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        page.resize(300, 260);
        edit = new QPlainTextEdit(&page);
        edit->setGeometry(10, 10, 260, 216);
        page.show();
        view = std::make_unique<ui::TextViewWidget>(edit);
    }
    // The text after `change`, handed to the view as the tick hands it over.
    void Apply(const Change& change) {
        text.erase(0, change.drop);
        text += change.add;
        view->ShowAppended(text, change.drop, change.add.size());
    }
    bool AtEnd() const {
        return edit->verticalScrollBar()->value() == edit->verticalScrollBar()->maximum();
    }

    QWidget page;
    QPlainTextEdit* edit = nullptr;
    std::unique_ptr<ui::TextViewWidget> view;
    std::string text;
};

TEST_F(TextViewWidgetTest, Shows_after_each_change_exactly_the_text_it_was_given) {
    const std::vector<std::vector<Change>> cases = {
        {{0, "12.000000\r\n"}, {0, "3.500000\r\n-1.250000\r\n"}},
        {{0, "ab\r\ncd\r\n"}, {3, "ef\r\n"}},  // a cut between CR and LF
        {{0, "x\r"}, {0, "\ny\r\n"}},          // a CR shown, its LF later
        {{0, "ab\r\n"}, {4, "cd\r\n"}},        // nothing of the old text left
        {{0, "one\r\ntwo\r\n"}, {0, "\r\r"}, {5, "three"}},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        view->SetText("");
        text.clear();
        for (const Change& change : cases[c]) {
            Apply(change);
            view->Flush();
            EXPECT_EQ(edit->toPlainText().toStdString(), Shown(text)) << "case " << c;
        }
    }
}

TEST_F(TextViewWidgetTest, A_read_out_trimmed_past_2000_characters_stays_exact_and_at_its_end) {
    char line[32];
    int k = 0;
    for (int step = 0; step < 60; ++step) {
        std::string lines;
        for (int i = 0; i < 15; ++i, ++k) {
            std::snprintf(line, sizeof line, "%f\r\n", (k % 7 - 3) * 4.25 + k * 0.001);
            lines += line;
        }
        const size_t before = text.size();
        device::AppendReadoutLines(text, lines);
        view->ShowAppended(text, before + lines.size() - text.size(), lines.size());
        if (step % 3 == 0) continue;  // two steps before the edit takes one: the newest wins
        view->Flush();
        ASSERT_EQ(edit->toPlainText().toStdString(), Shown(text)) << "step " << step;
        EXPECT_TRUE(AtEnd()) << "step " << step;
    }
}

TEST_F(TextViewWidgetTest, After_the_edit_was_changed_elsewhere_the_next_update_shows_all) {
    Apply({0, "kept\r\n"});
    view->Flush();
    edit->setPlainText(QString());  // a data exchange blanks it; a user may type into it
    Apply({0, "new\r\n"});
    view->Flush();
    EXPECT_EQ(edit->toPlainText().toStdString(), Shown("kept\r\nnew\r\n"));
    edit->insertPlainText(QStringLiteral("typed"));
    Apply({4, "more\r\n"});
    view->Flush();
    EXPECT_EQ(edit->toPlainText().toStdString(), Shown(text));
}

// Paint events per widget.
class PaintCounter : public QObject {
public:
    std::map<QObject*, int> paints;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints[watched];
        return false;
    }
};

TEST_F(TextViewWidgetTest, A_line_more_repaints_the_text_but_not_the_scroll_bar_or_what_is_behind) {
    const std::string line = "12.000000\r\n";
    std::string lines;
    for (int i = 0; i < 15; ++i) lines += line;
    while (text.size() < 2000) Apply({0, line});
    view->Flush();
    PaintCounter counter;
    for (QObject* o : {static_cast<QObject*>(&page), static_cast<QObject*>(edit),
                       static_cast<QObject*>(edit->viewport()),
                       static_cast<QObject*>(edit->verticalScrollBar())}) {
        o->installEventFilter(&counter);
    }
    // One update of the viewport alone, and its paint.
    const auto viewportPainted = [&] {
        const int before = counter.paints[edit->viewport()];
        edit->viewport()->update();
        return QTest::qWaitFor([&] { return counter.paints[edit->viewport()] > before; }, 5000);
    };
    const auto others = [&] {
        return counter.paints[&page] + counter.paints[edit] +
               counter.paints[edit->verticalScrollBar()];
    };
    // The window's first paints (shown, activated) come in passes of their own: the viewport is
    // repainted alone until a pass paints nothing else.
    const auto settled = [&] {
        for (int pass = 0; pass < 20; ++pass) {
            const int before = others();
            if (!viewportPainted()) return false;
            if (others() == before) return true;
        }
        return false;
    };
    ASSERT_TRUE(settled());
    counter.paints.clear();
    // One line more than went out at the front: the range grows, the slider stays where it was.
    Apply({lines.size() - line.size(), lines});
    view->Flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints[edit->viewport()] > 0; }, 5000));
    // Whatever else the line made dirty is painted by the next pass at the latest.
    ASSERT_TRUE(viewportPainted());
    EXPECT_EQ(counter.paints[edit->verticalScrollBar()], 0);
    EXPECT_EQ(counter.paints[edit], 0);
    EXPECT_EQ(counter.paints[&page], 0);
    EXPECT_TRUE(AtEnd());
}

}  // namespace
