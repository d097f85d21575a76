// The residual record searches: lost MFT records of a volume whose MFT is in
// two pieces, rebuilt into their folder, a stray record outside the MFT and
// a record that only looks like one; records ntfs-3g wrote; EXT2 files deleted by debugfs found as
// "File%d" and read byte-exact against icat of the same inode.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/cli_run.h"
#include "fs/ext2/ext2_test_support.h"
#include "fs/ntfs/ntfs_builder.h"
#include "recovery/found_items.h"
#include "recovery/residual_search.h"

namespace delvora {
namespace {

using namespace test;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(NtfsResidualSearch, LostRecordsComeBackInTheirFolderThroughAFragmentedMft) {
    NtfsImage image;
    // Records 0-15 in clusters 4-7, records 16-31 in clusters 100-103.
    image.mftRuns = {{4, 4}, {100, 4}};
    // A folder whose parent is gone (so the load never reaches it) and a
    // deleted file inside it, both in the MFT's second piece.
    image.SetRecord(20, MakeRecord(0x0002, {StandardInformation(), FileNameAttribute(99, u"Docs")}));
    image.SetRecord(21, MakeRecord(0, {StandardInformation(), FileNameAttribute(20, u"note.txt"),
                                       ResidentData(Text("hello residual"))}));
    // A copy of a record in free space, and a slot that passes the quick
    // test but whose next attribute claims to run far past the record.
    image.data.emplace_back(300 * 4096, MakeRecord(0, {StandardInformation(), FileNameAttribute(20, u"stray.txt"),
                                                        ResidentData(Text("stray"))}));
    Bytes bad = MakeRecord(0, {StandardInformation()});
    PutLe32(&bad[0x38 + 0x60], 0x30);
    PutLe32(&bad[0x38 + 0x64], 0x7FFFFFF0);
    image.data.emplace_back(310 * 4096, bad);
    auto l = LoadNtfsBytes(image.Build());
    ASSERT_TRUE(l->loaded);
    ASSERT_EQ(ChildNamed(l->volume.RootItem(), "Docs"), nullptr);

    ASSERT_TRUE(RunResidualSearch(l->volume));
    FileItem* found = l->volume.RecycleItem();
    ASSERT_EQ(found->childCount, 1u);
    FileItem* docs = ChildNamed(found, "Docs");
    ASSERT_NE(docs, nullptr);
    EXPECT_TRUE(docs->IsDirectory() && docs->IsDeleted());
    FileItem* note = ChildNamed(docs, "note.txt");
    ASSERT_NE(note, nullptr) << "the folder's record number comes through the MFT's second run";
    // The stray copy names folder 20 too, but lies outside the MFT: it is
    // placed by its own parent reference like any other.
    ASSERT_EQ(docs->childCount, 2u);
    for (auto [item, text] : {std::pair{note, "hello residual"}, std::pair{ChildNamed(docs, "stray.txt"), "stray"}}) {
        ASSERT_NE(item, nullptr);
        std::vector<uint8_t> data;
        uint64_t allocated = 0, valid = 0;
        ASSERT_TRUE(l->volume.ReadWholeItem(item, data, allocated, valid));
        data.resize(valid);
        EXPECT_EQ(data, Text(text));
    }
    // With the loaded records searched too, the root comes back as well, and
    // it is not its own child.
    l->rc.options.searchLoadedFiles = 1;
    ASSERT_TRUE(RunResidualSearch(l->volume));
    FileItem* root = ChildNamed(l->volume.RecycleItem(), ".");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(ChildNamed(root, "."), nullptr);
}

// Records that ntfs-3g writes carry the older 48-byte $STANDARD_INFORMATION:
// with the loaded records searched too, its files come back under the root's
// record, byte-exact.
TEST(NtfsResidualSearch, RecordsWrittenByNtfs3gAreFound) {
    if (!HaveTool("mkntfs") || !HaveTool("ntfscp")) GTEST_SKIP() << "ntfs-3g tools missing";
    TempDir dir;
    const std::string image = dir.File("n.img");
    ASSERT_EQ(RunShell("truncate -s 8M '" + image + "' && mkntfs -q -F -f '" + image + "' >/dev/null 2>&1 && " +
                       "printf 'kept by ntfs-3g' > '" + dir.File("a.txt") + "' && ntfscp '" + image + "' '" +
                       dir.File("a.txt") + "' /a.txt >/dev/null 2>&1"),
              0);
    const auto r = RunCli(dir, "cat '" + image + "' '\\回收站\\.\\a.txt' --residual --search-loaded");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "kept by ntfs-3g");
}

// The record search split into parts, with web pages carved on the way,
// finds what the whole search finds: each record once, in the part holding
// its slot's first sector, even when a cut falls inside the slot; a page
// across a cut is carved by the part where it starts, read to its end.
TEST(NtfsResidualSearch, PartsThatTileTheVolumeFindWhatTheWholeSearchFinds) {
    if (!HaveTool("mkntfs") || !HaveTool("ntfscp")) GTEST_SKIP() << "ntfs-3g tools missing";
    TempDir dir;
    const std::string image = dir.File("n.img");
    std::string page = "<html><body>";
    while (page.size() < 3000) page += "a page across a cut ";
    page += "</body></html>";
    ASSERT_TRUE(WriteFileBytes(dir.File("p.htm"), Text(page)));
    ASSERT_EQ(RunShell("truncate -s 8M '" + image + "' && mkntfs -q -F -f '" + image + "' >/dev/null 2>&1 && " +
                       "printf 'kept by ntfs-3g' > '" + dir.File("a.txt") + "' && ntfscp '" + image + "' '" +
                       dir.File("a.txt") + "' /a.txt >/dev/null 2>&1 && ntfscp '" + image + "' '" +
                       dir.File("p.htm") + "' /p.htm >/dev/null 2>&1"),
              0);
    const Bytes bytes = ReadFileBytes(image);
    const auto at = std::search(bytes.begin(), bytes.end(), page.begin(), page.begin() + 12);
    ASSERT_NE(at, bytes.end());
    const uint64_t pageSector = static_cast<uint64_t>(at - bytes.begin()) / 512;

    auto l = LoadNtfsBytes(bytes);
    ASSERT_TRUE(l->loaded);
    l->rc.options.searchLoadedFiles = 1;
    l->rc.options.searchHtml = 1;
    ASSERT_TRUE(RunResidualSearch(l->volume));
    const FoundItems whole = Flatten(*l->volume.RecycleItem());
    const NtfsBootInfo& boot = l->volume.Boot();
    const uint64_t mft = l->volume.MftRuns().begin()->first * boot.sectorsPerCluster;
    const uint64_t slot = boot.recordBytes / 512;
    ASSERT_GT(slot, 1u);
    ASSERT_GT(whole.items.size(), 16u);
    const std::string carved = "HTML " + std::to_string(pageSector) + ".htm|" + std::to_string(pageSector) + "|" +
                               std::to_string(page.size()) + "|";
    ASSERT_EQ(std::count_if(whole.items.begin(), whole.items.end(),
                            [&](const std::string& item) { return item.rfind(carved, 0) == 0; }),
              1);

    const std::vector<std::vector<uint64_t>> cutSets{
        {mft + 5 * slot + 1},                         // inside record 5's slot
        {mft + 12 * slot, pageSector + 1},            // at record 12, inside the page
        {mft + 5 * slot + 1, mft + 12 * slot, pageSector + 1},
    };
    for (std::vector<uint64_t> cuts : cutSets) {
        std::sort(cuts.begin(), cuts.end());
        SCOPED_TRACE(cuts.front());
        std::multiset<std::string> items;
        uint64_t first = 0;
        for (size_t k = 0; k <= cuts.size(); ++k) {
            const ResidualPart part{first, k < cuts.size() ? cuts[k] : UINT64_MAX};
            ASSERT_TRUE(RunResidualSearch(l->volume, part));
            const FoundItems found = Flatten(*l->volume.RecycleItem());
            items.insert(found.items.begin(), found.items.end());
            first = part.end;
        }
        EXPECT_EQ(items, whole.items);
    }
}

TEST(Ext2ResidualSearch, DeletedFilesComeBackAsInodesAndMatchIcatWithBlockMapsAndExtents) {
    if (!HaveTool("mke2fs") || !HaveTool("debugfs") || !HaveTool("icat")) GTEST_SKIP() << "e2fsprogs/sleuthkit missing";
    // Block maps, and ext4's extent roots in the same i_block.
    for (const char* features : {"", "-O extent"}) {
        SCOPED_TRACE(features);
        TempDir dir;
        ASSERT_EQ(RunShell("mkdir -p '" + dir.File("src") + "' && head -c 50000 /dev/urandom > '" +
                           dir.File("src/a.bin") + "' && echo small > '" + dir.File("src/b.txt") +
                           "' && echo kept > '" + dir.File("src/k.txt") + "'"),
                  0);
        const std::string image = dir.File("e2.img");
        ASSERT_EQ(MakeExt2(image, 1024, dir.File("src"), "16M", features), "");
        std::string listing;
        ASSERT_EQ(Debugfs(image, "ls -l /", &listing), 0);
        std::map<std::string, uint32_t> inodes;
        std::istringstream lines(listing);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            uint32_t n = 0;
            std::string word, last;
            if (!(words >> n)) continue;
            while (words >> word) last = word;
            inodes[last] = n;
        }
        ASSERT_TRUE(inodes.count("a.bin") && inodes.count("b.txt"));
        ASSERT_EQ(Debugfs(image, "rm /a.bin"), 0);
        ASSERT_EQ(Debugfs(image, "rm /b.txt"), 0);

        for (const char* name : {"a.bin", "b.txt"}) {
            const uint32_t inode = inodes[name];
            const auto r =
                RunCli(dir, "cat '" + image + "' '\\回收站\\组0\\File" + std::to_string(inode) + "' --residual");
            ASSERT_EQ(r.status, 0) << name << ": " << r.err;
            EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), Icat(image, inode)) << name;
        }
        // The file the directory walk still reaches is not reported.
        const auto ls = RunCli(dir, "ls '" + image + "' --residual");
        EXPECT_EQ(ls.out.find("File" + std::to_string(inodes["k.txt"]) + "\t"), std::string::npos);
        EXPECT_NE(ls.out.find("\\回收站\\组1"), std::string::npos);
    }
}

