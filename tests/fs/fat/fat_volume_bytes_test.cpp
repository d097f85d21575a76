// Byte-built FAT12 volumes for what the tools never make: loops, deleted
// folders, absurd entries, and the reads of found and deleted items.
#include <gtest/gtest.h>

#include <cstring>

#include "fs/fat/fat_test_images.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::FindItem;
using test::ShortEntry;

class TinyVolume : public ::testing::Test {
protected:
    test::LoadedFat Load() { return test::LoadFat(fat.Write(dir.File("tiny.img")), 1, ctx.context); }
    uint8_t* Cluster(uint32_t c) { return fat.Bytes().data() + (test::TinyFat12::kDataStart + c - 2) * 512; }
    test::TempDir dir;
    test::RecordingContext ctx;
    test::TinyFat12 fat;
};

TEST_F(TinyVolume, LoopingChainsEnd) {
    // A folder whose chain loops (3 -> 4 -> 3) and holds an entry that
    // points back at the folder itself.
    fat.SetRootEntry(0, ShortEntry("DIR        ", 0x10, 3, 0));
    fat.SetFat(3, 4);
    fat.SetFat(4, 3);
    fat.SetClusterEntry(3, 0, ShortEntry("A       TXT", 0x20, 0, 0));
    fat.SetClusterEntry(3, 1, ShortEntry("SELF       ", 0x10, 3, 0));
    // The rest of cluster 3 must not end the folder: label entries fill it.
    for (size_t i = 2; i < 16; ++i) fat.SetClusterEntry(3, i, ShortEntry("LABEL      ", 0x08, 0, 0));
    fat.SetClusterEntry(4, 0, ShortEntry("B       TXT", 0x20, 0, 0));
    // A file whose chain loops after two clusters but claims four.
    fat.SetRootEntry(1, ShortEntry("LOOP    BIN", 0x20, 10, 2048));
    fat.SetFat(10, 11);
    fat.SetFat(11, 10);
    auto loaded = Load();
    ASSERT_TRUE(loaded.prepared);
    FatVolume& volume = *loaded.volume;
    EXPECT_EQ(test::ListTree(*volume.RootItem()),
              (std::map<std::string, bool>{{"DIR", false}, {"DIR/A.TXT", false}, {"DIR/B.TXT", false},
                                           {"DIR/SELF", false}, {"LOOP.BIN", false}}));
    ClusterRunList runs;
    EXPECT_FALSE(volume.GetItemRuns(FindItem(*volume.RootItem(), "LOOP.BIN"), runs));
    EXPECT_EQ(ctx.notifier.Texts(), std::vector<std::string>{"FAT表异常!"});
    // The folder itself: each cluster once.
    ASSERT_TRUE(volume.GetItemRuns(FindItem(*volume.RootItem(), "DIR"), runs));
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{3, 2}}));
}

TEST_F(TinyVolume, DeletedFoldersAndTheirChildren) {
    fat.SetRootEntry(0, ShortEntry("\xE5OLD       ", 0x10, 30, 0));
    fat.SetClusterEntry(30, 0, ShortEntry(".          ", 0x10, 30, 0));
    fat.SetClusterEntry(30, 1, ShortEntry("KEEP    TXT", 0x20, 33, 5));
    fat.SetClusterEntry(30, 2, ShortEntry("SUBD       ", 0x10, 31, 0));
    fat.SetClusterEntry(31, 0, ShortEntry("DEEP    TXT", 0x20, 34, 5));
    // A deleted folder whose cluster now holds other data.
    fat.SetRootEntry(1, ShortEntry("\xE5" "AD        ", 0x10, 40, 0));
    fat.FillCluster(40, 'Q');
    auto loaded = Load();
    ASSERT_TRUE(loaded.prepared);
    auto tree = test::ListTree(*loaded.volume->RootItem());
    EXPECT_TRUE(tree.at("_OLD/KEEP.TXT"));
    EXPECT_TRUE(tree.at("_OLD/SUBD"));
    EXPECT_TRUE(tree.at("_OLD/SUBD/DEEP.TXT"));
    EXPECT_EQ(FindItem(*loaded.volume->RootItem(), "_AD")->childCount, 16u);  // garbage, unchecked

    ctx.options.verifyDeletedFolders = 1;
    auto verified = Load();
    EXPECT_EQ(FindItem(*verified.volume->RootItem(), "_AD")->childCount, 0u);
    // The genuine deleted folder still passes the check.
    EXPECT_TRUE(FindItem(*verified.volume->RootItem(), "_OLD/SUBD/DEEP.TXT"));
}

