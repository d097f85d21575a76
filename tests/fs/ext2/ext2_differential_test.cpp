// EXT2, EXT3 and EXT4 volumes made by the real tools, compared with The
// Sleuth Kit item by item: names with their deleted marks (fls), sizes and
// times (istat), contents (icat).
#include <gtest/gtest.h>

#include <algorithm>

#include "fs/ext2/ext2_test_support.h"

namespace delvora::test {
namespace {

struct Recipe {
    const char* name;
    const char* kind;         // the description the volume gets
    std::string mkfsOptions;  // after mke2fs -q
    std::string size;
    std::vector<std::string> after;  // shell commands on the image ($I), in order
};

// A tree for every recipe: nested folders, a folder and a root with more
// than one block of records (hashed once e2fsck -D has indexed them), tiny
// files (inline on ext4), a file of many extents around holes (an extent tree
// with an index node), and a 5 GiB file that is a hole but for its end.
std::string MakeTree(const TempDir& tmp) {
    const std::string d = tmp.File("tree");
    const std::string script =
        "set -e; mkdir -p '" + d + "/a/b' '" + d + "/big' '" + d + "/deep/x/y'; cd '" + d + "';"
        "for i in $(seq 1 150); do echo $i > big/file_$i; done;"
        "for i in $(seq 1 90); do echo $i > root_file_$i; done;"
        "echo hello > a/b/c; echo small > s; echo tiny > tiny; echo z > deep/x/y/z;"
        "head -c 30000 /dev/urandom > r;"
        "for i in 0 1 2 3 4 5 6 7 8 9; do head -c 1000 /dev/urandom | dd of=frag bs=1 seek=$((i * 8192)) "
        "conv=notrunc status=none; done;"
        "truncate -s 5G huge; printf 'end' >> huge";
    return RunShell(script) == 0 ? d : std::string();
}

const std::vector<std::string> kDeletions = {
    "debugfs -w -R 'rm /s' $I", "debugfs -w -R 'rm /big/file_7' $I", "debugfs -w -R 'rm /deep/x/y/z' $I",
    "debugfs -w -R 'rmdir /deep/x/y' $I"};

std::vector<Recipe> Recipes() {
    const std::string index = "e2fsck -fyD $I";
    std::vector<std::string> ext4 = {index, "debugfs -w -R 'sif /tiny mtime_extra 0x12345678' $I",
                                     "debugfs -w -R 'sif /tiny crtime 0x10000000' $I",
                                     "debugfs -w -R 'sif /tiny crtime_extra 0x00000400' $I"};
    ext4.insert(ext4.end(), kDeletions.begin(), kDeletions.end());
    std::vector<std::string> ext2 = {index};
    ext2.insert(ext2.end(), kDeletions.begin(), kDeletions.end());
    // The tree fills only the first of two groups; a deleted record then
    // names an inode of the second, whose every inode the descriptor calls
    // free: the load reads that table only for the record's inode.
    std::vector<std::string> freeGroup = ext2;
    for (const char* field :
         {"mode 0100644", "size 5", "mtime 1500000000", "atime 1500000100", "ctime 1500000200", "dtime 1600000000"})
        freeGroup.push_back(std::string("debugfs -w -R 'sif <1030> ") + field + "' $I");
    freeGroup.push_back("debugfs -w -R 'link <1030> /ghost' $I");
    freeGroup.push_back("debugfs -w -R 'unlink /ghost' $I");
    return {{"ext4", "EXT4", "-t ext4 -O inline_data -b 1024", "16M", ext4},
            {"ext2", "EXT2", "-t ext2 -b 4096", "16M", ext2},
            {"ext3", "EXT3", "-t ext3 -b 1024 -I 128", "16M", ext2},
            {"ext2_free_group", "EXT2", "-t ext2 -b 1024 -N 2048", "16M", freeGroup}};
}

std::string Replace(std::string text, const std::string& image) {
    for (size_t at; (at = text.find("$I")) != std::string::npos;) text.replace(at, 2, "'" + image + "'");
    return text;
}

// Size and times as istat gives them.
void ExpectIstatFacts(Ext2Volume& v, FileItem& item, const std::string& image) {
    const IstatFacts facts = Istat(image, item.startCluster);
    EXPECT_EQ(item.size, facts.size);
    ItemTimes times;
    ASSERT_TRUE(v.GetItemTimes(&item, times));
    EXPECT_EQ(times.accessed, facts.times.accessed);
    EXPECT_EQ(times.modified, facts.times.modified);
    EXPECT_EQ(times.changed, facts.times.changed);
    // istat shows a creation time on ext4 only; large ext2 inodes made by
    // mke2fs keep one too, and we give it.
    if (facts.times.created != 0) {
        EXPECT_EQ(times.created, facts.times.created);
    }
}

class Ext2Differential : public ::testing::TestWithParam<Recipe> {};

TEST_P(Ext2Differential, NamesSizesTimesAndContentsMatchSleuthKit) {
    for (const char* tool : {"mke2fs", "debugfs", "e2fsck", "fls", "icat", "istat"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    const Recipe& recipe = GetParam();
    TempDir tmp;
    const std::string tree = MakeTree(tmp);
    ASSERT_FALSE(tree.empty());
    const std::string image = tmp.File("v.img");
    std::string out;
    ASSERT_EQ(RunShell("mke2fs -q " + recipe.mkfsOptions + " -d '" + tree + "' -F '" + image + "' " + recipe.size,
                       &out), 0) << out;
    for (const std::string& command : recipe.after) {
        // e2fsck answers 1 when it changed something (here: indexed folders).
        const int status = RunShell(Replace(command, image) + " >/dev/null 2>&1");
        ASSERT_TRUE(status == 0 || (command.rfind("e2fsck", 0) == 0 && status == 1)) << command;
    }

    auto f = LoadExt2(image);
    ASSERT_TRUE(f->prepared && f->loaded);
    Ext2Volume& v = *f->volume;
    EXPECT_EQ(v.Description(), recipe.kind);
    const auto names = TreeAllNames(*v.RootItem());
    EXPECT_EQ(names, FlsAllNames(image));
    for (const char* expected : {"big/file_150", "root_file_90", "frag", "*s", "*big/file_7", "*deep/x/y/"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;

    for (const auto& [path, item] : ItemsByPath(*v.RootItem())) {
        if (path.rfind("lost+found", 0) == 0) continue;
        SCOPED_TRACE(path);
        if (item->startCluster == 0) {
            // A deleted first record of its block keeps a name, no inode.
            ASSERT_TRUE(item->IsDeleted());
            ItemTimes none;
            EXPECT_FALSE(v.GetItemTimes(item, none));
            continue;
        }
        // istat lists every block pointer: for the 5 GiB hole that takes
        // minutes on ext2; its size and data are checked below.
        if (path != "huge" || std::string(recipe.name) == "ext4") ExpectIstatFacts(v, *item, image);
        if (item->IsDirectory()) continue;
        if (item->size <= (1u << 20)) {
            std::vector<uint8_t> data;
            uint64_t allocated = 0, valid = 0;
            ASSERT_TRUE(v.ReadWholeItem(item, data, allocated, valid));
            ASSERT_GE(data.size(), valid);
            data.resize(valid);
            EXPECT_EQ(data, Icat(image, item->startCluster));
            // Exports and viewers read through the runs they fetched first,
            // which inline data has none of.
            ClusterRunList runs;
            ASSERT_TRUE(v.GetItemRuns(item, runs));
            std::vector<uint8_t> ranged(valid, 0xAA);
            ASSERT_TRUE(v.ReadItemRange(item, ranged.data(), 0, static_cast<uint32_t>(valid), &runs));
            EXPECT_EQ(ranged, data);
            continue;
        }
        // The 5 GiB file: its size from the high half, and ranges across
        // the 4 GiB mark and at its end read like the source file.
        ASSERT_EQ(path, "huge");
        EXPECT_EQ(item->size, 5ull * 1024 * 1024 * 1024 + 3);
        for (uint64_t at : {uint64_t{0}, (uint64_t{1} << 32) - 5, item->size - 4000}) {
            std::vector<uint8_t> got(4000, 0xAA);
            ASSERT_TRUE(v.ReadItemRange(item, got.data(), at, static_cast<uint32_t>(got.size()), nullptr)) << at;
            std::vector<uint8_t> expected(4000, 0);
            if (at == item->size - 4000) std::copy_n("end", 3, expected.end() - 3);
            EXPECT_EQ(got, expected) << at;
        }
    }
    // The created time of the one file that has it set apart from the
    // others, and nanoseconds where the inode keeps them.
    if (std::string(recipe.name) == "ext4") {
        ItemTimes times;
        ASSERT_TRUE(v.GetItemTimes(ItemsByPath(*v.RootItem()).at("tiny"), times));
        EXPECT_EQ(times.created, UnixToUtcTicks(0x10000000, 0x100));
        EXPECT_EQ(times.modified % 10000000, 763549u);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, Ext2Differential, ::testing::ValuesIn(Recipes()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace delvora::test
