#include "ui/app_tab_ctrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

CAppTabCtrl::CAppTabCtrl(QWidget* parent) : QWidget(parent), m_bar(new QTabBar(this)) {
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    m_bar->setUsesScrollButtons(false);
    m_bar->setFocusPolicy(Qt::ClickFocus);
    m_bar->installEventFilter(this);
}

void CAppTabCtrl::AddPage(const std::string& title, QWidget* page) {
    m_titles.push_back(title);
    m_pages.push_back(page);
    m_bar->insertTab(Count() - 1, QString::fromStdString(title));
}

void CAppTabCtrl::ShowPage(int index) {
    if (index < 0 || index >= Count()) return;
    m_current = index;
    m_bar->setCurrentIndex(index);
    Place(m_pages[index]);
}

void CAppTabCtrl::OnClick() {
    const int selected = m_bar->currentIndex();
    if (selected < 0 || selected >= Count()) return;
    m_current = selected;
    for (QWidget* page : m_pages) {
        if (page) page->hide();
    }
    Place(m_pages[m_current]);
    window()->activateWindow();
}

void CAppTabCtrl::OnMove(int, int) {
    if (m_current < 0 || m_current >= Count()) return;
    Place(m_pages[m_current]);
    window()->activateWindow();
}

QRect CAppTabCtrl::PageRect(const QWidget* page) const {
    QPoint origin = mapToGlobal(QPoint(0, 0));
    if (page && page->parentWidget()) origin = page->parentWidget()->mapFromGlobal(origin);
    return QRect(origin.x() + 3, origin.y() + 25, width() - 7, height() - 30);
}

void CAppTabCtrl::Place(QWidget* page) {
    if (!page) return;
    page->setGeometry(PageRect(page));
    // Above the tab control, which shares the page's parent.
    page->raise();
    page->show();
}

bool CAppTabCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_bar && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            m_bar->rect().contains(mouse->position().toPoint())) {
            // After the tab bar has taken the click (it selects on the press).
            const bool handled = QWidget::eventFilter(watched, event);
            OnClick();
            return handled;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CAppTabCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    // A click beside the tabs; the tab bar's own clicks come through the filter.
    if (event->button() == Qt::LeftButton && rect().contains(at) &&
        !m_bar->geometry().contains(at)) {
        OnClick();
    }
}

void CAppTabCtrl::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    OnMove(0, 0);
}

void CAppTabCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The tabs fit in the 25 pixels above the pages.
    m_bar->setGeometry(0, 0, width(), std::min(m_bar->sizeHint().height(), 24));
}

void CAppTabCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = QRect(0, m_bar->height() - 1, width(), height() - m_bar->height() + 1);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarRect = m_bar->geometry();
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}
