// The ten cell texts of a file-list row and the JSON object of a listing.
#include <gtest/gtest.h>

#include "common/text_format.h"
#include "fs/file_list_row.h"
#include "fs/file_tree.h"
#include "fs/name_pool.h"

namespace delvora {
namespace {

TEST(FileListRow, AttributeWords) {
    EXPECT_EQ(AttributeDescription(0x21), "只读,存档");
    EXPECT_EQ(AttributeDescription(0x00), "");
    EXPECT_EQ(AttributeDescription(0x10), "子目录");
    EXPECT_EQ(AttributeDescription(0xFF), "只读,隐藏,系统,卷标,子目录,存档,修改2");
}

TEST(FileListRow, DatesAndTimes) {
    const uint16_t date = ((2004 - 1980) << 9) | (5 << 5) | 6;
    const uint16_t time = (9 << 11) | (30 << 5) | 29;
    EXPECT_EQ(DosDateTimeText(date, time), "2004-05-06 09:30:58");
    EXPECT_EQ(DosDateText(0), "1980-00-00");
    // Bytes that name no real day or time show as absent, not as month 15.
    EXPECT_EQ(DosDateTimeText(0xFFFF, 0xFFFF), "1980-00-00 00:00:00");
    EXPECT_EQ(DosDateTimeText(0xFF9F, 0xBF7D), "2107-12-31 23:59:58");
    EXPECT_EQ(DosDateTimeText(date & ~0x1F, time), "1980-00-00 09:30:58");
}

class FileListTree : public ::testing::Test {
protected:
    void SetUp() override {
        FileItem folder = MakeItem("folder");
        folder.flags = item_flags::kDirectory;
        ASSERT_TRUE(SetChildren(tree.m_RootItem, std::span<const FileItem>(&folder, 1)));
        FileItem sub = MakeItem("sub");
        sub.flags = item_flags::kDirectory;
        ASSERT_TRUE(SetChildren(tree.m_RootItem.children[0], std::span<const FileItem>(&sub, 1)));
        FileItem file = MakeItem("na\"me.txt");
        file.attributes = 0x21;
        file.size = 3000000000u;  // unsigned: never printed negative
        file.startCluster = 7;
        file.accessDate = 0;
        file.flags = item_flags::kDeleted;
        ASSERT_TRUE(SetChildren(tree.m_RootItem.children[0].children[0], std::span<const FileItem>(&file, 1)));
    }
    FileItem& File() { return tree.m_RootItem.children[0].children[0].children[0]; }
    FileTree tree;
};

TEST_F(FileListTree, CellsWithoutAVolume) {
    const auto cells = FileListRowTexts(File(), nullptr);
    EXPECT_EQ(cells[0], "na\"me.txt");
    EXPECT_EQ(cells[3], "1980-00-00");
    EXPECT_EQ(cells[4], "3000000000");
    EXPECT_EQ(cells[5], "0");
    EXPECT_EQ(cells[6], "7");
    EXPECT_EQ(cells[7], "0");
    EXPECT_EQ(cells[8], "只读,存档");
    EXPECT_EQ(cells[9], "\\folder\\sub\\na\"me.txt");
    EXPECT_EQ(FileListRowTexts(tree.m_RootItem.children[0], nullptr)[9], "\\folder");
    // A top item shows its own name.
    EXPECT_EQ(FileListRowTexts(tree.m_RootItem, nullptr)[9], "ROOT");
    EXPECT_EQ(FileListHeadings()[9], "全路径");
}

TEST_F(FileListTree, CommandLineRowIsTheCellsWithMediumTextEscaped) {
    File().name = NamePool::Global().Add("bad\x1b[2J\tname");
    File().createDate = ((2004 - 1980) << 9) | (5 << 5) | 6;
    File().writeTime = (23 << 11) | (59 << 5) | 29;
    const auto cells = FileListRowTexts(File(), nullptr);
    std::string want;
    for (size_t i = 0; i < cells.size(); ++i) want += (i ? "\t" : "") + EscapeControls(cells[i]);
    std::string row = "kept:";
    AppendFileListRow(row, File(), nullptr, cells[9]);
    EXPECT_EQ(row, "kept:" + want);
    EXPECT_NE(row.find("bad\\x1b[2J\\x09name\t2004-05-06 00:00:00\t1980-00-00 23:59:58"), std::string::npos) << row;
}

TEST_F(FileListTree, JsonObject) {
    const std::string json = FileListJson(File(), nullptr);
    EXPECT_EQ(json,
              "{\"name\":\"na\\\"me.txt\",\"path\":\"\\\\folder\\\\sub\\\\na\\\"me.txt\",\"deleted\":true,"
              "\"dir\":false,\"found\":false,\"size\":3000000000,\"allocated\":0,\"startCluster\":7,"
              "\"startSector\":0,\"created\":\"1980-00-00 00:00:00\",\"modified\":\"1980-00-00 00:00:00\","
              "\"accessed\":\"1980-00-00\",\"attributes\":33,\"description\":\"只读,存档\",\"overwrittenClusters\":0}");
}

}  // namespace
}  // namespace delvora
