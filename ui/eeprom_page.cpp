#include "ui/eeprom_page.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTableWidget>
#include <set>

#include "device/device_state.h"
#include "device/eeprom_row_text.h"
#include "res/menus.h"
#include "res/resource_ids.h"
#include "ui/command_page.h"
#include "ui/command_table.h"

CEepromPage* g_eepromPage = nullptr;
std::string g_clipboardText;

CEepromPage::CEepromPage() : CDialog(res::kIddEepromPage) {}

CEepromPage::~CEepromPage() {
    if (g_eepromPage == this) g_eepromPage = nullptr;
    if (g_eepromList == m_listView.get()) g_eepromList = nullptr;
}

void CEepromPage::DoDataExchange(CDataExchange*) {
    m_list = Item<QTableWidget>(res::kIdcEepromList);
}

bool CEepromPage::OnInitDialog() {
    CDialog::OnInitDialog();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->setContextMenuPolicy(Qt::DefaultContextMenu);
    m_listView = std::make_unique<ui::TableViewWidget>(m_list);
    return true;
}

bool CEepromPage::OnCommand(int id) {
    static constexpr CommandEntry<CEepromPage> kCommands[] = {
        {res::kCmdCopy, &CEepromPage::CopySelection},
        {res::kCmdSelectAll, &CEepromPage::SelectAllRows},
        {res::kIdOk, nullptr},
        {res::kIdCancel, nullptr},
    };
    return DispatchCommand(this, kCommands, id) || CDialog::OnCommand(id);
}

void CEepromPage::CopySelection() {
    std::set<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    if (rows.empty()) return;
    g_clipboardText.clear();
    for (int row : rows) {
        std::vector<std::string> cells;
        for (int column = 0; column < m_list->columnCount(); ++column) {
            QTableWidgetItem* item = m_list->item(row, column);
            cells.push_back(item ? item->text().toLatin1().toStdString() : std::string());
        }
        g_clipboardText += device::EepromRowLine(cells);
    }
    if (g_commandPageWnd) g_commandPageWnd->CopyToClipboard();
}

void CEepromPage::SelectAllRows() {
    QItemSelectionModel* selection = m_list->selectionModel();
    for (int row = m_list->rowCount() - 1; row >= 0; --row) {
        selection->select(m_list->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

QMenu* CEepromPage::BuildContextMenu() {
    auto* menu = new QMenu(this);
    const res::MenuTemplate* menuTemplate = res::FindMenuTemplate(res::kMenuEepromContext);
    std::set<int> selected;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        selected.insert(index.row());
    const int count = m_list->rowCount();
    for (const res::MenuItem& item : menuTemplate->popups.front().items) {
        if (item.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromStdString(item.text));
        action->setData(item.id);
        if (item.id == res::kCmdCopy && selected.empty()) action->setEnabled(false);
        if (item.id == res::kCmdSelectAll && (count == 0 || int(selected.size()) == count)) {
            action->setEnabled(false);
        }
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    }
    return menu;
}

void CEepromPage::OnContextMenu(const QPoint& globalPos) {
    const QRect listRect(m_list->mapToGlobal(QPoint(0, 0)), m_list->size());
    if (!listRect.contains(globalPos)) return;
    QMenu* menu = BuildContextMenu();
    menu->exec(globalPos);
    delete menu;
}

void CEepromPage::contextMenuEvent(QContextMenuEvent* event) {
    // A request from the keyboard has no pointer position, and shows nothing.
    if (event->reason() == QContextMenuEvent::Keyboard) return;
    OnContextMenu(event->globalPos());
}

bool CEepromPage::PreTranslateKey(QWidget*, QKeyEvent* event) {
    switch (event->key()) {
        // Consumed after their command: the list's type-ahead would select a single row again,
        // and its own Ctrl+C would copy just the current cell.
        case Qt::Key_C:
            CopySelection();
            return true;
        case Qt::Key_A:
            SelectAllRows();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return true;
        default:
            return false;
    }
}
