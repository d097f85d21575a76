// FAT volumes made by mkfs.fat and mtools: the loaded tree, deleted items,
// and file contents read back through the volume.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/bytes.h"
#include "fs/fat/fat_test_images.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::FindItem;
using test::LoadFat;

class FatToolImage : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        DELVORA_REQUIRE_TOOL("mkfs.fat");
        DELVORA_REQUIRE_TOOL("mcopy");
        image = test::MakeToolImage(dir.Path(), GetParam());
        ASSERT_FALSE(image.empty());
    }
    int Kind() const { return GetParam() == 12 ? 1 : GetParam() == 16 ? 2 : 3; }
    std::vector<uint8_t> ReadThroughVolume(FatVolume& volume, FileItem* item) {
        // Chunks of 64 KiB, as an export copies.
        std::vector<uint8_t> data(item->size);
        ClusterRunList runs;
        EXPECT_TRUE(volume.GetItemRuns(item, runs));
        for (uint32_t offset = 0; offset < item->size; offset += 65536) {
            const uint32_t n = std::min<uint32_t>(65536, item->size - offset);
            EXPECT_TRUE(volume.ReadItemRange(item, data.data() + offset, offset, n, &runs));
        }
        return data;
    }
    test::TempDir dir;
    test::RecordingContext ctx;
    std::string image;
};

TEST_P(FatToolImage, LoadsEveryFileWithItsContents) {
    auto loaded = LoadFat(image, Kind(), ctx.context);
    ASSERT_TRUE(loaded.prepared);
    FatVolume& volume = *loaded.volume;
    EXPECT_EQ(volume.Description(), "FAT" + std::to_string(GetParam()));
    EXPECT_EQ(volume.FileSystemKind(), Kind());
    EXPECT_TRUE(ctx.notifier.Texts().empty());
    for (const auto& [path, bytes] : test::StandardFiles()) {
        FileItem* item = FindItem(*volume.RootItem(), path);
        ASSERT_NE(item, nullptr) << path;
        EXPECT_FALSE(item->IsDeleted()) << path;
        EXPECT_EQ(item->size, bytes.size()) << path;
        EXPECT_EQ(ReadThroughVolume(volume, item), bytes) << path;
        uint64_t allocated = 0, valid = 0;
        ASSERT_TRUE(volume.GetItemSizes(item, allocated, valid));
        EXPECT_EQ(valid, bytes.size());
        EXPECT_GE(allocated, valid);
        EXPECT_LT(allocated - valid, std::max<uint32_t>(volume.BytesPerCluster(), 1)) << path;
        std::vector<uint8_t> whole;
        ASSERT_TRUE(volume.ReadWholeItem(item, whole, allocated, valid));
        whole.resize(valid);
        EXPECT_EQ(whole, bytes) << path;
    }
    // Folders come first in each children array, then files, by name.
    FileItem* docs = FindItem(*volume.RootItem(), "docs");
    ASSERT_NE(docs, nullptr);
    EXPECT_TRUE(docs->IsDirectory());
    EXPECT_STREQ(docs->children[0].name, "sub");
    EXPECT_EQ(docs->children[0].parent, docs);
    // The directory walk marked the folders' clusters.
    EXPECT_TRUE(volume.Tree().GetBit(docs->startCluster));
    EXPECT_TRUE(ctx.notifier.Texts().empty());
}

TEST_P(FatToolImage, DeletedFilesAndFolders) {
    auto loaded = LoadFat(image, Kind(), ctx.context);
    ASSERT_TRUE(loaded.prepared);
    FatVolume& volume = *loaded.volume;
    // mdel leaves the short name with its first byte replaced.
    FileItem* gone = FindItem(*volume.RootItem(), "_one.txt");
    ASSERT_NE(gone, nullptr);
    EXPECT_TRUE(gone->IsDeleted());
    // Nothing was written after the deletion: the clusters still hold it.
    EXPECT_EQ(ReadThroughVolume(volume, gone), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'}));
    FileItem* old = FindItem(*volume.RootItem(), "_ld");
    ASSERT_NE(old, nullptr);
    EXPECT_TRUE(old->IsDeleted());
    EXPECT_TRUE(old->IsDirectory());
    // On FAT32 too: the deleted folders still start with their own "."
    // entry, which proves their cluster numbers intact.
    FileItem* a = FindItem(*volume.RootItem(), "_ld/_nner/_.txt");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->IsDeleted());
    EXPECT_TRUE(FindItem(*volume.RootItem(), "_ld/_nner")->IsDeleted());
    for (const auto& [path, deleted] : test::ListTree(*volume.RootItem()))
        EXPECT_EQ(deleted, path[0] == '_') << path;
}

