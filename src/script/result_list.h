#pragma once
// The rows and columns a script writes into its result list: plain data that
// the script view shows and the command line prints. No widgets here.
#include <cstddef>
#include <string>
#include <vector>

namespace delvora {

class ResultList {
public:
    /// A script may add rows without end; beyond this many the list refuses
    /// more, so that a runaway loop cannot take all memory.
    static constexpr size_t kMaxRows = 1 << 20;
    static constexpr size_t kMaxColumns = 1024;

    /// Inserts a column titled name at nCol (past the end: appended); the
    /// cells of existing rows move with their columns. False when full.
    bool InsertColumn(int nCol, std::string name);
    /// Removes every column and every row, whatever nCol names.
    void DeleteColumn(int nCol);
    void DeleteAllItems();
    /// Inserts a row at nItem (past the end or negative: appended) whose
    /// first cell is text. False when the list holds kMaxRows rows.
    bool InsertItem(int nItem, std::string text);
    /// Sets one cell; a row or column that does not exist is left alone.
    bool SetItemText(int nItem, int nCol, std::string text);
    /// The cell's text; empty for a cell that does not exist.
    std::string GetItemText(int nItem, int nCol) const;

    /// Bytes of text the list holds, which count against a run's memory allowance.
    size_t TextBytes() const { return m_nBytes; }
    size_t ColumnCount() const { return m_columns.size(); }
    size_t ItemCount() const { return m_rows.size(); }
    const std::vector<std::string>& Columns() const { return m_columns; }
    const std::vector<std::vector<std::string>>& Rows() const { return m_rows; }

private:
    std::vector<std::string> m_columns;
    std::vector<std::vector<std::string>> m_rows;
    size_t m_nBytes = 0;
};

}  // namespace delvora