TEST_F(TinyVolume, DeletedFilesReadFromConsecutiveClusters) {
    fat.SetRootEntry(0, ShortEntry("\xE5ONE    BIN", 0x20, 20, 600));
    fat.SetRootEntry(1, ShortEntry("\xE5TWO    BIN", 0x20, 30, 512));
    std::memset(Cluster(20), 'a', 512);
    std::memset(Cluster(21), 'b', 512);
    auto loaded = Load();
    FatVolume& volume = *loaded.volume;
    FileItem* one = FindItem(*volume.RootItem(), "_ONE.BIN");
    ASSERT_NE(one, nullptr);
    ClusterRunList runs;
    ASSERT_TRUE(volume.GetItemRuns(one, runs));
    // The clusters the size needs, as one run.
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{20, 2}}));
    uint64_t allocated = 0, valid = 0;
    ASSERT_TRUE(volume.GetItemSizes(one, runs, allocated, valid));
    EXPECT_EQ(allocated, 1024u);
    EXPECT_EQ(valid, 600u);
    std::vector<uint8_t> data(512);
    ASSERT_TRUE(volume.ReadItemRange(one, data.data(), 0, 512, &runs));
    EXPECT_EQ(data, std::vector<uint8_t>(512, 'a'));
    ASSERT_TRUE(volume.ReadItemRange(one, data.data(), 500, 24, nullptr));
    EXPECT_EQ(std::string(data.begin(), data.begin() + 24), std::string(12, 'a') + std::string(12, 'b'));
    // Beyond the runs: refused without a message.
    EXPECT_FALSE(volume.ReadItemRange(one, data.data(), 1000, 100, &runs));
    EXPECT_TRUE(ctx.notifier.Texts().empty());
    // A whole cluster's worth takes that one cluster, not one more, as a
    // live file of the same size would.
    FileItem* two = FindItem(*volume.RootItem(), "_TWO.BIN");
    ASSERT_TRUE(volume.GetItemSizes(two, allocated, valid));
    EXPECT_EQ(allocated, 512u);
    uint64_t firstSector = 0;
    ASSERT_TRUE(volume.GetItemExtent(two, allocated, firstSector));
    EXPECT_EQ(allocated, 512u);
    EXPECT_EQ(firstSector, test::TinyFat12::kDataStart + 28u);
}

TEST_F(TinyVolume, AbsurdEntriesLoadAndFailCleanly) {
    fat.SetRootEntry(0, ShortEntry("HUGE    BIN", 0x20, 0xFFF, 0xFFFFFFFF));
    fat.SetRootEntry(1, ShortEntry("FAR        ", 0x10, 0xFF0, 0));
    fat.SetRootEntry(2, ShortEntry("\xE5" "EAD    BIN", 0x20, 59, 0xFFFFFFF0));
    auto loaded = Load();
    ASSERT_TRUE(loaded.prepared);
    FatVolume& volume = *loaded.volume;
    FileItem* huge = FindItem(*volume.RootItem(), "HUGE.BIN");
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(FindItem(*volume.RootItem(), "FAR")->childCount, 0u);
    std::vector<uint8_t> data(1024);
    EXPECT_FALSE(volume.ReadItemRange(huge, data.data(), 0, 1024, nullptr));
    std::vector<uint8_t> whole;
    uint64_t allocated = 0, valid = 0;
    EXPECT_FALSE(volume.ReadWholeItem(huge, whole, allocated, valid));
    // A deleted file that runs off the volume keeps the clusters that exist.
    FileItem* dead = FindItem(*volume.RootItem(), "_EAD.BIN");
    ClusterRunList runs;
    ASSERT_TRUE(volume.GetItemRuns(dead, runs));
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{59, 3}}));
    uint64_t firstSector = 0;
    ASSERT_TRUE(volume.GetItemExtent(huge, allocated, firstSector));
    EXPECT_EQ(allocated, 0x100000000u);  // whole clusters, beyond 32 bits
}

