#include "script/result_list.h"

#include <algorithm>

namespace delvora {

bool ResultList::InsertColumn(int nCol, std::string name) {
    if (m_columns.size() >= kMaxColumns) return false;
    const size_t at = nCol < 0 ? m_columns.size() : std::min<size_t>(static_cast<size_t>(nCol), m_columns.size());
    m_nBytes += name.size();
    m_columns.insert(m_columns.begin() + static_cast<std::ptrdiff_t>(at), std::move(name));
    // Cells stay under their titles: a row long enough to reach the new
    // column gets an empty cell there.
    for (auto& row : m_rows)
        if (row.size() > at && at > 0) row.insert(row.begin() + static_cast<std::ptrdiff_t>(at), std::string());
    return true;
}

void ResultList::DeleteColumn(int) {
    m_columns.clear();
    m_rows.clear();
    m_nBytes = 0;
}

void ResultList::DeleteAllItems() {
    for (const auto& row : m_rows)
        for (const std::string& cell : row) m_nBytes -= cell.size();
    m_rows.clear();
}

bool ResultList::InsertItem(int nItem, std::string text) {
    if (m_rows.size() >= kMaxRows) return false;
    const size_t at = nItem < 0 ? m_rows.size() : std::min<size_t>(static_cast<size_t>(nItem), m_rows.size());
    m_nBytes += text.size();
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), std::vector<std::string>{std::move(text)});
    return true;
}

bool ResultList::SetItemText(int nItem, int nCol, std::string text) {
    if (nItem < 0 || static_cast<size_t>(nItem) >= m_rows.size() || nCol < 0) return false;
    // The first cell exists without any column, as in a list control.
    const size_t columns = std::max<size_t>(m_columns.size(), 1);
    if (static_cast<size_t>(nCol) >= columns) return false;
    auto& row = m_rows[static_cast<size_t>(nItem)];
    if (row.size() <= static_cast<size_t>(nCol)) row.resize(static_cast<size_t>(nCol) + 1);
    m_nBytes = m_nBytes - row[static_cast<size_t>(nCol)].size() + text.size();
    row[static_cast<size_t>(nCol)] = std::move(text);
    return true;
}

std::string ResultList::GetItemText(int nItem, int nCol) const {
    if (nItem < 0 || static_cast<size_t>(nItem) >= m_rows.size() || nCol < 0) return {};
    const auto& row = m_rows[static_cast<size_t>(nItem)];
    return static_cast<size_t>(nCol) < row.size() ? row[static_cast<size_t>(nCol)] : std::string();
}

}  // namespace delvora
