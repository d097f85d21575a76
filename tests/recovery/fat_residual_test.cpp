// The FAT residual search on tool-made volumes whose folder entry was wiped:
// the folder comes back as "Folder N" with its files byte-exact and its lost
// sub-folder nested inside, through the core and through export --residual.
#include <gtest/gtest.h>

#include <filesystem>

#include "case/keyword_search_worker.h"
#include "common/text_format.h"
#include "cli/cli_run.h"
#include "fs/fat/fat_test_images.h"
#include "fs/item_ref.h"
#include "recovery/found_items.h"
#include "recovery/item_pages.h"
#include "recovery/residual_search.h"
#include "search/keyword.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::TempDir;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return out;
}

/// A FAT volume made by mtools with LOST\A.TXT and LOST\INNER\{B.BIN,C.TXT},
/// then LOST's own entry (the root's last) zeroed. Extra files make LOST's
/// entries run on into further clusters. On FAT16 A.TXT is fragmented: its
/// first cluster is the hole GAP.TXT left before LOST's clusters.
std::string MakeLostFolderImage(const TempDir& dir, int bits, int extraFiles = 0) {
    const std::string image = dir.File("lost" + std::to_string(bits) + ".img");
    EXPECT_TRUE(test::WriteFileBytes(dir.File("A.TXT"), Pattern(3000, 1)));
    EXPECT_TRUE(test::WriteFileBytes(dir.File("B.BIN"), Pattern(70000, 2)));
    EXPECT_TRUE(test::WriteFileBytes(dir.File("C.TXT"), Pattern(10, 3)));
    const std::string size = bits == 32 ? "40000" : "20480";
    std::string script = "set -e; export MTOOLS_SKIP_CHECK=1; cd '" + dir.Path() + "'; mkfs.fat -F " +
                               std::to_string(bits) + (bits == 32 ? " -s 1" : "") + " -C '" + image + "' " + size +
                               " >/dev/null; mcopy -i '" + image + "' C.TXT ::/KEEP.TXT; mcopy -i '" + image + "' C.TXT ::/GAP.TXT; mmd -i '" +
                               image + "' ::/LOST ::/LOST/INNER; mdel -i '" + image + "' ::/GAP.TXT; mcopy -i '" +
                               image + "' A.TXT ::/LOST/; mcopy -i '" + image +
                               "' B.BIN C.TXT ::/LOST/INNER/";
    for (int i = 0; i < extraFiles; ++i)
        script += "; mcopy -i '" + image + "' C.TXT ::/LOST/F" + std::to_string(i) + ".TXT";
    if (test::RunShell(script) != 0) return {};
    auto bytes = test::ReadFileBytes(image);
    const std::string name = "LOST       ";
    // The root's entry is the only one named LOST (INNER's ".." is named "..").
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) {
        if (std::equal(name.begin(), name.end(), bytes.begin() + at) && bytes[at + 11] == 0x10) {
            if (!test::PatchFile(image, at, std::vector<uint8_t>(32, 0))) return {};
            return image;
        }
    }
    return {};
}

TEST(FatResidualSearch, WipedFolderComesBackNestedAndByteExact) {
    if (!test::HaveTool("mkfs.fat") || !test::HaveTool("mcopy")) GTEST_SKIP() << "dosfstools/mtools missing";
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        TempDir dir;
        const std::string image = MakeLostFolderImage(dir, bits);
        ASSERT_FALSE(image.empty());
        test::RecordingContext rc;
        auto loaded = test::LoadFat(image, bits == 32 ? 3 : 2, rc.context);
        ASSERT_TRUE(loaded.prepared);
        FatVolume& volume = *loaded.volume;
        ASSERT_EQ(test::FindItem(*volume.RootItem(), "LOST"), nullptr);
        // Twice: the second pass replaces the first.
        ASSERT_TRUE(RunResidualSearch(volume));
        ASSERT_TRUE(RunResidualSearch(volume));
        FileItem& found = *volume.RecycleItem();
        ASSERT_EQ(found.childCount, 1u) << "INNER's folder must be nested in LOST's";
        FileItem& lost = found.children[0];
        EXPECT_EQ(std::string(lost.name), "Folder " + std::to_string(lost.startCluster));
        EXPECT_TRUE(lost.IsDeleted() && lost.IsDirectory());
        const std::map<std::string, std::vector<uint8_t>> expected{
            {"A.TXT", Pattern(3000, 1)}, {"INNER/B.BIN", Pattern(70000, 2)}, {"INNER/C.TXT", Pattern(10, 3)}};
        for (const auto& [path, bytes] : expected) {
            FileItem* item = test::FindItem(lost, path);
            ASSERT_NE(item, nullptr) << path;
            std::vector<uint8_t> data;
            uint64_t allocated = 0, valid = 0;
            ASSERT_TRUE(volume.ReadWholeItem(item, data, allocated, valid)) << path;
            data.resize(valid);
            EXPECT_EQ(data, bytes) << path;
        }
        // Only FAT32 warns: its entries' cluster numbers all fit in 16 bits.
        const auto notices = rc.notifier.Texts();
        EXPECT_EQ(notices.size(), bits == 32 ? 2u : 0u);

        const auto r = test::RunCli(dir, "export '" + image + "' / -r --residual --to '" + dir.File("out") + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string folder = dir.File("out/回收站/Folder " + std::to_string(lost.startCluster));
        EXPECT_EQ(test::ReadFileBytes(folder + "/INNER/B.BIN"), Pattern(70000, 2));
        EXPECT_EQ(test::ReadFileBytes(dir.File("out/KEEP.TXT")), Pattern(10, 3));
        const auto cat = test::RunCli(dir, "cat '" + image + "' '\\回收站\\Folder " + std::to_string(lost.startCluster) +
                                               "\\A.TXT' --residual");
        EXPECT_EQ(cat.out.size(), 3000u);
        EXPECT_EQ(test::RunCli(dir, "ls '" + image + "' --html").status, 2);
    }
}

