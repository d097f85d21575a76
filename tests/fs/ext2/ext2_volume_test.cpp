// EXT2 volumes made by mke2fs and debugfs, compared with The Sleuth Kit.
#include <gtest/gtest.h>

#include "common/bytes.h"
#include "common/text_format.h"
#include "fs/ext2/ext2_test_support.h"

namespace delvora::test {
namespace {

// A tree with nested folders, UTF-8 names, an empty file and files that need
// the single, double and triple indirect blocks of 1 KiB blocks (sparse, so
// that the image stays small).
std::string MakeSampleTree(const TempDir& tmp) {
    const std::string d = tmp.File("tree");
    const std::string script =
        "set -e; mkdir -p '" + d + "/a/b/c' '" + d + "/x'; cd '" + d + "';"
        "echo first > first; echo deep > a/b/c/deep.txt; printf 'y' > 'x/中文名.txt';"
        "printf 'z' > 'café'; : > empty; head -c 5000 /dev/urandom > five;"
        "head -c 20000 /dev/urandom > single;"
        "head -c 3000 /dev/urandom > dbl; truncate -s 300K dbl; head -c 7000 /dev/urandom >> dbl;"
        "truncate -s 70M tri; printf 'end' >> tri;"
        "for i in 1 2 3 4 5 6; do echo $i > a/f$i; done";
    return RunShell(script) == 0 ? d : std::string();
}

class Ext2ImageTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(Ext2ImageTest, SameLiveNamesAndContentsAsSleuthKit) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("fls");
    DELVORA_REQUIRE_TOOL("icat");
    TempDir tmp;
    const std::string tree = MakeSampleTree(tmp);
    ASSERT_FALSE(tree.empty());
    const std::string image = tmp.File("v.img");
    ASSERT_EQ(MakeExt2(image, GetParam(), tree, "8M"), "");

    auto f = LoadExt2(image);
    ASSERT_TRUE(f->prepared && f->loaded);
    Ext2Volume& v = *f->volume;
    EXPECT_EQ(v.Description(), "EXT2");
    EXPECT_EQ(TreeNames(*v.RootItem()), FlsLiveNames(image));

    const auto items = ItemsByPath(*v.RootItem());
    ASSERT_TRUE(items.count("x/中文名.txt") && items.count("café") && items.count("a/b/c/deep.txt"));
    for (const auto& [path, item] : items) {
        if (item->IsDirectory()) continue;
        SCOPED_TRACE(path);
        std::vector<uint8_t> data;
        uint64_t allocated = 0, valid = 0;
        if (path == "tri") {
            // Larger than the volume (mostly hole): no whole-item buffer, but
            // piece by piece it reads like any file.
            EXPECT_FALSE(v.ReadWholeItem(item, data, allocated, valid));
            data.resize(item->size);
            for (uint64_t at = 0; at < item->size; at += 1 << 20)
                ASSERT_TRUE(v.ReadItemRange(item, data.data() + at, at, static_cast<uint32_t>(std::min<uint64_t>(1u << 20, item->size - at)), nullptr));
        } else {
            ASSERT_TRUE(v.ReadWholeItem(item, data, allocated, valid));
            ASSERT_GE(data.size(), valid);
            data.resize(valid);
        }
        // icat crawls through long holes; the source file says the same.
        EXPECT_EQ(data, item->size > (1u << 20) ? ReadFileBytes(tree + "/" + path) : Icat(image, item->startCluster));
        EXPECT_TRUE(f->volume->Tree().GetBit(item->startCluster - 1));
    }
    EXPECT_EQ(items.at("empty")->size, 0u);
    EXPECT_EQ(items.at("tri")->size, 70u * 1024 * 1024 + 3);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, Ext2ImageTest, ::testing::Values(1024u, 2048u, 4096u));

TEST(Ext2Volume, VolumeInsideADiskReadsRelativeToItsStart) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("fls");
    TempDir tmp;
    const std::string tree = MakeSampleTree(tmp);
    const std::string part = tmp.File("part.img"), disk = tmp.File("disk.img");
    ASSERT_EQ(MakeExt2(part, 1024, tree, "8M"), "");
    // 1 MiB of other data before the volume and 1 MiB after it.
    ASSERT_EQ(RunShell("head -c 1048576 /dev/urandom > '" + disk + "' && cat '" + part + "' >> '" + disk +
                       "' && head -c 1048576 /dev/urandom >> '" + disk + "'"), 0);
    auto f = LoadExt2(disk, nullptr, 2048, 16384);
    ASSERT_TRUE(f->loaded);
    EXPECT_EQ(TreeNames(*f->volume->RootItem()), FlsLiveNames(part));
    FileItem* single = ItemsByPath(*f->volume->RootItem()).at("single");
    std::vector<uint8_t> data;
    uint64_t allocated = 0, valid = 0;
    ASSERT_TRUE(f->volume->ReadWholeItem(single, data, allocated, valid));
    data.resize(valid);
    EXPECT_EQ(data, ReadFileBytes(tree + "/single"));
    uint8_t sector[512];
    ASSERT_TRUE(f->volume->ReadRaw(sector, 512, 2, false));  // the superblock's first sector
    EXPECT_EQ(Le16(ByteSpan(sector), 56), 0xEF53);
}

