#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// The narrow views through which device/ shows text. The user interface implements them with
// widgets, tests and zelctl with the string-backed versions below.
namespace device {

// A growing text area (the monitor, the pressure read-out). Called from the tick thread as well
// as the user-interface thread: an implementation must never wait for another thread (a widget
// implementation posts the newest text to its own thread and returns).
class TextView {
public:
    virtual ~TextView() = default;
    virtual void SetText(const std::string& text) = 0;  // the whole text, every time
    virtual void ScrollToEnd() = 0;                     // the newest line in view
    // The whole new text, which is the previous one with `dropped` characters gone from its front
    // and the last `appended` characters of `text` added at its end; then the newest line in
    // view. A view may change only those characters; by default SetText and ScrollToEnd.
    virtual void ShowAppended(const std::string& text, size_t dropped, size_t appended) {
        SetText(text);
        ScrollToEnd();
    }
};

// The EEPROM table. Used on the user-interface thread only.
class TableView {
public:
    virtual ~TableView() = default;
    virtual void SetFocus() {}
    virtual void DeleteAllItems() = 0;
    virtual void InsertColumn(int column, const std::string& title, int widthPixels) = 0;
    virtual void SetGridLinesAndFullRowSelect() {}
    virtual int InsertItem() = 0;  // appends an empty row, returns its index
    virtual void SetItemText(int row, int column, const std::string& text) = 0;
};

// Keeps the text in a string; safe to call from any thread.
class StringTextView : public TextView {
public:
    void SetText(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_text = text;
        ++m_setCount;
    }
    void ScrollToEnd() override {
        std::lock_guard lock(m_mutex);
        ++m_scrollCount;
    }
    std::string Text() const {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    int SetCount() const {
        std::lock_guard lock(m_mutex);
        return m_setCount;
    }
    int ScrollCount() const {
        std::lock_guard lock(m_mutex);
        return m_scrollCount;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
    int m_setCount = 0;
    int m_scrollCount = 0;
};

// Keeps the table in vectors of strings.
class StringTableView : public TableView {
public:
    struct Column {
        std::string title;
        int widthPixels = 0;
    };

    void DeleteAllItems() override { m_rows.clear(); }
    void InsertColumn(int column, const std::string& title, int widthPixels) override {
        if (column < 0 || column > static_cast<int>(m_columns.size())) {
            column = static_cast<int>(m_columns.size());
        }
        m_columns.insert(m_columns.begin() + column, Column{title, widthPixels});
    }
    void SetGridLinesAndFullRowSelect() override { m_gridLines = true; }
    int InsertItem() override {
        m_rows.emplace_back(m_columns.size());
        return static_cast<int>(m_rows.size()) - 1;
    }
    void SetItemText(int row, int column, const std::string& text) override {
        if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0) return;
        auto& cells = m_rows[row];
        if (column >= static_cast<int>(cells.size())) cells.resize(column + 1);
        cells[column] = text;
    }

    const std::vector<Column>& Columns() const { return m_columns; }
    const std::vector<std::vector<std::string>>& Rows() const { return m_rows; }
    bool GridLines() const { return m_gridLines; }

private:
    std::vector<Column> m_columns;
    std::vector<std::vector<std::string>> m_rows;
    bool m_gridLines = false;
};

}  // namespace device
