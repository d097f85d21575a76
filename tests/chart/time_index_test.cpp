// The time index: where dates and times end in the calendar tree, shared
// nodes, the typed query, and that a column found for a time leads back to
// its node at every zoom level.
#include <gtest/gtest.h>

#include <vector>

#include "chart/time_index.h"
#include "fs/file_tree.h"

namespace delvora {
namespace {

uint16_t Date(int y, int m, int d) { return static_cast<uint16_t>((y - 1980) << 9 | m << 5 | d); }
uint16_t Time(int h, int mi, int s) { return static_cast<uint16_t>(h << 11 | mi << 5 | s / 2); }

/// The value path from the root to the node holding the item's first entry.
std::vector<int> PathTo(const TimeNode& root, const FileItem* item) {
    std::vector<std::pair<const TimeNode*, std::vector<int>>> stack{{&root, {}}};
    // Six levels at most below the root.
    while (!stack.empty()) {
        auto [node, path] = stack.back();
        stack.pop_back();
        for (const TimeEntry& e : node->items)
            if (e.item == item) return path;
        for (const TimeNode& child : node->children) {
            auto next = path;
            next.push_back(child.value);
            stack.emplace_back(&child, next);
        }
    }
    return {};
}

TEST(TimeIndex, DatesEndAtTheDayTimesAtTheSecond) {
    FileItem a = MakeItem("a"), b = MakeItem("b"), c = MakeItem("c");
    TimeIndex index;
    index.switches = {true, false, false};
    a.createDate = Date(2003, 6, 29);
    b.createDate = Date(2003, 6, 29), b.createTime = Time(4, 14, 26);
    c.createDate = Date(2003, 6, 29), c.createTime = Time(25, 0, 0);  // no time of day: the date alone
    for (FileItem* f : {&a, &b, &c}) index.BuildTimeIndex(f, false);
    EXPECT_EQ(PathTo(index.Root(), &a), (std::vector<int>{2003, 6, 29}));
    EXPECT_EQ(PathTo(index.Root(), &b), (std::vector<int>{2003, 6, 29, 4, 14, 26}));
    EXPECT_EQ(PathTo(index.Root(), &c), (std::vector<int>{2003, 6, 29}));
    // The day's own items come before its children's.
    const TimeNode* day = FindChild(*FindChild(*FindChild(index.Root(), 2003), 6), 29);
    ASSERT_TRUE(day);
    const auto collected = CollectItems(*day);
    ASSERT_EQ(collected.size(), 3u);
    EXPECT_EQ(collected[0].item, &a);
    EXPECT_EQ(collected[1].item, &c);
    EXPECT_EQ(collected[2].item, &b);
}

TEST(TimeIndex, FilesOfOneSecondShareItsNodeInIndexingOrder) {
    FileItem folder = MakeItem("f");
    folder.flags = item_flags::kDirectory;
    FileItem files[3] = {MakeItem("x"), MakeItem("y"), MakeItem("z")};
    for (FileItem& f : files) f.writeDate = Date(2010, 1, 2), f.writeTime = Time(3, 4, 6);
    files[2].writeTime = Time(3, 4, 8);
    files[1].accessDate = Date(1999, 12, 31);
    ASSERT_TRUE(SetChildren(folder, files));
    TimeIndex index;
    ASSERT_TRUE(index.BuildTimeIndex(&folder, false));
    EXPECT_EQ(index.EntryCount(), 4u);
    const TimeNode* minute =
        FindChild(*FindChild(*FindChild(*FindChild(*FindChild(index.Root(), 2010), 1), 2), 3), 4);
    ASSERT_TRUE(minute);
    ASSERT_EQ(minute->children.size(), 2u);
    const TimeNode& second = minute->children[0];
    EXPECT_EQ(second.value, 6);
    ASSERT_EQ(second.items.size(), 2u);
    EXPECT_STREQ(second.items[0].item->name, "x");
    EXPECT_STREQ(second.items[1].item->name, "y");
    EXPECT_EQ(second.items[1].kind, kTimeModified);
    // Years in ascending order whatever the indexing order.
    EXPECT_EQ(index.Root().children.front().value, 1999);
    FreeSubtree(folder);
}

TEST(TimeIndex, QueriesAndColumnsLeadBackToTheirNodes) {
    FileItem f = MakeItem("f");
    f.writeDate = Date(2003, 6, 29), f.writeTime = Time(4, 14, 26);
    FileItem g = MakeItem("g");
    g.writeDate = Date(1990, 1, 1);
    TimeIndex index;
    index.switches = {false, true, false};
    index.BuildTimeIndex(&f, false);
    index.BuildTimeIndex(&g, false);

    EXPECT_FALSE(ParseTimeQuery("2003-06-29 04:14"));        // 16 characters: nothing happens
    EXPECT_FALSE(ParseTimeQuery("2003-06-29 04:14:26 "));    // 20
    const auto unknownYear = ParseTimeQuery("2004-06-29 04:14:26");
    ASSERT_TRUE(unknownYear);
    EXPECT_FALSE(QueryColumn(index.Root(), *unknownYear, 2));
    const auto q = ParseTimeQuery("2003-06-29 04:14:26");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->month, 5);
    EXPECT_EQ(q->day, 28);
    const auto odd = ParseTimeQuery("2003-00-x9 -4:1a:26");  // digits as far as they go, negatives 0
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->month, 0);
    EXPECT_EQ(odd->day, 0);
    EXPECT_EQ(odd->hour, 0);
    EXPECT_EQ(odd->minute, 1);

