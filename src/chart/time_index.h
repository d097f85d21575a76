#pragma once
// The data behind the time line: a calendar tree (years, months, days,
// hours, minutes, seconds) whose nodes list the files whose created,
// modified or accessed time ends there, the query a user types to jump to a
// time, and how columns of each zoom level map onto the calendar.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace delvora {

struct FileItem;

enum TimeKind : uint8_t { kTimeCreated = 0, kTimeModified = 1, kTimeAccessed = 2 };

struct TimeEntry {
    FileItem* item = nullptr;
    uint8_t kind = kTimeCreated;
    bool operator==(const TimeEntry&) const = default;
};

struct TimeNode {
    int32_t value = 0;               // year, month 1-12, day 1-31, hour, minute or second
    std::vector<TimeNode> children;  // ascending values, none twice
    std::vector<TimeEntry> items;    // the times that end at this node, in indexing order
    uint8_t displayMode = 0;         // set by the drawing: 1 one mark a file, 2 a count
};

/// Which time kinds are indexed.
struct TimeSwitches {
    bool created = true;
    bool modified = true;
    bool accessed = true;
};

class TimeIndex {
public:
    /// The index holds at most this many times; a folder with more files
    /// than can be drawn stops there instead of growing without end.
    static constexpr size_t kMaxEntries = size_t{1} << 20;

    explicit TimeIndex(size_t maxEntries = kMaxEntries) : m_maxEntries(maxEntries) {}
    void Clear();
    /// Files a DOS date and time under year → month → day, and under hour →
    /// minute → second when the time word is not 0 (a time word that names
    /// no time of day counts as 0). False for no date or a full index.
    bool AddTime(FileItem* file, uint16_t date, uint16_t time, uint8_t kind);
    /// A file: its times by the switches. A folder: its files, and with
    /// recurse every file below it. Answers false when the index filled up.
    bool BuildTimeIndex(FileItem* item, bool recurse);

    const TimeNode& Root() const { return m_root; }
    TimeNode& Root() { return m_root; }
    size_t EntryCount() const { return m_entries; }
    bool Full() const { return m_entries >= m_maxEntries; }

    TimeSwitches switches;

private:
    TimeNode m_root;
    size_t m_entries = 0;
    size_t m_maxEntries;
};

/// The node's own items followed by those of its children, depth first.
std::vector<TimeEntry> CollectItems(const TimeNode& node);
/// The child with a value, or null.
const TimeNode* FindChild(const TimeNode& node, int32_t value);

/// Zoom levels: columns stand for months, days (31 a month), hours,
/// minutes, seconds.
inline constexpr int kTimeLevels = 5;
inline constexpr std::array<uint64_t, kTimeLevels> kColumnsPerYear = {12, 372, 8928, 535680, 32140800};
/// Rows of a level: days at level 0, hours at 1, one band below that.
inline constexpr std::array<int, kTimeLevels> kRowsOfLevel = {31, 24, 1, 1, 1};

/// A time typed as "2003-06-29 04:14:26": month and day zero-based.
struct TimeQuery {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
/// Exactly 19 characters, else nullopt. Each field is read as far as its
/// digits go; month and day become zero-based, negatives become 0.
std::optional<TimeQuery> ParseTimeQuery(std::string_view text);
/// The column of a queried time at a level; nullopt when no file has its
/// year. Level 0 answers the year's first column.
std::optional<uint64_t> QueryColumn(const TimeNode& root, const TimeQuery& query, int level);

/// Where a column of a level lies in the calendar: the year's index among
/// the root's children, month and day zero-based.
struct CalendarCell {
    size_t yearIndex = 0;
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
CalendarCell ColumnToCalendar(uint64_t column, int level, int row);
/// The node a cell of a level shows (day at level 0, hour at 1, hour,
/// minute, second at 2 to 4), or null.
const TimeNode* CellNode(const TimeNode& root, int level, uint64_t column, int row);

}  // namespace delvora
