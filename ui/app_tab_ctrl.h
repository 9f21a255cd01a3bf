#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

class QTabBar;

// The main dialog's tab control. The pages are not its children: they are panels of the main
// dialog that the control lays over its own area, at (left + 3, top + 25) with the control's
// width - 7 and height - 30. Pages switch on a mouse click on the control, not on a change of the
// selection, so the keyboard moves the highlight without switching the page.
class CAppTabCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CAppTabCtrl(QWidget* parent = nullptr);

    void AddPage(const std::string& title, QWidget* page);
    // Selects tab `index` and places its page; other pages stay as they are. Out of range: ignored.
    void ShowPage(int index);
    // The click handler: every page hidden, the selected one placed.
    void OnClick();
    // Re-places the current page (if one was ever selected). The arguments are not used.
    void OnMove(int x, int y);

    int Current() const { return m_current; }
    int Count() const { return static_cast<int>(m_pages.size()); }
    QTabBar* TabBar() const { return m_bar; }
    // Where a page goes, in the coordinates of the page's parent.
    QRect PageRect(const QWidget* page) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Place(QWidget* page);

    std::vector<std::string> m_titles;
    std::vector<QPointer<QWidget>> m_pages;  // not owned: the main dialog deletes them
    int m_current = -1;
    QTabBar* m_bar;
};