TEST_P(FatToolImage, DamagedBootSectorsStopTheLoad) {
    std::vector<uint8_t> zero{0};
    ASSERT_TRUE(test::PatchFile(image, 13, zero));  // sectors per cluster
    auto loaded = LoadFat(image, Kind(), ctx.context);
    EXPECT_FALSE(loaded.prepared);
    EXPECT_EQ(ctx.notifier.Texts(), std::vector<std::string>{"DOS引导记录区损坏,请重建!"});
    EXPECT_EQ(loaded.volume->RootItem()->childCount, 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FatToolImage, ::testing::Values(12, 16, 32));

TEST(FatToolImageEdges, NoRootEntriesIsACalculationError) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    test::TempDir dir;
    test::RecordingContext ctx;
    const std::string image = test::MakeToolImage(dir.Path(), 16);
    ASSERT_FALSE(image.empty());
    ASSERT_TRUE(test::PatchFile(image, 17, {0, 0}));
    auto loaded = LoadFat(image, 2, ctx.context);
    EXPECT_FALSE(loaded.prepared);
    EXPECT_EQ(ctx.notifier.Texts(), std::vector<std::string>{"计算错误1!"});
}

// Images cut short: what cannot be read is reported, the rest still loads.
TEST(FatToolImageEdges, ShortImages) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    test::TempDir dir;
    const std::string fat16 = test::MakeToolImage(dir.Path(), 16);
    const std::string fat32 = test::MakeToolImage(dir.Path(), 32);
    ASSERT_FALSE(fat16.empty());
    ASSERT_FALSE(fat32.empty());
    auto dataStart = [](const std::string& image) {
        const auto boot = test::ReadFileBytes(image);
        const uint32_t fatSize = Le16(boot, 22) ? Le16(boot, 22) : Le32(boot, 36);
        return uint64_t{Le16(boot, 14)} + 2 * fatSize + Le16(boot, 17) / 16;
    };
    {
        // The FAT16 root cannot be read: the load fails with its log line.
        test::RecordingContext ctx;
        std::filesystem::resize_file(fat16, (dataStart(fat16) - 8) * 512);
        auto loaded = LoadFat(fat16, 2, ctx.context);
        EXPECT_FALSE(loaded.prepared);
        EXPECT_TRUE(ctx.log.Contains("!m_pDataSource->GetData(&buf[dwBufIndex],512,dw)"));
    }
    {
        // An unreadable FAT32 root cluster reads as skipped entries.
        test::RecordingContext ctx;
        std::filesystem::resize_file(fat32, dataStart(fat32) * 512);
        auto loaded = LoadFat(fat32, 3, ctx.context);
        ASSERT_TRUE(loaded.prepared);
        EXPECT_TRUE(ctx.log.Contains("!m_pDataSource->GetData(&buf[dwBufIndex],dwClustorByte,dw)"));
        EXPECT_EQ(loaded.volume->RootItem()->childCount, 0u);
    }
}

TEST(FatToolImageEdges, UnreadableFileData) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    test::TempDir dir;
    test::RecordingContext ctx;
    const std::string image = test::MakeToolImage(dir.Path(), 16);
    ASSERT_FALSE(image.empty());
    uint64_t cut = 0;
    {
        auto loaded = LoadFat(image, 2, ctx.context);
        FileItem* big = FindItem(*loaded.volume->RootItem(), "docs/sub/big.bin");
        ASSERT_NE(big, nullptr);
        cut = (uint64_t{loaded.volume->StartSector()} + loaded.volume->ClusterToSector(big->startCluster)) * 512;
    }
    std::filesystem::resize_file(image, cut);
    auto loaded = LoadFat(image, 2, ctx.context);
    ASSERT_TRUE(loaded.prepared);
    FileItem* big = FindItem(*loaded.volume->RootItem(), "docs/sub/big.bin");
    ASSERT_NE(big, nullptr);
    std::vector<uint8_t> data(4096);
    EXPECT_FALSE(loaded.volume->ReadItemRange(big, data.data(), 0, 4096, nullptr));
    EXPECT_EQ(ctx.notifier.Texts(), std::vector<std::string>{"获取数据错!"});
}

// FAT32 images patched where the tools never go: the root elsewhere than
// cluster 2, and the end-of-chain values below 0x0FFFFFFF.
class Fat32Patched : public ::testing::Test {
protected:
    void SetUp() override {
        DELVORA_REQUIRE_TOOL("mkfs.fat");
        DELVORA_REQUIRE_TOOL("mcopy");
        image = test::MakeToolImage(dir.Path(), 32);
        ASSERT_FALSE(image.empty());
        bytes = test::ReadFileBytes(image);
        reserved = Le16(bytes, 14);
        fatSize = Le32(bytes, 36);
        dataStart = reserved + 2 * fatSize;
        spc = bytes[13];
    }
    uint64_t FatOffset(uint32_t cluster, uint32_t copy = 0) const {
        return (uint64_t{reserved} + copy * fatSize) * 512 + cluster * 4;
    }
    uint64_t ClusterOffset(uint32_t cluster) const { return (uint64_t{dataStart} + (cluster - 2) * spc) * 512; }
    void SetFat(uint32_t cluster, uint32_t value) {
        std::vector<uint8_t> v(4);
        PutLe32(v.data(), value);
        for (uint32_t copy = 0; copy < 2; ++copy) ASSERT_TRUE(test::PatchFile(image, FatOffset(cluster, copy), v));
    }
    test::TempDir dir;
    test::RecordingContext ctx;
    std::string image;
    std::vector<uint8_t> bytes;
    uint32_t reserved = 0, fatSize = 0, dataStart = 0, spc = 1;
};

