// Extent trees built byte by byte: leaves in i_block, index nodes below,
// holes and uninitialized extents, and damaged trees; inode times with
// their extra words.
#include <gtest/gtest.h>

#include <map>

#include "common/text_format.h"
#include "fs/ext2/ext2_extents.h"

namespace delvora {
namespace {

struct Entry {
    uint32_t logical;
    uint32_t lengthOrZero;  // leaves: length (above 32768: uninitialized); index: 0
    uint64_t block;
};

std::vector<uint8_t> Node(uint16_t depth, const std::vector<Entry>& entries, size_t bytes, uint16_t magic = 0xF30A) {
    std::vector<uint8_t> n(bytes, 0);
    PutLe16(&n[0], magic);
    PutLe16(&n[2], static_cast<uint16_t>(entries.size()));
    PutLe16(&n[4], static_cast<uint16_t>(bytes / 12 - 1));
    PutLe16(&n[6], depth);
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* e = &n[12 * (i + 1)];
        PutLe32(e, entries[i].logical);
        if (depth == 0) {
            PutLe16(e + 4, static_cast<uint16_t>(entries[i].lengthOrZero));
            PutLe16(e + 6, static_cast<uint16_t>(entries[i].block >> 32));
            PutLe32(e + 8, static_cast<uint32_t>(entries[i].block));
        } else {
            PutLe32(e + 4, static_cast<uint32_t>(entries[i].block));
            PutLe16(e + 8, static_cast<uint16_t>(entries[i].block >> 32));
        }
    }
    return n;
}

Ext2BlockMap Root(const std::vector<uint8_t>& node) {
    Ext2BlockMap map{};
    for (size_t i = 0; i < map.size(); ++i) map[i] = Le32(ByteSpan(node), 4 * i);
    return map;
}

struct Tree {
    Ext2BlockMap root{};
    std::map<uint64_t, std::vector<uint8_t>> blocks;  // 1 KiB nodes below the root
};

TEST(Ext2Extents, TreesToRuns) {
    const uint64_t high = (uint64_t{1} << 32) + 500;  // a 48-bit block number
    struct Case {
        const char* what;
        Tree tree;
        uint64_t blocks;
        bool ok;
        std::vector<ClusterRun> runs;
    };
    std::vector<Case> cases;
    cases.push_back({"leaves in the root, a gap and a tail hole",
                     {Root(Node(0, {{0, 3, 100}, {3, 2, 103}, {8, 1, 200}}, 60)), {}}, 12, true,
                     {{100, 5}, {0, 3}, {200, 1}, {0, 3}}});
    cases.push_back({"an uninitialized extent reads as zeros", {Root(Node(0, {{0, 32768 + 4, 100}, {4, 1, 50}}, 60)), {}},
                     5, true, {{0, 4}, {50, 1}}});
    cases.push_back({"a 48-bit block", {Root(Node(0, {{0, 2, high}}, 60)), {}}, 2, true, {{high, 2}}});
    Tree indexed{Root(Node(1, {{0, 0, 40}, {10, 0, 41}}, 60)), {}};
    indexed.blocks[40] = Node(0, {{0, 5, 300}, {5, 5, 400}}, 1024);
    indexed.blocks[41] = Node(0, {{10, 2, 500}}, 1024);
    cases.push_back({"an index node with two leaves", indexed, 12, true, {{300, 5}, {400, 5}, {500, 2}}});
    cases.push_back({"only what the size covers", indexed, 7, true, {{300, 5}, {400, 2}}});
    Tree overlapping{Root(Node(0, {{0, 4, 100}, {2, 4, 700}}, 60)), {}};
    cases.push_back({"an extent going back is cut to what is new", overlapping, 6, true, {{100, 4}, {702, 2}}});
    Tree badMagic = indexed;
    badMagic.blocks[41] = Node(0, {{10, 2, 500}}, 1024, 0x1234);
    cases.push_back({"a child without the magic", badMagic, 12, false, {}});
    Tree badDepth = indexed;
    badDepth.blocks[41] = Node(1, {{10, 0, 40}}, 1024);
    cases.push_back({"a child not one level down (a loop)", badDepth, 12, false, {}});
    cases.push_back({"a child outside the volume", {Root(Node(1, {{0, 0, uint64_t{1} << 40}}, 60)), {}}, 4, false, {}});
    cases.push_back({"an unreadable child", {Root(Node(1, {{0, 0, 77}}, 60)), {}}, 4, false, {}});
    cases.push_back({"data outside the volume", {Root(Node(0, {{0, 8, high + 4}}, 60)), {}}, 8, false, {}});
    cases.push_back({"depth 6", {Root(Node(6, {{0, 0, 40}}, 60)), {}}, 4, false, {}});
    std::vector<uint8_t> tooMany = Node(0, {{0, 1, 100}}, 60);
    PutLe16(&tooMany[2], 5);  // more entries than the root holds
    cases.push_back({"more entries than room", {Root(tooMany), {}}, 4, false, {}});

    for (const Case& c : cases) {
        ClusterRunList runs;
        const auto read = [&c](uint64_t block, std::span<uint8_t> out) {
            auto it = c.tree.blocks.find(block);
            if (it == c.tree.blocks.end()) return false;
            std::copy(it->second.begin(), it->second.end(), out.begin());
            return true;
        };
        const bool ok = Ext2ExtentsToRuns(c.tree.root, c.blocks, {1024, high + 10}, read, runs);
        EXPECT_EQ(ok, c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(runs.Runs(), c.runs) << c.what;
        }
    }
    // The first data block is known without a read only for a leaf root.
    uint64_t first = 0;
    EXPECT_TRUE(Ext2FirstExtentBlock(cases[0].tree.root, first));
    EXPECT_EQ(first, 100u);
    EXPECT_FALSE(Ext2FirstExtentBlock(indexed.root, first));
}

// A node whose index entries all name the same leaf: every visit adds
// nothing new, and the walk still ends.
TEST(Ext2Extents, RepeatedChildrenEnd) {
    std::map<uint64_t, std::vector<uint8_t>> blocks;
    blocks[41] = Node(1, std::vector<Entry>(84, Entry{0, 0, 42}), 1024);
    blocks[42] = Node(0, {{0, 3, 100}}, 1024);
    const auto read = [&blocks](uint64_t block, std::span<uint8_t> out) {
        auto it = blocks.find(block);
        if (it == blocks.end()) return false;
        std::copy(it->second.begin(), it->second.end(), out.begin());
        return true;
    };
    ClusterRunList runs;
    ASSERT_TRUE(Ext2ExtentsToRuns(Root(Node(2, {{0, 0, 41}}, 60)), 1000, {1024, 4096}, read, runs));
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{100, 3}, {0, 997}}));

    // Five levels whose every entry names the same child: without visiting a
    // node once only, 84^4 leaf visits; a volume of 2^40 blocks changes nothing.
    int reads = 0;
    const auto counted = [&](uint64_t block, std::span<uint8_t> out) {
        ++reads;
        return read(block, out);
    };
    for (uint64_t level = 1; level <= 3; ++level)
        blocks[41 - level] = Node(static_cast<uint16_t>(1 + level), std::vector<Entry>(84, Entry{0, 0, 42 - level}), 1024);
    ASSERT_TRUE(Ext2ExtentsToRuns(Root(Node(5, {{0, 0, 38}}, 60)), uint64_t{1} << 36, {1024, uint64_t{1} << 40},
                                  counted, runs));
    EXPECT_EQ(reads, 5);
}