TEST(FatResidualSearch, FolderHeadOptionDropsAFoldersLaterClusters) {
    if (!test::HaveTool("mkfs.fat") || !test::HaveTool("mcopy")) GTEST_SKIP() << "dosfstools/mtools missing";
    TempDir dir;
    // 80 short names fill LOST's first 2 KiB cluster and spill into a second.
    const std::string image = MakeLostFolderImage(dir, 16, 80);
    ASSERT_FALSE(image.empty());
    for (int ignore : {0, 1}) {
        SCOPED_TRACE(ignore);
        test::RecordingContext rc;
        rc.options.ignoreFirstClusterNotParent = ignore;
        auto loaded = test::LoadFat(image, 2, rc.context);
        ASSERT_TRUE(loaded.prepared);
        ASSERT_TRUE(RunResidualSearch(*loaded.volume));
        FileItem& found = *loaded.volume->RecycleItem();
        ASSERT_EQ(found.childCount, ignore ? 1u : 2u);
        // The head keeps its first cluster's files and INNER nested below.
        FileItem& head = found.children[0];
        EXPECT_NE(test::FindItem(head, "INNER/B.BIN"), nullptr);
        EXPECT_NE(test::FindItem(head, "A.TXT"), nullptr);
    }
    const auto r = test::RunCli(dir, "ls '" + image + "' --residual --ignore-not-parent -r");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::RunCli(dir, "ls '" + image + "' --ignore-not-parent").status, 2);
}

TEST(FatResidualSearch, HitsAndPagesOfFoundFilesResolveToNothingAfterTheNextSearch) {
    if (!test::HaveTool("mkfs.fat") || !test::HaveTool("mcopy")) GTEST_SKIP() << "dosfstools/mtools missing";
    TempDir dir;
    const std::string image = MakeLostFolderImage(dir, 16);
    ASSERT_FALSE(image.empty());
    test::RecordingContext rc;
    auto loaded = test::LoadFat(image, 2, rc.context);
    ASSERT_TRUE(loaded.prepared);
    FatVolume& volume = *loaded.volume;
    ASSERT_TRUE(RunResidualSearch(volume));

    // A keyword from the middle of the lost B.BIN: its hit names the found file.
    const std::vector<uint8_t> b = Pattern(70000, 2);
    std::string hex;
    for (size_t i = 40000; i < 40012; ++i) hex += Format("\\x%02X", b[i]);
    std::vector<KeywordHit> hits;
    const uint64_t sectors = volume.GetDataSource()->SizeBytes() / 512;
    volume.SetTotalSectors(sectors);
    ASSERT_EQ(SearchKeyword(volume, {{hex, kKeywordHex}}, 0, sectors, nullptr, hits), 1);
    CaseItem folder("hits", node_kinds::kSearchFolder);
    StoreHits(folder, volume, hits);
    const CaseItem* inFound = nullptr;
    for (const auto& hit : folder.children)
        if (hit->hitFile.Item() && std::string(hit->hitFile.Item()->name) == "B.BIN") inFound = hit.get();
    ASSERT_NE(inFound, nullptr) << hits.size();
    const ItemRef live(volume, test::FindItem(*volume.RootItem(), "KEEP.TXT"));
    ASSERT_TRUE(live.Item());
    ItemPages pages(volume, *inFound->hitFile.Item());
    std::vector<uint8_t> bytes;
    pages.Read(40000, 12, bytes);
    EXPECT_EQ(bytes, std::vector<uint8_t>(b.begin() + 40000, b.begin() + 40012));

    // The next search frees the found tree: the hit, and a view's pages, now
    // lead nowhere instead of into freed arrays; the volume's own tree stays.
    ASSERT_TRUE(RunResidualSearch(volume));
    EXPECT_EQ(inFound->hitFile.Item(), nullptr);
    EXPECT_TRUE(inFound->hitFile.Gone());
    EXPECT_EQ(inFound->hitFile.GetVolume(), &volume);
    EXPECT_EQ(live.Item(), test::FindItem(*volume.RootItem(), "KEEP.TXT"));
    pages.Read(65536, 12, bytes);  // a page not read before
    EXPECT_TRUE(bytes.empty());

    // A reference outlives its volume too.
    loaded.volume.reset();
    EXPECT_EQ(live.Item(), nullptr);
    EXPECT_EQ(live.GetVolume(), nullptr);
}

