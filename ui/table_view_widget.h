#pragma once

#include "device/views.h"

class QTableWidget;

namespace ui {

// The device's EEPROM table view on the page's report list. User-interface thread only.
class TableViewWidget : public device::TableView {
public:
    explicit TableViewWidget(QTableWidget* list) : m_list(list) {}

    void SetFocus() override;
    void DeleteAllItems() override;
    void InsertColumn(int column, const std::string& title, int widthPixels) override;
    void SetGridLinesAndFullRowSelect() override;
    int InsertItem() override;
    void SetItemText(int row, int column, const std::string& text) override;

private:
    QTableWidget* m_list;
};

}  // namespace ui
