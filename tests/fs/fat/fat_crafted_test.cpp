// Crafted FAT32 volumes at the limits: folders nested 600,000 deep, and a
// 2 TiB volume whose boot sector claims a FAT of 32 Mi sectors and holds a
// deleted file of nearly 4 GiB. Loading, walking, reading and freeing them
// must stay within the stack and within a small amount of memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/bytes.h"
#include "fs/fat/fat_test_images.h"
#include "fs/file_tree.h"
#include "recovery/folder_export.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::ShortEntry;

void Put(uint8_t* cluster, size_t index, const std::vector<uint8_t>& entry) {
    std::copy(entry.begin(), entry.end(), cluster + index * 32);
}

TEST(FatCrafted, FoldersNested600000DeepLoadWalkExportAndFree) {
    constexpr uint32_t kDepth = 600000;
    test::Fat32Layout layout;
    layout.fatSectors = (kDepth + 64) * 4 / 512 + 1;
    layout.totalSectors = static_cast<uint32_t>(layout.DataStart()) + kDepth + 32;
    // Cluster 2 is the root; folder n (from 1) is cluster n + 2 and holds
    // folder n + 1, the last one a file.
    auto cluster = [](uint32_t c, uint8_t* bytes) {
        if (c == 2) return Put(bytes, 0, ShortEntry("D          ", 0x10, 3, 0));
        if (c < 3 || c >= 3 + kDepth) return;
        Put(bytes, 0, ShortEntry(".          ", 0x10, c, 0));
        Put(bytes, 1, ShortEntry("..         ", 0x10, c - 1, 0));
        Put(bytes, 2, c + 1 < 3 + kDepth ? ShortEntry("D          ", 0x10, c + 1, 0)
                                        : ShortEntry("F       TXT", 0x20, 0x12345, 10));
    };
    test::RecordingContext ctx;
    auto loaded = test::LoadFatFrom(
        std::make_unique<test::GeneratedFat32>(layout, [](uint32_t) { return 0x0FFFFFFFu; }, cluster), ctx.context);
    ASSERT_TRUE(loaded.prepared);
    FatVolume& volume = *loaded.volume;

    // The whole chain loaded, each folder with its one child.
    const FileItem* deepest = volume.RootItem();
    uint32_t folders = 0;
    while (deepest->childCount == 1 && deepest->children[0].IsDirectory()) {
        deepest = &deepest->children[0];
        ++folders;
    }
    ASSERT_EQ(folders, kDepth);
    ASSERT_EQ(deepest->childCount, 1u);
    const FileItem& file = deepest->children[0];
    EXPECT_STREQ(file.name, "F.TXT");

    // Walks over the whole depth: path, visit, relink, search.
    EXPECT_EQ(FullPath(file).size(), 2u * kDepth + 6);
    uint64_t visited = 0;
    ForEachBelow(*volume.RootItem(), [&visited](const FileItem&) { return ++visited, true; });
    EXPECT_EQ(visited, kDepth + 1u);
    RelinkParents(*volume.RootItem());
    EXPECT_EQ(file.parent, deepest);
    EXPECT_TRUE(HasLargeCluster(*volume.RootItem()));

    // The export stops at its depth bound and counts the file below as failed.
    test::TempDir target;
    FolderExporter exporter(volume, FolderExportOptions{});
    ASSERT_TRUE(exporter.ExportFolder(*volume.RootItem(), target.Path(), true));
    EXPECT_EQ(exporter.Summary().failed, 1u);
    EXPECT_EQ(exporter.Summary().exported, 0u);
    EXPECT_TRUE(ctx.log.Contains("文件夹层次过深"));

    volume.Tree().Destroy();
    EXPECT_EQ(volume.RootItem()->childCount, 0u);
    EXPECT_EQ(volume.RootItem()->children, nullptr);
}

// A sparse 2 TiB image: 0xFFFFFFFF sectors, a FAT of 32 Mi sectors (far
// more entries than FAT32 can number), the root chain hopping across the
// FAT, a live file of 1,000 consecutive clusters and a deleted one that
// claims 0xFFFFFFFF bytes.
class HugeFat32 : public ::testing::Test {
protected:
    static constexpr uint32_t kBigStart = 1000;
    static constexpr uint64_t kDeepOffset = uint64_t{3} << 30;  // into the deleted file
    const std::vector<uint32_t> kRootChain{2, 3, 4, 30000000, 60000000, 90000000, 120000000,
                                           150000000, 180000000, 210000000, 240000000, 268000000};