    // 2003 is the second indexed year.
    const uint64_t expected[kTimeLevels] = {12, 372 + 5 * 31 + 28, (372 + 5 * 31 + 28) * 24 + 4,
                                            ((372 + 5 * 31 + 28) * 24 + 4) * 60 + 14,
                                            (((372 + 5 * 31 + 28) * 24 + 4) * 60 + 14) * 60 + 26};
    const int rows[kTimeLevels] = {28, 4, 0, 0, 0};
    for (int level = 0; level < kTimeLevels; ++level) {
        const auto column = QueryColumn(index.Root(), *q, level);
        ASSERT_TRUE(column) << level;
        EXPECT_EQ(*column, expected[level]) << level;
        // Level 0 jumps to the year; the month is the column within it.
        const uint64_t cell = level == 0 ? *column + 5 : *column;
        const TimeNode* node = CellNode(index.Root(), level, cell, rows[level]);
        ASSERT_TRUE(node) << level;
        const auto items = CollectItems(*node);
        ASSERT_EQ(items.size(), 1u) << level;
        EXPECT_EQ(items[0].item, &f);
    }
    EXPECT_FALSE(CellNode(index.Root(), 0, 5, 31));  // no 32nd day row
    EXPECT_FALSE(CellNode(index.Root(), 4, 40 * 32140800ull, 0));
}

// A folder with more files than the index holds stops at the bound and
// says so; what was indexed stays.
TEST(TimeIndex, StopsAtItsBound) {
    FileItem folder = MakeItem("f");
    folder.flags = item_flags::kDirectory;
    std::vector<FileItem> files(25, MakeItem("x"));
    for (size_t i = 0; i < files.size(); ++i) files[i].writeDate = Date(2000, 1, 1 + int(i % 28));
    ASSERT_TRUE(SetChildren(folder, files));
    TimeIndex index(10);
    index.switches = {false, true, false};
    EXPECT_FALSE(index.BuildTimeIndex(&folder, true));
    EXPECT_EQ(index.EntryCount(), 10u);
    EXPECT_EQ(CollectItems(index.Root()).size(), 10u);
    EXPECT_FALSE(index.AddTime(&files[0], Date(2001, 1, 1), 0, kTimeModified));
    FreeSubtree(folder);
}

TEST(TimeIndex, RecursesOnlyWhenAsked) {
    FileItem top = MakeItem("top");
    top.flags = item_flags::kDirectory;
    FileItem level1[2] = {MakeItem("sub"), MakeItem("a")};
    level1[0].flags = item_flags::kDirectory;
    level1[1].writeDate = Date(2000, 1, 1);
    ASSERT_TRUE(SetChildren(top, level1));
    FileItem* sub = top.children[0].IsDirectory() ? &top.children[0] : &top.children[1];
    FileItem level2[1] = {MakeItem("b")};
    level2[0].writeDate = Date(2001, 1, 1);
    ASSERT_TRUE(SetChildren(*sub, level2));
    TimeIndex index;
    index.BuildTimeIndex(&top, false);
    EXPECT_EQ(index.EntryCount(), 1u);
    index.Clear();
    index.BuildTimeIndex(&top, true);
    EXPECT_EQ(index.EntryCount(), 2u);
    FreeSubtree(top);
}

}  // namespace
}  // namespace delvora
