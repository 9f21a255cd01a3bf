#pragma once

#include <memory>
#include <string>

#include "ui/dialog.h"
#include "ui/table_view_widget.h"

class QMenu;
class QTableWidget;

// The "EEPROM" tab: the read-out's 64 rows in a report list; rows can be selected, copied as
// TAB-separated text and all selected.
class CEepromPage : public CDialog {
    Q_OBJECT
public:
    CEepromPage();
    ~CEepromPage() override;

    void CopySelection();
    void SelectAllRows();

    // Menu 146 with Copy and Select All grayed as the list's selection says. The caller owns it.
    QMenu* BuildContextMenu();
    // The context menu for a request at `globalPos`; shown only inside the list's rectangle.
    void OnContextMenu(const QPoint& globalPos);

    bool PreTranslateKey(QWidget* target, QKeyEvent* event) override;

    ui::TableViewWidget* ListView() { return m_listView.get(); }

    QTableWidget* m_list = nullptr;  // control 1094

protected:
    void DoDataExchange(CDataExchange* dx) override;
    bool OnInitDialog() override;
    bool OnCommand(int id) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::unique_ptr<ui::TableViewWidget> m_listView;
};

extern CEepromPage* g_eepromPage;
// The text the last Copy assembled.
extern std::string g_clipboardText;
