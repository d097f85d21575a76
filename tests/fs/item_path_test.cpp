#include "fs/item_path.h"

#include <gtest/gtest.h>

#include "fs/file_tree.h"

namespace delvora {
namespace {

FileItem Record(const char* name, uint8_t flags, uint32_t id) {
    FileItem item = MakeItem(name);
    item.flags = flags;
    item.startCluster = id;
    return item;
}

class ItemPathTest : public ::testing::Test {
protected:
    ItemPathTest() {
        // Deleted copies stand both before and after the live one once sorted.
        const FileItem top[] = {Record("Docs", item_flags::kDirectory, 1), Record("a.txt", item_flags::kDeleted, 2),
                                Record("A.TXT", 0, 3), Record("a.txt", item_flags::kDeleted, 4),
                                Record("gone.txt", item_flags::kDeleted, 5)};
        SetChildren(tree.m_RootItem, top);
        const FileItem docs[] = {Record("Note.md", 0, 6)};
        SetChildren(tree.m_RootItem.children[0], docs);
    }
    uint32_t Id(std::string_view path) {
        FileItem* item = FindItemByPath(tree.m_RootItem, path);
        return item ? item->startCluster : 0;
    }
    FileTree tree;
};

TEST_F(ItemPathTest, SeparatorsAndCase) {
    EXPECT_EQ(FindItemByPath(tree.m_RootItem, "/"), &tree.m_RootItem);
    EXPECT_EQ(FindItemByPath(tree.m_RootItem, "\\"), &tree.m_RootItem);
    EXPECT_EQ(FindItemByPath(tree.m_RootItem, ""), &tree.m_RootItem);
    EXPECT_EQ(Id("/Docs/Note.md"), 6u);
    EXPECT_EQ(Id("\\DOCS\\NOTE.MD"), 6u);
    EXPECT_EQ(Id("docs//note.md/"), 6u);
    EXPECT_EQ(Id("/docs"), 1u);
}

TEST_F(ItemPathTest, LiveWinsOverDeletedAndDeletedIsFound) {
    EXPECT_EQ(Id("/a.txt"), 3u);
    EXPECT_EQ(Id("/GONE.TXT"), 5u);
}

TEST_F(ItemPathTest, MissingComponentsGiveNothing) {
    EXPECT_EQ(Id("/nothing"), 0u);
    EXPECT_EQ(Id("/Docs/Note.md/x"), 0u);
    EXPECT_EQ(Id("/Doc"), 0u);
    EXPECT_EQ(Id("/Docs/.."), 0u);
}

}  // namespace
}  // namespace delvora
