// Damaged EXT2 volumes: real images with one field corrupted at a time. The
// load refuses or skips what is damaged; nothing crashes or hangs.
#include <gtest/gtest.h>

#include "common/bytes.h"
#include "fs/ext2/ext2_test_support.h"

namespace delvora::test {
namespace {

class Ext2Damage : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("mke2fs") || !HaveTool("debugfs")) GTEST_SKIP() << "mke2fs/debugfs missing";
        const std::string d = tmp.File("tree");
        ASSERT_EQ(RunShell("mkdir -p '" + d + "/a/b' '" + d + "/x' && cd '" + d + "' && echo 1 > first && "
                           "for i in 1 2 3 4 5; do echo $i > a/f$i; done && echo y > x/y && echo z > x/z"), 0);
        image = tmp.File("v.img");
        ASSERT_EQ(MakeExt2(image, 1024, d, "2M"), "");
    }
    uint32_t ChildCount(Ext2Fixture& f, const std::string& path) {
        auto items = ItemsByPath(*f.volume->RootItem());
        return items.count(path) ? items.at(path)->childCount : UINT32_MAX;
    }
    // Offset of the last record of a directory's first block.
    uint64_t LastRecord(const std::string& dir) {
        const uint64_t block = BlockOffset(image, dir, 0, 1024);
        const std::vector<uint8_t> bytes = ReadFileBytes(image);
        uint64_t pos = block;
        // Record lengths of a sound block lead to its end.
        while (pos - block + Le16(ByteSpan(bytes), pos + 4) < 1024) pos += Le16(ByteSpan(bytes), pos + 4);
        return pos;
    }
    TempDir tmp;
    std::string image;
};

TEST_F(Ext2Damage, AbsurdSuperblocksAreRefused) {
    const std::vector<std::pair<uint64_t, uint32_t>> fields = {
        {24, 6},             // 64 KiB blocks
        {32, 0},             // blocks per group
        {40, 0},             // inodes per group
        {0, 0},              // inode count
        {4, 0},              // block count
        {0, 0xFFFFFFFF},     // more inodes than the groups hold
    };
    const std::vector<uint8_t> pristine = ReadFileBytes(image);
    for (const auto& [offset, value] : fields) {
        ASSERT_TRUE(WriteFileBytes(image, pristine));
        ASSERT_TRUE(PatchFile(image, 1024 + offset, Le32Bytes(value)));
        auto f = LoadExt2(image);
        EXPECT_FALSE(f->prepared) << "field " << offset;
        EXPECT_TRUE(f->rc.notifier.Texts().empty());
    }
}

TEST_F(Ext2Damage, HugeCountsAreBoundedByTheVolumeSize) {
    // Inodes per group and count far beyond what 2 MiB can hold.
    ASSERT_TRUE(PatchFile(image, 1024 + 0, Le32Bytes(0x7FFFFFFF)));
    ASSERT_TRUE(PatchFile(image, 1024 + 40, Le32Bytes(0x7FFFFFFF)));
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->prepared);
    EXPECT_LE(f->volume->Tree().BitmapBytes(), (2u << 20) / 128 / 8 + 1);
}

TEST_F(Ext2Damage, DescriptorOffsetsFollowTheBlockSize) {
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    const std::vector<uint8_t> bytes1k = ReadFileBytes(image);
    EXPECT_EQ(f->volume->Ext2Tree().m_Groups.InodeTableBlock(0), Le32(ByteSpan(bytes1k), 2048 + 8));
    const std::string image4k = tmp.File("v4.img");
    ASSERT_EQ(MakeExt2(image4k, 4096, tmp.File("tree"), "2M"), "");
    auto f4 = LoadExt2(image4k);
    ASSERT_TRUE(f4->loaded);
    EXPECT_EQ(f4->volume->Ext2Tree().m_Groups.InodeTableBlock(0), Le32(ByteSpan(ReadFileBytes(image4k)), 4096 + 8));
    // An inode table outside the volume is not read: the root cannot be found.
    ASSERT_TRUE(PatchFile(image, 2048 + 8, Le32Bytes(0x7FFFFF00)));
    auto bad = LoadExt2(image);
    EXPECT_TRUE(bad->prepared);
    EXPECT_FALSE(bad->loaded);
}

TEST_F(Ext2Damage, BlockMapsPointingOutsideTheVolume) {
    ASSERT_EQ(Debugfs(image, "sif /first block[0] 9999999"), 0);
    ASSERT_EQ(Debugfs(image, "sif /a block[0] 9999999"), 0);
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    EXPECT_EQ(ChildCount(*f, "a"), 0u);  // its only block is out of reach
    EXPECT_EQ(ChildCount(*f, "x"), 2u);
    FileItem* first = ItemsByPath(*f->volume->RootItem()).at("first");
    ClusterRunList runs;
    EXPECT_FALSE(f->volume->GetItemRuns(first, runs));
    uint8_t byte = 0;
    EXPECT_FALSE(f->volume->ReadItemRange(first, &byte, 0, 1, nullptr));
    // Runs handed in by a caller are checked the same way.
    ClusterRunList outside;
    outside.Add(0x7FFFFFF0, 4);
    EXPECT_FALSE(f->volume->ReadItemRange(first, &byte, 0, 1, &outside));
}

TEST_F(Ext2Damage, RecordLengthZeroEndsTheBlock) {
    ASSERT_TRUE(PatchFile(image, BlockOffset(image, "/a", 0, 1024) + 24 + 4, Le16Bytes(0)));
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    EXPECT_EQ(ChildCount(*f, "a"), 0u);
    EXPECT_EQ(ChildCount(*f, "x"), 2u);
}

TEST_F(Ext2Damage, NameLongerThanItsRecordEndsTheBlock) {
    const uint64_t block = BlockOffset(image, "/a", 0, 1024);
    // The last record keeps its place; only a name reaching into the next
    // record stops the walk there.
    const uint64_t last = LastRecord("/a");
    ASSERT_TRUE(PatchFile(image, last + 6, {255}));
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    EXPECT_EQ(ChildCount(*f, "a"), 6u);
    ASSERT_TRUE(PatchFile(image, block + 24 + 6, {255}));
    f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    EXPECT_EQ(ChildCount(*f, "a"), 0u);
    EXPECT_EQ(ChildCount(*f, "x"), 2u);
}

TEST_F(Ext2Damage, InodeBeyondTheCountEmptiesItsFolder) {
    ASSERT_TRUE(PatchFile(image, BlockOffset(image, "/x", 0, 1024) + 24, Le32Bytes(0x7FFFFFFF)));
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    EXPECT_EQ(ChildCount(*f, "x"), 0u);
    EXPECT_EQ(ChildCount(*f, "a"), 6u);
    // In the root it fails the whole tree.
    ASSERT_TRUE(PatchFile(image, BlockOffset(image, "/", 0, 1024) + 24, Le32Bytes(0x7FFFFFFF)));
    EXPECT_FALSE(LoadExt2(image)->loaded);
}

TEST_F(Ext2Damage, TruncatedImageLoadsWhatIsThere) {
    std::vector<uint8_t> bytes = ReadFileBytes(image);
    bytes.resize(bytes.size() / 2 + 512);
    ASSERT_TRUE(WriteFileBytes(image, bytes));
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->prepared);
    for (const auto& [path, item] : ItemsByPath(*f->volume->RootItem())) {
        std::vector<uint8_t> data;
        uint64_t allocated = 0, valid = 0;
        f->volume->ReadWholeItem(item, data, allocated, valid);
        EXPECT_LE(data.size(), bytes.size()) << path;
    }
}

}  // namespace
}  // namespace delvora::test
