// The FAT table and the geometry worked out from a boot sector.
#include <gtest/gtest.h>

#include "common/bytes.h"
#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/fat_test_images.h"
#include "support/recorders.h"

namespace delvora {
namespace {

FatBootParams Params(const std::vector<uint8_t>& sector) {
    FatBootParams p{};
    std::copy(sector.begin() + 3, sector.begin() + 3 + p.size(), p.begin());
    return p;
}

std::vector<uint8_t> BootSector(uint16_t totalSectors16, uint32_t totalSectors32, uint16_t fatSize16,
                                uint32_t fatSize32 = 0, uint32_t rootCluster = 0) {
    std::vector<uint8_t> b(512, 0);
    PutLe16(&b[11], 512);
    b[13] = 4;
    PutLe16(&b[14], 1);
    b[16] = 2;
    PutLe16(&b[17], 512);
    PutLe16(&b[19], totalSectors16);
    PutLe16(&b[22], fatSize16);
    PutLe32(&b[32], totalSectors32);
    PutLe32(&b[36], fatSize32);
    PutLe32(&b[44], rootCluster);
    return b;
}

TEST(FatGeometry, TotalsAndRootByKind) {
    FatGeometry g;
    // FAT16: the 16-bit total when nonzero, whatever the 32-bit field says.
    ASSERT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(BootSector(20000, 99999, 20))), 2, g), GeometryResult::Ok);
    EXPECT_EQ(g.rootStart, 41u);
    EXPECT_EQ(g.dataStart, 41u + 32);
    EXPECT_EQ(g.clusterCount, (20000u - 73) / 4);
    EXPECT_EQ(g.clusterBytes, 2048u);
    ASSERT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(BootSector(0, 99999, 20))), 2, g), GeometryResult::Ok);
    EXPECT_EQ(g.totalSectors, 99999u);
    // FAT12 reads the 32-bit total as well; the count stops at what 12 bits number.
    ASSERT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(BootSector(0, 99999, 20))), 1, g), GeometryResult::Ok);
    EXPECT_EQ(g.clusterCount, 0xFF5u);
    ASSERT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(BootSector(60, 0, 20))), 1, g), GeometryResult::Ok);
    EXPECT_EQ(g.clusterCount, 0u);  // data past the end: no clusters, no wrap-around
    // FAT32: root cluster from the boot sector when it names a cluster, else 2.
    ASSERT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(BootSector(0, 100000, 0, 200, 7))), 3, g), GeometryResult::Ok);
    EXPECT_EQ(g.dataStart, 401u);
    EXPECT_EQ(g.rootCluster, 7u);
    EXPECT_EQ(g.clusterCount, (100000u - 401) / 4);
    ComputeFatGeometry(ParseFatBootParams(Params(BootSector(0, 100000, 0, 200, 0x0FFFFFF0))), 3, g);
    EXPECT_EQ(g.rootCluster, 2u);
    // 4,096-byte sectors: 512 root entries take 4 sectors, a cluster 16 KiB.
    auto big = BootSector(20000, 0, 20);
    PutLe16(&big[11], 4096);
    ASSERT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(big)), 2, g), GeometryResult::Ok);
    EXPECT_EQ(g.dataStart, 41u + 4);
    EXPECT_EQ(g.clusterBytes, 16384u);
    EXPECT_EQ(g.ClusterSector(5), 45u + 3 * 4);
}

TEST(FatGeometry, KindComesFromTheBootSector) {
    struct Case {
        uint32_t total;
        uint16_t fatSize16;
        uint32_t fatSize32;
        int kind;
    } cases[] = {
        // Data from sector 73 with a 20-sector FAT, clusters of 4 sectors.
        {65536, 0, 640, 3},         // FAT32 with far fewer than 65,525 clusters
        {16000, 0, 20, 3},          // even fewer
        {20000, 20, 0, 2},          // 4,981 clusters
        {16000, 20, 0, 1},          // 3,981 clusters
        {4 * 4085 + 73, 20, 0, 2},  // exactly 4,085 clusters
        {4 * 4084 + 73, 20, 0, 1},
        {0x0FFFFFFF, 20, 0, 2},     // a 16-bit FAT size is never FAT32, however many clusters
    };
    for (const auto& c : cases) {
        const auto boot = BootSector(0, c.total, c.fatSize16, c.fatSize32);
        EXPECT_EQ(FatKindOf(ParseFatBootParams(Params(boot))), c.kind) << c.total;
    }
}

TEST(FatGeometry, DamagedAndUnknown) {
    FatGeometry g;
    auto noCluster = BootSector(20000, 0, 20);
    noCluster[13] = 0;
    EXPECT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(noCluster)), 2, g), GeometryResult::DamagedBoot);
    auto oddSector = BootSector(20000, 0, 20);
    PutLe16(&oddSector[11], 768);
    EXPECT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(oddSector)), 2, g), GeometryResult::DamagedBoot);
    // FATs that end past the volume.
    auto huge = BootSector(0, 100000, 0, 0xF0000000u);
    EXPECT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(huge)), 3, g), GeometryResult::DamagedBoot);
    EXPECT_EQ(ComputeFatGeometry(ParseFatBootParams(Params(BootSector(20000, 0, 20))), 4, g),
              GeometryResult::UnknownKind);
}