TEST(Ext2Volume, RangesAcrossHolesAndRunsMatchIcat) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("icat");
    TempDir tmp;
    const std::string tree = MakeSampleTree(tmp);
    const std::string image = tmp.File("v.img");
    ASSERT_EQ(MakeExt2(image, 1024, tree, "8M"), "");
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    FileItem* dbl = ItemsByPath(*f->volume->RootItem()).at("dbl");
    const std::vector<uint8_t> expected = Icat(image, dbl->startCluster);
    ClusterRunList runs;
    ASSERT_TRUE(f->volume->GetItemRuns(dbl, runs));
    // Unaligned starts, a range across the hole and one across the end of data.
    for (uint32_t offset : {0u, 1u, 511u, 2999u, 300u * 1024 - 7, static_cast<uint32_t>(expected.size()) - 10}) {
        const uint32_t count = std::min<uint32_t>(9000, static_cast<uint32_t>(expected.size()) - offset);
        std::vector<uint8_t> got(count);
        ASSERT_TRUE(f->volume->ReadItemRange(dbl, got.data(), offset, count, &runs)) << offset;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + offset)) << offset;
    }
    // Past the allocation there is nothing to deliver.
    uint8_t byte = 0;
    EXPECT_FALSE(f->volume->ReadItemRange(dbl, &byte, 400 * 1024, 1, &runs));
    // Holes have no sectors.
    ClusterRunList sectors;
    ASSERT_TRUE(f->volume->ConvertRunsToSectors(dbl, runs, sectors));
    for (const ClusterRun& run : sectors) EXPECT_NE(run.first, 0u);
}

TEST(Ext2Volume, DeletedFilesAreListedAsSleuthKitListsThem) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("debugfs");
    DELVORA_REQUIRE_TOOL("fls");
    DELVORA_REQUIRE_TOOL("icat");
    TempDir tmp;
    const std::string tree = MakeSampleTree(tmp);
    const std::string image = tmp.File("v.img");
    ASSERT_EQ(MakeExt2(image, 1024, tree, "8M"), "");
    // f1 is the first record after "." and "..": its room goes to "..".
    for (const char* path : {"/a/f1", "/a/f4", "/single", "/x/中文名.txt"})
        ASSERT_EQ(Debugfs(image, std::string("rm ") + path), 0);
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    const auto names = TreeAllNames(*f->volume->RootItem());
    EXPECT_EQ(names, FlsAllNames(image));
    for (const char* kept : {"a/f2", "a/f3", "a/f5", "a/f6", "x/", "*a/f1", "*single", "*x/中文名.txt"})
        EXPECT_NE(std::find(names.begin(), names.end(), kept), names.end()) << kept;
    // ext2 keeps a deleted file's map: its data reads as icat gives it.
    FileItem* single = ItemsByPath(*f->volume->RootItem()).at("single");
    EXPECT_TRUE(single->IsDeleted());
    std::vector<uint8_t> data;
    uint64_t allocated = 0, valid = 0;
    ASSERT_TRUE(f->volume->ReadWholeItem(single, data, allocated, valid));
    data.resize(valid);
    EXPECT_EQ(data, Icat(image, single->startCluster));
    EXPECT_EQ(data, ReadFileBytes(tree + "/single"));
}

TEST(Ext2Volume, SizesExtentAndTimesOfAFileOn4KBlocks) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("debugfs");
    TempDir tmp;
    const std::string tree = MakeSampleTree(tmp);
    const std::string image = tmp.File("v.img");
    ASSERT_EQ(MakeExt2(image, 4096, tree, "8M"), "");
    ASSERT_EQ(Debugfs(image, "sif /five mtime 0x40000000"), 0);
    ASSERT_EQ(Debugfs(image, "sif /five ctime 0"), 0);
    ASSERT_EQ(Debugfs(image, "sif /five crtime 0"), 0);
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    FileItem* five = ItemsByPath(*f->volume->RootItem()).at("five");
    uint64_t allocated = 0, valid = 0;
    ASSERT_TRUE(f->volume->GetItemSizes(five, allocated, valid));
    EXPECT_EQ(allocated, 8192u);
    EXPECT_EQ(valid, 5000u);
    EXPECT_EQ(FormatDosDateTime(five->writeDate, five->writeTime), "2004-01-10 13:37:04");
    EXPECT_EQ(five->createDate, 0);  // 1970 has no DOS date (no creation time: the change time)

    uint64_t firstSector = 0;
    ASSERT_TRUE(f->volume->GetItemExtent(five, allocated, firstSector));
    EXPECT_EQ(allocated, 8192u);
    EXPECT_EQ(uint64_t{firstSector} * 512, BlockOffset(image, "/five", 0, 4096));
    uint64_t again = 0;
    ASSERT_TRUE(f->volume->GetItemExtent(five, allocated, again));
    EXPECT_EQ(again, firstSector);
    EXPECT_EQ(allocated, 8192u);
}

