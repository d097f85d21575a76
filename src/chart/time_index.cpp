#include "chart/time_index.h"

#include <algorithm>
#include <new>

#include "common/text_format.h"
#include "fs/file_item.h"
#include "fs/file_tree.h"

namespace delvora {
namespace {

TimeNode& FindOrInsert(TimeNode& node, int32_t value) {
    auto it = std::lower_bound(node.children.begin(), node.children.end(), value,
                               [](const TimeNode& child, int32_t v) { return child.value < v; });
    if (it != node.children.end() && it->value == value) return *it;
    it = node.children.insert(it, TimeNode{});
    it->value = value;
    return *it;
}

/// atoi over a slice: blanks, a sign, then digits as far as they go.
int SliceNumber(std::string_view text, size_t at, size_t length) {
    std::string_view s = text.substr(at, length);
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    int value = 0;
    // At most four digits: the slice bounds the loop.
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) value = value * 10 + (s[i] - '0');
    return negative ? -value : value;
}

void AddItemTimes(TimeIndex& index, FileItem& item) {
    if (index.switches.created) index.AddTime(&item, item.createDate, item.createTime, kTimeCreated);
    if (index.switches.modified) index.AddTime(&item, item.writeDate, item.writeTime, kTimeModified);
    if (index.switches.accessed) index.AddTime(&item, item.accessDate, 0, kTimeAccessed);
}

}  // namespace

void TimeIndex::Clear() {
    m_root = TimeNode{};
    m_entries = 0;
}

bool TimeIndex::AddTime(FileItem* file, uint16_t date, uint16_t time, uint8_t kind) {
    date = ValidDosDate(date);
    if (!file || date == 0 || Full()) return false;
    time = ValidDosTime(time);
    try {
        // Calendar fan-out bounds every children array (128 years, 12
        // months, 31 days, 24 hours, 60 minutes, 30 two-second steps).
        TimeNode* node = &FindOrInsert(m_root, 1980 + (date >> 9));
        node = &FindOrInsert(*node, (date >> 5) & 0x0F);
        node = &FindOrInsert(*node, date & 0x1F);
        if (time != 0) {
            node = &FindOrInsert(*node, time >> 11);
            node = &FindOrInsert(*node, (time >> 5) & 0x3F);
            node = &FindOrInsert(*node, (time & 0x1F) * 2);
        }
        node->items.push_back({file, kind});
        ++m_entries;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool TimeIndex::BuildTimeIndex(FileItem* item, bool recurse) {
    if (!item) return true;
    if (!item->IsDirectory()) {
        AddItemTimes(*this, *item);
    } else if (recurse) {
        ForEachBelow(*item, [&](FileItem& child) {
            if (!child.IsDirectory()) AddItemTimes(*this, child);
            return !Full();
        });
    } else {
        for (uint32_t i = 0; i < item->childCount && item->children && !Full(); ++i)
            if (!item->children[i].IsDirectory()) AddItemTimes(*this, item->children[i]);
    }
    return !Full();
}

std::vector<TimeEntry> CollectItems(const TimeNode& node) {
    std::vector<TimeEntry> out;
    std::vector<const TimeNode*> stack{&node};
    // Each node is pushed once: the tree has at most six levels below it.
    while (!stack.empty()) {
        const TimeNode* n = stack.back();
        stack.pop_back();
        out.insert(out.end(), n->items.begin(), n->items.end());
        for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) stack.push_back(&*it);
    }
    return out;
}

const TimeNode* FindChild(const TimeNode& node, int32_t value) {
    auto it = std::lower_bound(node.children.begin(), node.children.end(), value,
                               [](const TimeNode& child, int32_t v) { return child.value < v; });
    return it != node.children.end() && it->value == value ? &*it : nullptr;
}

std::optional<TimeQuery> ParseTimeQuery(std::string_view text) {
    if (text.size() != 19) return std::nullopt;
    TimeQuery q;
    q.year = SliceNumber(text, 0, 4);
    q.month = std::max(SliceNumber(text, 5, 2) - 1, 0);
    q.day = std::max(SliceNumber(text, 8, 2) - 1, 0);
    q.hour = std::max(SliceNumber(text, 11, 2), 0);
    q.minute = std::max(SliceNumber(text, 14, 2), 0);
    q.second = std::max(SliceNumber(text, 17, 2), 0);
    return q;
}

std::optional<uint64_t> QueryColumn(const TimeNode& root, const TimeQuery& query, int level) {
    auto it = std::lower_bound(root.children.begin(), root.children.end(), query.year,
                               [](const TimeNode& child, int32_t v) { return child.value < v; });
    if (it == root.children.end() || it->value != query.year || level < 0 || level >= kTimeLevels)
        return std::nullopt;
    const uint64_t i = static_cast<uint64_t>(it - root.children.begin());
    if (level == 0) return i * 12;
    uint64_t column = i * 372 + uint64_t(query.month) * 31 + uint64_t(query.day);
    if (level >= 2) column = column * 24 + uint64_t(query.hour);
    if (level >= 3) column = column * 60 + uint64_t(query.minute);
    if (level >= 4) column = column * 60 + uint64_t(query.second);
    return column;
}

CalendarCell ColumnToCalendar(uint64_t column, int level, int row) {
    CalendarCell c;
    level = std::clamp(level, 0, kTimeLevels - 1);
    c.yearIndex = static_cast<size_t>(column / kColumnsPerYear[level]);
    uint64_t rest = column % kColumnsPerYear[level];
    if (level == 0) {
        c.month = static_cast<int>(rest);
        c.day = row;
        return c;
    }
    if (level >= 4) { c.second = static_cast<int>(rest % 60); rest /= 60; }
    if (level >= 3) { c.minute = static_cast<int>(rest % 60); rest /= 60; }
    if (level >= 2) { c.hour = static_cast<int>(rest % 24); rest /= 24; }
    else c.hour = row;
    c.month = static_cast<int>(rest / 31);
    c.day = static_cast<int>(rest % 31);
    return c;
}

const TimeNode* CellNode(const TimeNode& root, int level, uint64_t column, int row) {
    if (level < 0 || level >= kTimeLevels || row < 0 || row >= kRowsOfLevel[level]) return nullptr;
    const CalendarCell c = ColumnToCalendar(column, level, row);
    if (c.yearIndex >= root.children.size()) return nullptr;
    const TimeNode* node = FindChild(root.children[c.yearIndex], c.month + 1);
    if (node) node = FindChild(*node, c.day + 1);
    if (level == 0 || !node) return node;
    node = FindChild(*node, c.hour);
    if (level == 1 || level == 2 || !node) return node;
    node = FindChild(*node, c.minute);
    if (level == 3 || !node) return node;
    return FindChild(*node, c.second);
}

}  // namespace delvora
