// Decoding of EXT2 structures from byte arrays: geometry, block maps,
// directory records, inode summaries and times.
#include <gtest/gtest.h>

#include <map>

#include "common/text_format.h"
#include "fs/ext2/ext2_block_map.h"
#include "fs/ext2/ext2_directory.h"
#include "fs/ext2/ext2_inode.h"
#include "fs/ext2/ext2_layout.h"

namespace delvora {
namespace {

Ext2Geometry ValidGeometry() {
    Ext2Geometry g;
    g.dwInodeCount = 2048;
    g.qwBlockCount = 8192;
    g.dwLogBlockSize = 0;
    g.dwBlocksPerGroup = 8192;
    g.dwInodesPerGroup = 2048;
    return g;
}

TEST(Ext2Geometry, WorksOutSizesAndRefusesImpossibleValues) {
    Ext2Geometry g = ValidGeometry();
    g.qwBlockCount = 8193;
    ASSERT_TRUE(CompleteExt2Geometry(g));
    EXPECT_EQ(g.dwBlockSize, 1024u);
    EXPECT_EQ(g.dwSectorsPerBlock, 2u);
    EXPECT_EQ(g.qwSectorsPerGroup, 16384u);
    EXPECT_EQ(g.dwGroupCount, 2u);  // rounded up
    EXPECT_EQ(Ext2DescriptorOffset(g), 2048u);
    g.dwLogBlockSize = 2;
    ASSERT_TRUE(CompleteExt2Geometry(g));
    EXPECT_EQ(Ext2DescriptorOffset(g), 4096u);

    const std::map<std::string, void (*)(Ext2Geometry&)> broken = {
        {"log block size 6", [](Ext2Geometry& x) { x.dwLogBlockSize = 6; }},
        {"log block size huge", [](Ext2Geometry& x) { x.dwLogBlockSize = 40; }},
        {"blocks per group 0", [](Ext2Geometry& x) { x.dwBlocksPerGroup = 0; }},
        {"inodes per group 0", [](Ext2Geometry& x) { x.dwInodesPerGroup = 0; }},
        {"no blocks", [](Ext2Geometry& x) { x.qwBlockCount = 0; }},
        {"no root inode", [](Ext2Geometry& x) { x.dwInodeCount = 1; }},
        {"more inodes than groups hold", [](Ext2Geometry& x) { x.dwInodeCount = 2049; }},
        {"inode size 100", [](Ext2Geometry& x) { x.dwInodeSize = 100; }},
        {"inode size 384", [](Ext2Geometry& x) { x.dwInodeSize = 384; }},
        {"inode size above block", [](Ext2Geometry& x) { x.dwInodeSize = 2048; }},
        {"descriptor size 48", [](Ext2Geometry& x) { x.dwDescriptorSize = 48; }},
        {"descriptor size 2048", [](Ext2Geometry& x) { x.dwDescriptorSize = 2048; }},
        {"millions of groups", [](Ext2Geometry& x) { x.qwBlockCount = UINT32_MAX; x.dwBlocksPerGroup = 8; }},
    };
    for (const auto& [what, breakIt] : broken) {
        Ext2Geometry bad = ValidGeometry();
        breakIt(bad);
        EXPECT_FALSE(CompleteExt2Geometry(bad)) << what;
    }
}

TEST(Ext2Geometry, SuperblockAndTypedInFields) {
    std::vector<uint8_t> sb(1024, 0);
    PutLe32(&sb[0], 100);
    PutLe32(&sb[4], 4000);
    PutLe32(&sb[24], 2);
    PutLe32(&sb[32], 32768);
    PutLe32(&sb[40], 100);
    PutLe16(&sb[88], 256);
    EXPECT_EQ(ReadExt2Superblock(sb).dwInodeSize, 128u);  // revision 0 has fixed inodes
    PutLe32(&sb[76], 1);
    const Ext2Geometry g = ReadExt2Superblock(sb);
    EXPECT_EQ(g.dwInodeCount, 100u);
    EXPECT_EQ(g.qwBlockCount, 4000u);
    EXPECT_EQ(g.dwLogBlockSize, 2u);
    EXPECT_EQ(g.dwBlocksPerGroup, 32768u);
    EXPECT_EQ(g.dwInodesPerGroup, 100u);
    EXPECT_EQ(g.dwInodeSize, 256u);

    Ext2Params params{};
    const uint32_t values[8] = {4096, 16384, 0, 0, 8192, 8192, 2048, 5};
    for (int i = 0; i < 8; ++i) PutLe32(params.data() + 4 * i, values[i]);
    Ext2Geometry typed = ReadExt2FixedParams(params);
    ASSERT_TRUE(CompleteExt2Geometry(typed));
    Ext2GroupTable groups;
    groups.AssignFixed(typed);
    EXPECT_EQ(groups.Count(), 2u);
    EXPECT_EQ(groups.InodeTableBlock(0), 5u);
    EXPECT_EQ(groups.InodeTableBlock(1), 8197u);
    EXPECT_EQ(groups.InodeTableBlock(2), 0u);  // beyond the table
}

// A fake medium of 4 KiB blocks for indirect blocks.
struct FakeBlocks {
    std::map<uint64_t, std::vector<uint32_t>> blocks;
    int reads = 0;
    Ext2BlockReader Reader() {
        return [this](uint64_t block, std::span<uint8_t> out) {
            ++reads;
            auto it = blocks.find(block);
            if (it == blocks.end()) return false;
            std::fill(out.begin(), out.end(), 0);
            for (size_t i = 0; i < it->second.size(); ++i) PutLe32(out.data() + 4 * i, it->second[i]);
            return true;
        };
    }
};

std::vector<ClusterRun> Runs(const Ext2BlockMap& map, uint64_t blocks, FakeBlocks& fake, bool* ok = nullptr,
                             uint32_t limit = 1u << 20) {
    ClusterRunList runs;
    const bool result = Ext2BlockMapToRuns(map, blocks, {4096, limit}, fake.Reader(), runs);
    if (ok) *ok = result;
    return runs.Runs();
}

TEST(Ext2BlockMap, JoinsConsecutiveBlocksAndKeepsHoles) {
    FakeBlocks fake;
    EXPECT_EQ(Runs({100, 101, 102, 200}, 4, fake), (std::vector<ClusterRun>{{100, 3}, {200, 1}}));
    // The size decides how many entries count: the rest of the map is ignored.
    EXPECT_EQ(Runs({100, 101, 102, 200}, 2, fake), (std::vector<ClusterRun>{{100, 2}}));
    EXPECT_EQ(Runs({}, 0, fake), (std::vector<ClusterRun>{}));
    // A sparse start, a hole in the middle, and trailing holes up to the size.
    EXPECT_EQ(Runs({0, 0, 7, 8, 0, 9}, 8, fake),
              (std::vector<ClusterRun>{{0, 2}, {7, 2}, {0, 1}, {9, 1}, {0, 2}}));
    EXPECT_EQ(fake.reads, 0);
}

TEST(Ext2BlockMap, RunsJoinAcrossTheDirectIndirectBoundary) {
    FakeBlocks fake;
    Ext2BlockMap map{};
    for (uint32_t i = 0; i < 12; ++i) map[i] = 1000 + i;
    map[12] = 50;
    for (uint32_t i = 0; i < 300; ++i) fake.blocks[50].push_back(1012 + i);
    EXPECT_EQ(Runs(map, 312, fake), (std::vector<ClusterRun>{{1000, 312}}));
    // The indirect block itself is not data, and its remaining entries are holes.
    EXPECT_EQ(Runs(map, 400, fake), (std::vector<ClusterRun>{{1000, 312}, {0, 88}}));
}

TEST(Ext2BlockMap, DoubleAndTripleIndirectAndAbsentPointers) {
    FakeBlocks fake;
    Ext2BlockMap map{};
    map[0] = 10;
    map[13] = 60;                         // double: 1024 * 1024 blocks below it
    fake.blocks[60] = {0, 61};            // its first single block absent
    fake.blocks[61] = {500, 501, 0, 700};
    map[14] = 80;                         // triple
    fake.blocks[80] = {81};
    fake.blocks[81] = {82};
    fake.blocks[82] = {900};
    const uint64_t single = 1024, dbl = 1024 * 1024;
    const uint64_t total = 12 + single + dbl + 1;
    const auto runs = Runs(map, total, fake);
    const std::vector<ClusterRun> expected = {
        {10, 1}, {0, static_cast<uint32_t>(11 + single + 1024)}, {500, 2}, {0, 1}, {700, 1},
        {0, static_cast<uint32_t>(dbl - 1028)}, {900, 1}};
    ASSERT_EQ(runs.size(), expected.size());
    EXPECT_EQ(runs, expected);
}

TEST(Ext2BlockMap, BlocksOutsideTheVolumeOrUnreadableFail) {
    FakeBlocks fake;
    bool ok = true;
    EXPECT_TRUE(Runs({5, 1u << 20}, 2, fake, &ok).empty());
    EXPECT_FALSE(ok);
    Ext2BlockMap map{};
    map[12] = 77;  // not on the fake medium
    Runs(map, 20, fake, &ok);
    EXPECT_FALSE(ok);
    map[12] = 2000000;  // beyond the limit: never read
    const int before = fake.reads;
    Runs(map, 20, fake, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(fake.reads, before);
    // The same block named more often than the volume has blocks.
    fake.blocks[40] = std::vector<uint32_t>(1024, 3);
    map = {};
    map[12] = 40;
    Runs(map, 1000, fake, &ok, 64);
    EXPECT_FALSE(ok);
}

std::vector<std::pair<uint32_t, std::string>> Entries(const std::vector<uint8_t>& block, bool scanDeleted = false) {
    std::vector<std::pair<uint32_t, std::string>> out;
    ParseExt2DirectoryBlock(block, [&](const Ext2DirEntry& e) {
        out.emplace_back(e.dwInode, std::string(e.deleted ? "*" : "") + std::string(e.name) +
                                        (e.type == kExt2TypeDirectory ? "/" : ""));
        return true;
    }, true, scanDeleted);
    return out;
}

void PutRecord(std::vector<uint8_t>& b, size_t at, uint32_t inode, uint16_t length, const std::string& name,
               uint8_t type) {
    PutLe32(&b[at], inode);
    PutLe16(&b[at + 4], length);
    b[at + 6] = static_cast<uint8_t>(name.size());
    b[at + 7] = type;
    std::copy(name.begin(), name.end(), b.begin() + static_cast<std::ptrdiff_t>(at) + 8);
}

TEST(Ext2Directory, WalksRecordsAndSkipsWhatIsNotAFileOrFolder) {
    std::vector<uint8_t> b(1024, 0);
    PutRecord(b, 0, 0, 24, "gone", 1);     // a deleted first record: no inode left
    PutRecord(b, 24, 2, 12, "..", 2);
    PutRecord(b, 36, 12, 16, "sub", 2);
    PutRecord(b, 52, 13, 16, "link", 7);   // symbolic link
    PutRecord(b, 68, 14, 12, "", 1);       // no name
    PutRecord(b, 80, 15, 944, "file", 1);  // reaches the block end
    EXPECT_EQ(Entries(b), (std::vector<std::pair<uint32_t, std::string>>{{0, "*gone"}, {12, "sub/"}, {15, "file"}}));
}

// Deleted records live in the room a live record's length leaves after its
// name; only records that look written by the file system count.
TEST(Ext2Directory, DeletedRecordsInTheRoomOfLiveOnes) {
    using Found = std::vector<std::pair<uint32_t, std::string>>;
    const std::vector<std::pair<std::string, std::function<void(std::vector<uint8_t>&)>>> cases = {
        {"two deleted behind one live", [](std::vector<uint8_t>& b) {
             PutRecord(b, 0, 11, 1024, "a", 1);
             PutRecord(b, 12, 12, 16, "old1", 1);
             PutRecord(b, 28, 13, 996, "olddir", 2);
         }},
        {"a deleted record behind a deleted first record", [](std::vector<uint8_t>& b) {
             PutRecord(b, 0, 0, 1024, "x", 1);
             PutRecord(b, 12, 14, 1012, "y", 1);
         }},
        {"garbage is no record", [](std::vector<uint8_t>& b) {
             PutRecord(b, 0, 11, 1024, "a", 1);
             PutRecord(b, 12, 12, 7, "bad-length", 1);   // shorter than its name
             PutRecord(b, 36, 13, 16, "bad-type", 9);
             PutRecord(b, 56, 14, 16, std::string("n\0l", 3), 1);
             PutRecord(b, 76, 15, 2000, "past-end", 1);
         }},
        {"an index node holds no records", [](std::vector<uint8_t>& b) {
             PutRecord(b, 0, 0, 1024, "", 0);
             PutRecord(b, 8, 16, 16, "idx", 1);  // index entries that look like one
         }},
    };
    const std::vector<Found> expected = {{{11, "a"}, {12, "*old1"}, {13, "*olddir/"}},
                                         {{0, "*x"}, {14, "*y"}},
                                         {{11, "a"}},
                                         {}};
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<uint8_t> b(1024, 0);
        cases[i].second(b);
        EXPECT_EQ(Entries(b, true), expected[i]) << cases[i].first;
    }
    // Without the scan only the records on the chain count.
    std::vector<uint8_t> b(1024, 0);
    cases[0].second(b);
    EXPECT_EQ(Entries(b), (Found{{11, "a"}}));
    // Inline folders: the parent's number, then records, then the attribute's.
    std::vector<uint8_t> field(60, 0), extra(40, 0);
    PutLe32(&field[0], 2);
    PutRecord(field, 4, 20, 56, "in", 1);
    PutRecord(extra, 0, 21, 40, "more", 2);
    Found inlined;
    ParseExt2InlineDirectory(field, extra, [&](const Ext2DirEntry& e) {
        inlined.emplace_back(e.dwInode, std::string(e.name));
        return true;
    }, true, true);
    EXPECT_EQ(inlined, (Found{{20, "in"}, {21, "more"}}));
}

TEST(Ext2Directory, RecordsWithoutTypeHaveA16BitNameLength) {
    std::vector<uint8_t> b(1024, 0);
    PutRecord(b, 0, 12, 16, "abc", 0);
    PutRecord(b, 16, 13, 1008, "link", 7);  // the byte is part of the length here
    b[16 + 7] = 0;
    std::vector<Ext2DirEntry> seen;
    std::vector<std::string> names;
    ParseExt2DirectoryBlock(b, [&](const Ext2DirEntry& e) {
        seen.push_back(e);
        names.emplace_back(e.name);
        return true;
    }, false);
    ASSERT_EQ(names, (std::vector<std::string>{"abc", "link"}));
    EXPECT_EQ(seen[0].type, 0);
    // With types, a type-0 record is skipped.
    EXPECT_TRUE(Entries(b).empty());
}

TEST(Ext2Directory, DamagedRecordsEndTheBlock) {
    std::vector<uint8_t> b(1024, 0);
    PutRecord(b, 0, 12, 16, "a", 1);
    PutRecord(b, 16, 13, 0, "b", 1);  // length 0 would loop for ever
    PutRecord(b, 32, 14, 16, "c", 1);
    EXPECT_EQ(Entries(b).size(), 1u);
    PutRecord(b, 16, 13, 8, "b", 1);  // shorter than a header with a name
    EXPECT_EQ(Entries(b).size(), 1u);
    PutRecord(b, 16, 13, 2000, "b", 1);  // reaches past the block
    EXPECT_EQ(Entries(b).size(), 1u);
    PutRecord(b, 16, 13, 12, "b", 1);
    b[16 + 6] = 200;                      // name longer than its record
    EXPECT_EQ(Entries(b).size(), 1u);
    std::vector<uint8_t> tail(1024, 0);
    PutRecord(tail, 1016, 12, 8, "", 1);  // header at the very end
    EXPECT_TRUE(Entries(tail).empty());
    bool stopped = ParseExt2DirectoryBlock(b, [](const Ext2DirEntry&) { return false; });
    EXPECT_FALSE(stopped);
}

TEST(Ext2Inode, SummariesKeepMapsUpToTheirLastBlock) {
    Ext2InodeTable table;
    table.Reset(4);
    Ext2Inode a;
    a.qwSize = 5000;
    a.change.seconds = 7;
    a.blockMap = {0, 0, 31, 0, 33};
    table.Store(3, a);
    table.Store(9, a);  // outside: ignored
    Ext2Inode got;
    ASSERT_TRUE(table.Fetch(3, got));
    EXPECT_EQ(got.qwSize, 5000u);
    EXPECT_EQ(got.change.seconds, 7u);
    EXPECT_EQ(got.blockMap, a.blockMap);
    // A large inode's own creation time is the one shown, as the change
    // time; a zero one leaves the change time.
    a.bHasCreateTime = true;
    a.create.seconds = 11;
    table.Store(4, a);
    a.create.seconds = 0;
    table.Store(2, a);
    ASSERT_TRUE(table.Fetch(4, got));
    EXPECT_EQ(got.change.seconds, 11u);
    EXPECT_FALSE(got.bHasCreateTime);
    ASSERT_TRUE(table.Fetch(2, got));
    EXPECT_EQ(got.change.seconds, 7u);
    EXPECT_TRUE(table.HasBlockMap(3));
    EXPECT_FALSE(table.HasBlockMap(1));
    EXPECT_FALSE(table.Fetch(0, got));
    EXPECT_FALSE(table.Fetch(5, got));

    std::vector<uint8_t> raw(128, 0);
    PutLe32(&raw[4], 1234);
    PutLe32(&raw[16], 0x40000000);
    PutLe32(&raw[40 + 14 * 4], 99);
    const Ext2Inode decoded = DecodeExt2Inode(raw);
    EXPECT_EQ(decoded.qwSize, 1234u);
    EXPECT_EQ(decoded.modify.seconds, 0x40000000u);
    EXPECT_EQ(decoded.blockMap[14], 99u);
    EXPECT_EQ(DecodeExt2Inode(ByteSpan(raw).first(18)).modify.seconds, 0u);  // short bytes read as 0
}

std::string DosText(uint32_t unixTime) {
    uint16_t date = 0, time = 0;
    Ext2TimeToDos(unixTime, date, time);
    return date == 0 ? "none" : FormatDosDateTime(date, time);
}

TEST(Ext2Time, UtcTimesAsDosDates) {
    EXPECT_EQ(DosText(0x40000000), "2004-01-10 13:37:04");
    EXPECT_EQ(DosText(315532800), "1980-01-01 00:00:00");
    EXPECT_EQ(DosText(315532799), "none");
    EXPECT_EQ(DosText(0), "none");
    EXPECT_EQ(DosText(951782400), "2000-02-29 00:00:00");  // leap day of a century year
    // Times from 2^31 on fit a DOS date too.
    EXPECT_EQ(DosText(0x80000000u), "2038-01-19 03:14:08");
    EXPECT_EQ(DosText(0xFFFFFFFFu), "2106-02-07 06:28:14");
}

}  // namespace
}  // namespace delvora