TEST(Ext2Inode, TimesWithExtraWordsAndCreation) {
    std::vector<uint8_t> raw(256, 0);
    PutLe16(&raw[0], 0x81A4);
    PutLe32(&raw[4], 7);
    PutLe32(&raw[108], 1);  // the high half of a regular file's size
    PutLe32(&raw[8], 0x80000000u);   // atime: negative seconds...
    PutLe32(&raw[0x8C], 1);          // ...moved on by one epoch: 2038
    PutLe32(&raw[16], 1000);
    PutLe32(&raw[0x88], 250 << 2);   // mtime: 250 ns
    PutLe32(&raw[0x90], 0x10000000);
    PutLe32(&raw[0x94], 12345 << 2);
    PutLe16(&raw[128], 32);
    Ext2Inode inode = DecodeExt2Inode(raw);
    EXPECT_EQ(inode.qwSize, (uint64_t{1} << 32) + 7);
    ASSERT_TRUE(inode.bHasCreateTime);
    EXPECT_EQ(Ext2TimeToUtcTicks(inode.access), UnixToUtcTicks(0x80000000ll));
    EXPECT_EQ(Ext2TimeToUtcTicks(inode.modify), UnixToUtcTicks(1000, 250));
    EXPECT_EQ(Ext2TimeToUtcTicks(inode.create), UnixToUtcTicks(0x10000000, 12345));
    EXPECT_EQ(Ext2TimeToUtcTicks(inode.change), 0u);
    // An extra size that does not cover the creation time, or runs past the
    // inode, leaves it out; a 128-byte inode has none and signed seconds.
    PutLe16(&raw[128], 16);
    EXPECT_FALSE(DecodeExt2Inode(raw).bHasCreateTime);
    EXPECT_TRUE(DecodeExt2Inode(raw).access.hasExtra);
    PutLe16(&raw[128], 200);
    EXPECT_EQ(DecodeExt2Inode(raw).dwExtraSize, 0u);
    const Ext2Inode small = DecodeExt2Inode(ByteSpan(raw).first(128));
    EXPECT_FALSE(small.bHasCreateTime);
    EXPECT_EQ(Ext2TimeToUtcTicks(small.access), UnixToUtcTicks(-2147483648ll));
    // Folders of ext2 used the high half for something else.
    PutLe16(&raw[0], 0x41ED);
    EXPECT_EQ(DecodeExt2Inode(raw).qwSize, 7u);
}

}  // namespace
}  // namespace delvora
