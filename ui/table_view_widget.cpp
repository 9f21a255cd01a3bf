#include "ui/table_view_widget.h"

#include <QHeaderView>
#include <QTableWidget>

namespace ui {

void TableViewWidget::SetFocus() {
    m_list->setFocus();
}

void TableViewWidget::DeleteAllItems() {
    m_list->setRowCount(0);
}

void TableViewWidget::InsertColumn(int column, const std::string& title, int widthPixels) {
    column = std::clamp(column, 0, m_list->columnCount());
    m_list->insertColumn(column);
    auto* header = new QTableWidgetItem(QString::fromLatin1(title.c_str()));
    header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->setHorizontalHeaderItem(column, header);
    m_list->setColumnWidth(column, widthPixels);
}

void TableViewWidget::SetGridLinesAndFullRowSelect() {
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
}

int TableViewWidget::InsertItem() {
    const int row = m_list->rowCount();
    m_list->insertRow(row);
    for (int c = 0; c < m_list->columnCount(); ++c) m_list->setItem(row, c, new QTableWidgetItem);
    return row;
}

void TableViewWidget::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= m_list->rowCount() || column < 0 || column >= m_list->columnCount())
        return;
    QTableWidgetItem* item = m_list->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        m_list->setItem(row, column, item);
    }
    item->setText(QString::fromLatin1(text.c_str()));
}

}  // namespace ui