// Damage that sends inode tables past the volume's end: group 1's table
// (a descriptor), or the rest of every table (an inode count per group of
// two billion). What lies outside is passed by without a message, and
// group 0's lost file is still found.
TEST(Ext2ResidualSearch, TablesPastTheEndKeepTheOtherFinds) {
    if (!HaveTool("mke2fs") || !HaveTool("debugfs")) GTEST_SKIP() << "e2fsprogs missing";
    struct Damage {
        const char* size;  // 16M: two groups of 8,192 blocks; 4M: one
        uint32_t at;
        uint32_t value;
    };
    for (const Damage& damage : {Damage{"16M", 2048 + 32 + 8, 0x00FFFFFF}, Damage{"4M", 1024 + 40, 0x7F000020}}) {
        SCOPED_TRACE(damage.at);
        TempDir dir;
        ASSERT_EQ(RunShell("mkdir -p '" + dir.File("src") + "' && echo lost > '" + dir.File("src/b.txt") + "'"), 0);
        const std::string image = dir.File("e2.img");
        ASSERT_EQ(MakeExt2(image, 1024, dir.File("src"), damage.size), "");
        ASSERT_EQ(Debugfs(image, "rm /b.txt"), 0);
        Bytes far(4);
        PutLe32(far.data(), damage.value);
        ASSERT_TRUE(PatchFile(image, damage.at, far));
        auto l = LoadExt2(image);
        ASSERT_TRUE(l->prepared);  // the tree loads in part when every inode seems in group 0
        ASSERT_TRUE(RunResidualSearch(*l->volume));
        FileItem* group0 = ChildNamed(l->volume->RecycleItem(), "组0");
        ASSERT_NE(group0, nullptr);
        EXPECT_NE(ChildNamed(group0, "File12"), nullptr);
        EXPECT_TRUE(l->rc.notifier.Texts().empty());
    }
}

}  // namespace
}  // namespace delvora