TEST_F(TinyVolume, FoundItemsReadThroughSectorRuns) {
    for (uint32_t s = 0; s < 8; ++s) std::memset(fat.Bytes().data() + (10 + s) * 512, 'A' + s, 512);
    auto loaded = Load();
    FatVolume& volume = *loaded.volume;
    ClusterRunList* runs = volume.Tree().OwnRunList(std::make_unique<ClusterRunList>());
    runs->Add(12, 2);  // sectors 12, 13 then 10
    runs->Add(10, 1);
    FileItem found;
    found.flags = item_flags::kFound;
    found.size = 1400;
    found.startCluster = 12;
    found.runs = runs;
    std::vector<uint8_t> data(700);
    ASSERT_TRUE(volume.ReadItemRange(&found, data.data(), 500, 700, nullptr));
    EXPECT_EQ(std::string(data.begin(), data.begin() + 12), std::string(12, 'C'));
    EXPECT_EQ(std::string(data.begin() + 12, data.begin() + 524), std::string(512, 'D'));
    EXPECT_EQ(std::string(data.begin() + 524, data.end()), std::string(176, 'A'));
    uint64_t allocated = 0, first = 0;
    ASSERT_TRUE(volume.GetItemExtent(&found, allocated, first));
    EXPECT_EQ(allocated, 1536u);
    EXPECT_EQ(first, 12u);
}

TEST_F(TinyVolume, GeometryOperations) {
    auto loaded = Load();
    FatVolume& volume = *loaded.volume;
    EXPECT_EQ(volume.FirstDataSector(), 4u);
    EXPECT_EQ(volume.ClusterToSector(0), 4u);
    EXPECT_EQ(volume.ClusterToSector(1), 4u);
    EXPECT_EQ(volume.ClusterToSector(7), 9u);
    EXPECT_EQ(volume.SectorToCluster(2), 2u);
    EXPECT_EQ(volume.SectorToCluster(9), 7u);
    EXPECT_EQ(volume.BytesPerCluster(), 512u);
    ClusterRunList rootSectors;
    ASSERT_TRUE(volume.ListRootSectors(rootSectors));
    EXPECT_EQ(rootSectors.Runs(), (std::vector<ClusterRun>{{3, 1}}));
    std::vector<DiskRegion> regions;
    ASSERT_TRUE(volume.ListRegions(regions));
    EXPECT_EQ(regions, (std::vector<DiskRegion>{{0, 0, 1}, {1, 1, 2}, {2, 2, 3}, {3, 3, 6}, {4, 63, 7}}));
    uint8_t sector[512];
    EXPECT_FALSE(volume.ReadRaw(sector, 512, 1, false));
    EXPECT_TRUE(volume.ReadRaw(sector, 512, 1, true));  // one cluster before the data area: the root
    EXPECT_TRUE(volume.ReadRaw(sector, 512, 2, false));
    uint64_t allocated = 0, valid = 0;
    std::vector<uint8_t> root;
    ASSERT_TRUE(volume.ReadWholeItem(volume.RootItem(), root, allocated, valid));
    EXPECT_EQ(root.size(), 512u);
}

}  // namespace
}  // namespace delvora