    void SetUp() override {
        layout.totalSectors = 0xFFFFFFFF;
        layout.fatSectors = 32u << 20;
        image = dir.File("huge.img");
        ASSERT_TRUE(test::WriteFileBytes(image, layout.BootSector()));
        std::filesystem::resize_file(image, uint64_t{layout.totalSectors} * 512);
        auto entry = [](uint32_t value) {
            std::vector<uint8_t> v(4);
            PutLe32(v.data(), value);
            return v;
        };
        for (size_t i = 0; i < kRootChain.size(); ++i) {
            const uint32_t next = i + 1 < kRootChain.size() ? kRootChain[i + 1] : 0x0FFFFFFF;
            ASSERT_TRUE(test::PatchFile(image, layout.FatOffset(kRootChain[i]), entry(next)));
            // A zero entry would end the root: label entries (skipped) fill it.
            std::vector<uint8_t> root(512);
            for (size_t slot = 0; slot < 16; ++slot) Put(root.data(), slot, ShortEntry("LABEL      ", 0x08, 0, 0));
            Put(root.data(), 2, ShortEntry("F" + std::to_string(10 + i) + "     TXT", 0x20, 0, 0));
            if (i == 0) {
                Put(root.data(), 0, ShortEntry("\xE5IG     BIN", 0x20, kBigStart, 0xFFFFFFFF));
                Put(root.data(), 1, ShortEntry("LIVE    BIN", 0x20, 5000, 512000));
            }
            ASSERT_TRUE(test::PatchFile(image, layout.ClusterOffset(kRootChain[i]), root));
        }
        std::vector<uint8_t> live(1000 * 4);
        for (uint32_t k = 0; k < 1000; ++k) PutLe32(&live[k * 4], k + 1 < 1000 ? 5001 + k : 0x0FFFFFFF);
        ASSERT_TRUE(test::PatchFile(image, layout.FatOffset(5000), live));
        const std::string marker = "DEEPDATA";
        ASSERT_TRUE(test::PatchFile(image, layout.ClusterOffset(kBigStart) + kDeepOffset,
                                    std::vector<uint8_t>(marker.begin(), marker.end())));
    }
    test::TempDir dir;
    test::RecordingContext ctx;
    test::Fat32Layout layout;
    std::string image;
};

TEST_F(HugeFat32, LoadsInLittleMemoryWithOneRunPerStretch) {
    DataSource source(ctx.context);
    source.SetPath(image);
    ASSERT_TRUE(source.Open());
    FatVolume volume;
    volume.SetContext(ctx.context);
    volume.SetDataSource(&source);
    volume.SetFatType(3);
    ASSERT_TRUE(volume.Prepare());
    // The FAT (1 GiB for the clusters FAT32 can number) is read in windows.
    const size_t windows = FatTable::kWindows * FatTable::kWindowBytes;
    EXPECT_LE(volume.Fat().HeldBytes(), windows);
    EXPECT_EQ(volume.Geometry().clusterCount, 0x0FFFFFF5u);
    EXPECT_EQ(volume.Tree().BitmapBytes(), (0x0FFFFFF5u + 2 + 7) / 8);
    ASSERT_TRUE(volume.LoadTree());
    EXPECT_LE(volume.Fat().HeldBytes(), windows);
    volume.ReleaseLoadTables();

    std::set<std::string> names;
    for (uint32_t i = 0; i < volume.RootItem()->childCount; ++i) names.insert(volume.RootItem()->children[i].name);
    EXPECT_EQ(names.size(), kRootChain.size() + 2);
    EXPECT_TRUE(names.count("F21.TXT"));  // in the last root cluster

    // The root chain: its consecutive start as one run, then one run a hop.
    ClusterRunList runs;
    ASSERT_TRUE(volume.GetItemRuns(volume.RootItem(), runs));
    ASSERT_EQ(runs.Size(), kRootChain.size() - 2);
    EXPECT_EQ(runs[0], (ClusterRun{2, 3}));
    EXPECT_EQ(runs[runs.Size() - 1], (ClusterRun{268000000, 1}));

    FileItem* live = test::FindItem(*volume.RootItem(), "LIVE.BIN");
    ASSERT_TRUE(volume.GetItemRuns(live, runs));
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{5000, 1000}}));

    FileItem* big = test::FindItem(*volume.RootItem(), "_IG.BIN");
    ASSERT_NE(big, nullptr);
    ASSERT_TRUE(volume.GetItemRuns(big, runs));
    const uint64_t clusters = (uint64_t{0xFFFFFFFF} + 511) / 512;
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{kBigStart, clusters}}));
    uint64_t allocated = 0, valid = 0;
    ASSERT_TRUE(volume.GetItemSizes(big, runs, allocated, valid));
    EXPECT_EQ(allocated, clusters * 512);
    ClusterRunList sectors;
    ASSERT_TRUE(volume.ConvertRunsToSectors(big, runs, sectors));
    EXPECT_EQ(sectors.Runs(), (std::vector<ClusterRun>{{layout.DataStart() + kBigStart - 2, clusters}}));
    char deep[8] = {};
    ASSERT_TRUE(volume.ReadItemRange(big, reinterpret_cast<uint8_t*>(deep), kDeepOffset, 8, &runs));
    EXPECT_EQ(std::string(deep, 8), "DEEPDATA");
    EXPECT_LE(volume.Fat().HeldBytes(), windows);
}

// The command line on the same image: a listing, and no FAT held whole.
TEST_F(HugeFat32, CommandLineListsWithinAFewMegabytes) {
    DELVORA_REQUIRE_TOOL("/usr/bin/time");
    std::string out;
    const std::string stats = dir.File("time.txt");
    ASSERT_EQ(test::RunShell("{ /usr/bin/time -o '" + stats + "' -f %M " + std::string(DELVORA_CLI_PATH) + " ls '" +
                             image + "' 2>/dev/null; }",
                             &out),
              0);
    EXPECT_NE(out.find("\\F21.TXT"), std::string::npos);
    const auto peak = test::ReadFileBytes(stats);
    const uint64_t peakKiB = std::stoull(std::string(peak.begin(), peak.end()));
    // The bitmap (32 MiB for the numbered clusters) and the windows; the
    // whole FAT alone would be 1 GiB.
    EXPECT_LT(peakKiB, 160u * 1024);
}

}  // namespace
}  // namespace delvora