TEST(Ext2Volume, DirectoryLinksFormingCyclesEndTheWalk) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("debugfs");
    TempDir tmp;
    const std::string tree = MakeSampleTree(tmp);
    const std::string image = tmp.File("v.img");
    ASSERT_EQ(MakeExt2(image, 1024, tree, "8M"), "");
    ASSERT_EQ(Debugfs(image, "ln /a /a/b/c/up"), 0);
    ASSERT_EQ(Debugfs(image, "ln / /x/root"), 0);
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    const auto items = ItemsByPath(*f->volume->RootItem());
    ASSERT_TRUE(items.count("a/b/c/up") && items.count("x/root"));
    EXPECT_TRUE(items.at("a/b/c/up")->IsDirectory());
    EXPECT_EQ(items.at("a/b/c/up")->childCount, 0u);
    EXPECT_EQ(items.at("x/root")->childCount, 0u);
}

TEST(Ext2Volume, FolderLargerThanOneReadChunk) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("fls");
    TempDir tmp;
    const std::string d = tmp.File("big");
    // 400 records of 208 bytes: about 83 KiB of 1 KiB directory blocks.
    ASSERT_EQ(RunShell("mkdir -p '" + d + "/many' && cd '" + d + "/many' && for i in $(seq 1000 1399); do "
                       ": > \"$i$(printf 'n%.0s' $(seq 1 196))\"; done"), 0);
    const std::string image = tmp.File("v.img");
    ASSERT_EQ(MakeExt2(image, 1024, d, "4M"), "");
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    const auto items = ItemsByPath(*f->volume->RootItem());
    FileItem* many = items.at("many");
    EXPECT_GT(many->size, 65536u);
    EXPECT_EQ(many->childCount, 400u);
    EXPECT_EQ(TreeNames(*f->volume->RootItem()), FlsLiveNames(image));
}

TEST(Ext2Volume, RecordsWithoutFileTypeTakeItFromTheInode) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("fls");
    TempDir tmp;
    const std::string tree = MakeSampleTree(tmp);
    // Without the file-type feature, and the original revision 0 layout.
    for (const char* options : {"-O ^filetype", "-r 0"}) {
        const std::string image = tmp.File("v.img");
        ASSERT_EQ(MakeExt2(image, 1024, tree, "8M", options), "");
        auto f = LoadExt2(image);
        ASSERT_TRUE(f->loaded) << options;
        EXPECT_EQ(TreeNames(*f->volume->RootItem()), FlsLiveNames(image)) << options;
    }
}

TEST(Ext2Volume, TypedInParametersReplaceTheSuperblock) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    TempDir tmp;
    const std::string tree = MakeSampleTree(tmp);
    const std::string image = tmp.File("v.img");
    // One group with 128-byte inodes, so the first inode table decides all.
    ASSERT_EQ(MakeExt2(image, 1024, tree, "8M", "-I 128 -g 8192 -N 64"), "");
    auto probe = LoadExt2(image);
    ASSERT_TRUE(probe->loaded);
    const Ext2Geometry& g = probe->volume->Geometry();
    ASSERT_EQ(g.dwGroupCount, 1u);
    Ext2Params params{};
    const uint32_t values[8] = {g.dwInodeCount, static_cast<uint32_t>(g.qwBlockCount), 0, 0, g.dwBlocksPerGroup, 0,
                                g.dwInodesPerGroup,
                                static_cast<uint32_t>(probe->volume->Ext2Tree().m_Groups.InodeTableBlock(0))};
    for (int i = 0; i < 8; ++i) PutLe32(params.data() + 4 * i, values[i]);
    // The superblock is wiped: only the typed-in values can work.
    ASSERT_TRUE(PatchFile(image, 1024, std::vector<uint8_t>(1024, 0)));
    EXPECT_FALSE(LoadExt2(image)->prepared);
    auto f = LoadExt2(image, &params);
    ASSERT_TRUE(f->loaded);
    EXPECT_EQ(TreeNames(*f->volume->RootItem()), TreeNames(*probe->volume->RootItem()));
}

TEST(Ext2Volume, ClusterOperationsAnswerZero) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    TempDir tmp;
    const std::string image = tmp.File("v.img");
    ASSERT_EQ(MakeExt2(image, 4096, "", "8M", "-I 128"), "");
    auto f = LoadExt2(image);
    ASSERT_TRUE(f->loaded);
    Ext2Volume& v = *f->volume;
    EXPECT_EQ(v.BytesPerCluster(), 0u);
    EXPECT_EQ(v.SectorsPerCluster(), 0u);
    EXPECT_EQ(v.ClusterToSector(5), 0u);
    EXPECT_EQ(v.SectorToCluster(5), 0u);
    EXPECT_EQ(v.FileSystemKind(), 5);
    EXPECT_FALSE(v.Traits().reportErrorsAfterLoad);
    EXPECT_EQ(v.Traits().pauseMs, 0);
}

}  // namespace
}  // namespace delvora::test
