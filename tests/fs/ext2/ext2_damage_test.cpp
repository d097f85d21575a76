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

namespace delvora::test {
namespace {

uint64_t CountItems(const FileItem& folder) {
    uint64_t count = folder.childCount;
    for (uint32_t i = 0; i < folder.childCount; ++i) count += CountItems(folder.children[i]);
    return count;
}

// Folders whose maps all name one folder's block, over and over through an
// indirect block: a reader that reads every folder's blocks anew makes
// hundreds of thousands of items from a 2 MiB volume.
TEST_F(Ext2Damage, FoldersSharingBlocksAreReadOnce) {
    const std::string d = tmp.File("fan");
    ASSERT_EQ(RunShell("mkdir -p '" + d + "/d' && cd '" + d + "/d' && for i in $(seq 1 40); do mkdir s$i; done && "
                       "head -c 1024 /dev/zero > ../filler"), 0);
    ASSERT_EQ(MakeExt2(image, 1024, d, "2M"), "");
    const uint64_t folderBlock = BlockOffset(image, "/d", 0, 1024) / 1024;
    const uint64_t filler = BlockOffset(image, "/filler", 0, 1024);
    ASSERT_GT(folderBlock, 0u);
    std::vector<uint8_t> repeated;
    for (int i = 0; i < 256; ++i) {
        const auto bytes = Le32Bytes(static_cast<uint32_t>(folderBlock));
        repeated.insert(repeated.end(), bytes.begin(), bytes.end());
    }
    ASSERT_TRUE(PatchFile(image, filler, repeated));
    std::string script;
    for (int i = 1; i <= 40; ++i) {
        const std::string s = "/d/s" + std::to_string(i);
        for (int k = 0; k < 12; ++k) script += "sif " + s + " block[" + std::to_string(k) + "] " + std::to_string(folderBlock) + "\n";
        script += "sif " + s + " block[IND] " + std::to_string(filler / 1024) + "\nsif " + s + " size " +
                  std::to_string(268 * 1024) + "\n";
    }
    const std::string scriptFile = tmp.File("fan.cmd");
    ASSERT_TRUE(WriteFileBytes(scriptFile, std::vector<uint8_t>(script.begin(), script.end())));
    ASSERT_EQ(RunShell("debugfs -w -f '" + scriptFile + "' '" + image + "' >/dev/null 2>&1"), 0);

    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    const auto items = ItemsByPath(*f->volume->RootItem());
    ASSERT_EQ(ChildCount(*f, "d"), 40u);
    for (int i = 1; i <= 40; ++i) EXPECT_EQ(ChildCount(*f, "d/s" + std::to_string(i)), 0u) << i;
    EXPECT_LT(CountItems(*f->volume->RootItem()), 100u);
    EXPECT_FALSE(f->rc.log.Lines().empty());
}

TEST_F(Ext2Damage, UnknownIncompatibleFeaturesAreRefusedByName) {
    const std::vector<std::pair<uint32_t, std::string>> features = {
        {0x0001, "compression"}, {0x0008, "journal_dev"}, {0x0010, "meta_bg"}, {0x1000, "dirdata"},
        {0x10000, "encrypt"},    {0x80000000, "unknown"}};
    const std::vector<uint8_t> pristine = ReadFileBytes(image);
    const uint32_t incompat = Le32(ByteSpan(pristine), 1024 + 96);
    for (const auto& [bit, name] : features) {
        ASSERT_TRUE(WriteFileBytes(image, pristine));
        ASSERT_TRUE(PatchFile(image, 1024 + 96, Le32Bytes(incompat | bit)));
        auto f = LoadExt2(image);
        EXPECT_FALSE(f->prepared) << name;
        ASSERT_EQ(f->rc.notifier.Texts().size(), 1u) << name;
        EXPECT_NE(f->rc.notifier.Texts()[0].find(name), std::string::npos) << f->rc.notifier.Texts()[0];
    }
    // The command line fails with that message instead of an empty list.
    std::string out;
    EXPECT_EQ(RunShell(std::string(DELVORA_CLI_PATH) + " ls '" + image + "' 2>&1", &out), 1) << out;
    EXPECT_NE(out.find("unknown"), std::string::npos) << out;
    // Features a reader may pass over load as before.
    ASSERT_TRUE(WriteFileBytes(image, pristine));
    ASSERT_TRUE(PatchFile(image, 1024 + 96, Le32Bytes(incompat | 0x0004 | 0x2000 | 0x20000)));
    EXPECT_TRUE(LoadExt2(image)->loaded);
}

}  // namespace
}  // namespace delvora::test