// A FAT12 image whose FAT spans two sectors, with entry 341 across them.
class FatTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        image = BootSector(64, 0, 4);
        image.resize(64 * 512, 0);
        PutLe16(&image[19], 64);
    }
    void SetFat12(uint32_t n, uint16_t value) {
        uint8_t* fat = &image[512];
        const uint32_t off = n * 3 / 2;
        uint16_t v = static_cast<uint16_t>(fat[off] | (fat[off + 1] << 8));
        v = (n & 1) ? static_cast<uint16_t>((v & 0x000F) | (value << 4)) : static_cast<uint16_t>((v & 0xF000) | value);
        PutLe16(fat + off, v);
    }
    void Open(int kind) {
        path = test::WriteFileBytes(dir.File("fat.img"), image) ? dir.File("fat.img") : "";
        source = std::make_unique<DataSource>(ctx.context);
        source->SetPath(path);
        ASSERT_TRUE(source->Open());
        table.SetKind(kind);
        // The FAT starts after the one reserved sector; four sectors of it.
        table.Attach(FatMedium(source.get(), 0, 512), 1, 4 * 512, &ctx.log);
    }
    test::TempDir dir;
    test::RecordingContext ctx;
    std::vector<uint8_t> image;
    std::string path;
    std::unique_ptr<DataSource> source;
    FatTable table;
};

TEST_F(FatTableTest, Fat12EntryAcrossSectorsInBothModes) {
    SetFat12(341, 0xABC);  // bytes 511 and 512
    SetFat12(340, 0x123);
    SetFat12(342, 0x456);
    Open(1);
    ASSERT_TRUE(table.ReadAllBuffer());
    EXPECT_EQ(table.NextCluster(341), 0xABCu);
    EXPECT_EQ(table.NextCluster(340), 0x123u);
    table.ReleaseAllBuffer();
    EXPECT_FALSE(table.HasAllBuffer());
    EXPECT_EQ(table.NextCluster(341), 0xABCu);
    EXPECT_EQ(table.NextCluster(342), 0x456u);
    EXPECT_EQ(table.NextCluster(340), 0x123u);
    EXPECT_EQ(table.NextCluster(100000), 0u);  // beyond the FAT
}

TEST_F(FatTableTest, Fat32EntriesKeepTheirTopBitsAndFat16EndsAtTheBuffer) {
    PutLe32(&image[512 + 4 * 10], 0xF000000Au);
    Open(3);
    ASSERT_TRUE(table.ReadAllBuffer());
    EXPECT_EQ(table.NextCluster(10), 0xF000000Au);
    table.SetKind(2);
    EXPECT_EQ(table.NextCluster(4 * 512 / 2 + 1), 0u);
}

TEST_F(FatTableTest, UnreadableFatSectorsAreZeroAndLogged) {
    image.resize(3 * 512);  // the FAT's last two sectors are past the end
    SetFat12(5, 0x006);
    Open(1);
    ASSERT_TRUE(table.ReadAllBuffer());
    EXPECT_EQ(table.NextCluster(5), 6u);
    EXPECT_EQ(table.NextCluster(400), 0u);
    // One line for the stretch past the end, from its first FAT sector.
    EXPECT_TRUE(ctx.log.Contains("Read FAT Error 2"));
    EXPECT_FALSE(ctx.log.Contains("Read FAT Error 1"));
}

TEST(ChainLoopGuard, CutsEachLoopWhereItComesBack) {
    struct Case {
        std::vector<uint32_t> walk;  // clusters in chain order, the last one repeating
        std::vector<uint32_t> kept;
    } cases[] = {
        {{5, 5}, {5}},
        {{5, 6, 5}, {5, 6}},
        {{2, 3, 4, 5, 6, 7, 4}, {2, 3, 4, 5, 6, 7}},
        {{9, 8, 7, 6, 5, 4, 3, 2, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 3}, {}},
    };
    cases[3].kept.assign(cases[3].walk.begin(), cases[3].walk.end() - 1);
    for (const auto& c : cases) {
        ChainLoopGuard guard;
        std::vector<uint32_t> chain;
        bool closed = false;
        // Brent's method notices the loop within a few turns of it.
        for (size_t i = 0; i < 200 && !closed; ++i) {
            const size_t loopStart = std::find(c.walk.begin(), c.walk.end(), c.walk.back()) - c.walk.begin();
            const size_t loopLength = c.walk.size() - 1 - loopStart;
            const uint32_t cluster = i < c.walk.size() - 1 ? c.walk[i] : c.walk[loopStart + (i - loopStart) % loopLength];
            if (guard.Closes(cluster)) {
                guard.CutLoop(chain, cluster);
                closed = true;
            } else {
                chain.push_back(cluster);
            }
        }
        EXPECT_TRUE(closed);
        EXPECT_EQ(chain, c.kept);
    }
}

}  // namespace
}  // namespace delvora