TEST_F(Fat32Patched, RootFromTheBootSectorsRootCluster) {
    const auto before = [&] {
        auto loaded = LoadFat(image, 3, ctx.context);
        return test::ListTree(*loaded.volume->RootItem());
    }();
    // Move the root (one cluster here) to a free cluster far away.
    const uint32_t moved = 3000;
    const uint32_t cb = 512 * spc;
    std::vector<uint8_t> root(bytes.begin() + ClusterOffset(2), bytes.begin() + ClusterOffset(2) + cb);
    ASSERT_GE(Le32(bytes, FatOffset(2)) & 0x0FFFFFFF, 0x0FFFFFF8u);  // a one-cluster root
    ASSERT_TRUE(test::PatchFile(image, ClusterOffset(moved), root));
    ASSERT_TRUE(test::PatchFile(image, ClusterOffset(2), std::vector<uint8_t>(cb, 0)));
    SetFat(moved, 0x0FFFFFFF);
    std::vector<uint8_t> field(4);
    PutLe32(field.data(), moved);
    ASSERT_TRUE(test::PatchFile(image, 44, field));
    auto loaded = LoadFat(image, 3, ctx.context);
    ASSERT_TRUE(loaded.prepared);
    EXPECT_EQ(test::ListTree(*loaded.volume->RootItem()), before);
    ClusterRunList runs;
    ASSERT_TRUE(loaded.volume->GetItemRuns(loaded.volume->RootItem(), runs));
    ASSERT_EQ(runs.Size(), 1u);
    EXPECT_EQ(runs[0].first, moved);
}

TEST_F(Fat32Patched, DeletedFoldersNeedTheirOwnDotEntry) {
    uint32_t oldCluster = 0;
    {
        auto loaded = LoadFat(image, 3, ctx.context);
        FileItem* old = FindItem(*loaded.volume->RootItem(), "_ld");
        ASSERT_NE(old, nullptr);
        ASSERT_GT(old->childCount, 0u);
        oldCluster = old->startCluster;
    }
    // The cluster no longer names itself: it may belong to someone else, and
    // on a volume of this size the high word could have been lost.
    ASSERT_TRUE(test::PatchFile(image, ClusterOffset(oldCluster) + 26, {0x77, 0x77}));
    auto loaded = LoadFat(image, 3, ctx.context);
    EXPECT_EQ(FindItem(*loaded.volume->RootItem(), "_ld")->childCount, 0u);
}

TEST_F(Fat32Patched, EndMarkersBelow0FFFFFFFEndARunList) {
    {
        auto loaded = LoadFat(image, 3, ctx.context);
        FileItem* note = FindItem(*loaded.volume->RootItem(), "docs/sub/deeper/note.TXT");
        ASSERT_NE(note, nullptr);
        ASSERT_EQ(note->size, 513u);  // two clusters of 512 bytes
        ASSERT_EQ(spc, 1u);
        const uint32_t first = note->startCluster;
        const uint32_t second = Le32(bytes, FatOffset(first));
        ASSERT_EQ(Le32(bytes, FatOffset(second)) & 0x0FFFFFFF, 0x0FFFFFFFu);
        SetFat(second, 0x0FFFFFF8);
        SetFat(first, 0xF0000000 | second);  // the top four bits are reserved, not part of the number
    }
    auto loaded = LoadFat(image, 3, ctx.context);
    FileItem* note = FindItem(*loaded.volume->RootItem(), "docs/sub/deeper/note.TXT");
    ClusterRunList runs;
    ASSERT_TRUE(loaded.volume->GetItemRuns(note, runs));
    EXPECT_EQ(runs.TotalCount(), 2u);
    // Ending after the first cluster leaves the chain short of the size.
    SetFat(note->startCluster, 0x0FFFFFF8);
    auto again = LoadFat(image, 3, ctx.context);
    FileItem* shortNote = FindItem(*again.volume->RootItem(), "docs/sub/deeper/note.TXT");
    EXPECT_FALSE(again.volume->GetItemRuns(shortNote, runs));
    EXPECT_EQ(runs.Size(), 0u);
    EXPECT_EQ(ctx.notifier.Texts(), std::vector<std::string>{"FAT表异常!"});
}

}  // namespace
}  // namespace delvora