// A search split into parts finds, part by part, what the whole search
// finds: every lost folder once, in the part holding its first sector, even
// when a cut falls inside it; the parts only leave the nesting to a merge.
TEST(FatResidualSearch, PartsThatTileTheVolumeFindWhatTheWholeSearchFinds) {
    if (!test::HaveTool("mkfs.fat") || !test::HaveTool("mcopy")) GTEST_SKIP() << "dosfstools/mtools missing";
    TempDir dir;
    // LOST's entries fill two clusters; INNER is a third lost folder.
    const std::string image = MakeLostFolderImage(dir, 16, 80);
    ASSERT_FALSE(image.empty());
    test::RecordingContext rc;
    auto loaded = test::LoadFat(image, 2, rc.context);
    ASSERT_TRUE(loaded.prepared);
    FatVolume& volume = *loaded.volume;
    ASSERT_TRUE(RunResidualSearch(volume));
    const test::FoundItems whole = test::Flatten(*volume.RecycleItem());
    ASSERT_EQ(volume.RecycleItem()->childCount, 2u);
    const uint32_t lost = volume.RecycleItem()->children[0].startCluster;
    const uint32_t more = volume.RecycleItem()->children[1].startCluster;  // LOST's second cluster
    const uint32_t inner = test::FindItem(volume.RecycleItem()->children[0], "INNER")->startCluster;
    auto sector = [&](uint64_t cluster) { return volume.Geometry().ClusterSector(cluster); };
    ASSERT_EQ(volume.Geometry().bytesPerSector, 512u);

    const std::vector<std::vector<uint64_t>> cutSets{
        {sector(lost) + 1},                                   // inside LOST's head cluster
        {sector(more), sector(inner) + 2},                // at its second cluster, inside INNER
        {sector(lost) + 3, sector(more) + 1, sector(inner) + 1},
    };
    for (std::vector<uint64_t> cuts : cutSets) {
        std::sort(cuts.begin(), cuts.end());
        SCOPED_TRACE(cuts.front());
        std::multiset<std::string> items;
        std::multiset<uint32_t> tops;
        uint64_t first = 0;
        for (size_t k = 0; k <= cuts.size(); ++k) {
            const ResidualPart part{first, k < cuts.size() ? cuts[k] : UINT64_MAX};
            ASSERT_TRUE(RunResidualSearch(volume, part));
            const test::FoundItems found = test::Flatten(*volume.RecycleItem());
            items.insert(found.items.begin(), found.items.end());
            tops.insert(found.tops.begin(), found.tops.end());
            first = part.end;
        }
        EXPECT_EQ(items, whole.items);
        // Each folder once; a part nests INNER's into LOST's entry only when
        // it holds both, as the whole search does.
        for (uint32_t top : tops) EXPECT_EQ(tops.count(top), 1u) << top;
        for (uint32_t top : whole.tops) EXPECT_EQ(tops.count(top), 1u) << top;
        EXPECT_EQ(tops.count(inner), cuts.front() > sector(inner) ? 0u : 1u);
    }

    // The command line takes the part in absolute sectors and checks it as
    // search does.
    const std::string range = " --range " + std::to_string(sector(inner)) + "-" + std::to_string(sector(inner + 1) - 1);
    const auto part = test::RunCli(dir, "ls '" + image + "' -r --residual" + range);
    ASSERT_EQ(part.status, 0) << part.err;
    EXPECT_NE(part.out.find("Folder " + std::to_string(inner)), std::string::npos) << part.out;
    EXPECT_NE(part.out.find("B.BIN"), std::string::npos);
    EXPECT_EQ(part.out.find("A.TXT"), std::string::npos);
    for (const char* bad : {" --residual --range 7", " --residual --range 9-8", " --residual --range 0-99999999",
                            " --residual --range x-9", " --range 0-9"}) {
        const auto r = test::RunCli(dir, "ls '" + image + "'" + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--range"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace delvora
