// Whole volumes built byte by byte: loading, the tree's shape, and the item
// operations (runs, sizes, extent, data) on resident, non-resident,
// fragmented and found items.
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>

#include "common/bytes.h"
#include "fs/volume_registry.h"
#include "ntfs_builder.h"

namespace delvora::test {
namespace {

constexpr uint16_t kInUse = 1;
constexpr uint16_t kDir = 3;

Bytes FileRecord(uint16_t flags, uint32_t parent, const std::u16string& name, Bytes data = {}) {
    std::vector<Bytes> attributes{StandardInformation(), FileNameAttribute(parent, name)};
    if (!data.empty()) attributes.push_back(std::move(data));
    return MakeRecord(flags, attributes);
}

Bytes Pattern(size_t n, uint32_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 131 + seed * 7 + (i >> 9)) & 0xFF);
    return b;
}

class NtfsVolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    std::unique_ptr<LoadedNtfs> Load(const Bytes& image) {
        const std::string path = dir.File("ntfs.img");
        EXPECT_TRUE(WriteFileBytes(path, image));
        return LoadNtfs(path);
    }
    TempDir dir;
};

TEST_F(NtfsVolumeTest, ReadsAnMftInThreeFragmentsWithRecordsNumberedAcrossThem) {
    NtfsImage image;
    image.mftRuns = {{4, 1}, {20, 2}, {12, 1}};  // records 0-3, 4-11, 12-15
    image.SetRecord(9, FileRecord(kDir, 5, u"docs"));
    image.SetRecord(13, FileRecord(kInUse, 9, u"note.txt", ResidentData(Pattern(50, 1))));
    image.SetRecord(3, FileRecord(kInUse, 5, u"first"));
    auto l = Load(image.Build());
    ASSERT_TRUE(l->loaded);
    FileItem* root = l->volume.RootItem();
    EXPECT_TRUE(root->IsDirectory());
    FileItem* docs = ChildNamed(root, "docs");
    ASSERT_NE(docs, nullptr);
    FileItem* note = ChildNamed(docs, "note.txt");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->startCluster, 13u);
    EXPECT_EQ(note->parent, docs);
    EXPECT_NE(ChildNamed(root, "first"), nullptr);
    // Record 13 is the second record of the third fragment.
    EXPECT_EQ(l->volume.RecordToSector(13, false), 12u * 8 + 2);
    EXPECT_EQ(l->volume.RecordToSector(16, false), 0u);
    EXPECT_TRUE(l->volume.Tree().GetBit(12u * 8 + 2));
    uint64_t allocated = 0, first = 0;
    EXPECT_TRUE(l->volume.GetItemExtent(note, allocated, first));
    EXPECT_EQ(first, 12u * 8 + 2);
    EXPECT_EQ(allocated, 4096u);
    Bytes got(50);
    EXPECT_TRUE(l->volume.ReadItemRange(note, got.data(), 0, 50, nullptr));
    EXPECT_EQ(got, Pattern(50, 1));

    std::vector<DiskRegion> regions;
    EXPECT_TRUE(l->volume.ListRegions(regions));
    // The fragments where they lie, not laid end to end after the first.
    EXPECT_EQ(regions, (std::vector<DiskRegion>{
                           {0, 31, 12}, {32, 39, 18}, {160, 175, 18}, {96, 103, 18}, {32, 4096, 7}}));
}

TEST_F(NtfsVolumeTest, SortsFoldersFirstAndLeavesTheRootOutOfItsOwnChildren) {
    NtfsImage image;
    image.SetRecord(6, FileRecord(kInUse, 5, u"b.txt"));
    image.SetRecord(7, FileRecord(kDir, 5, u"Zeta"));
    image.SetRecord(8, FileRecord(kInUse, 5, u"A.txt"));
    image.SetRecord(9, FileRecord(kDir, 5, u"alpha"));
    auto l = Load(image.Build());
    ASSERT_TRUE(l->loaded);
    FileItem* root = l->volume.RootItem();
    std::vector<std::string> names;
    for (uint32_t i = 0; i < root->childCount; ++i) names.push_back(root->children[i].name);
    // Record 5 names itself as its parent: it is the root, not a "." inside it.
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Zeta", "$MFT", "A.txt", "b.txt"}));
    EXPECT_EQ(l->volume.Description(), "NTFS");
    EXPECT_EQ(l->volume.FileSystemKind(), 4);
    const LoadTraits traits = l->volume.Traits();
    EXPECT_TRUE(traits.reportErrorsAfterLoad);
    EXPECT_EQ(traits.pauseMs, 300);
    EXPECT_TRUE(traits.pauseBeforeTreeTexts);
    EXPECT_NE(MakeVolume(VolumeClass::Ntfs), nullptr);
}

TEST_F(NtfsVolumeTest, ShowsDeletedFilesOnlyUnderFoldersThatAreStillFolders) {
    NtfsImage image;
    image.mftRuns = {{4, 8}};
    image.SetRecord(20, FileRecord(kDir, 5, u"live"));
    image.SetRecord(21, FileRecord(0, 20, u"gone.txt"));
    image.SetRecord(22, FileRecord(kInUse, 5, u"reused.txt"));  // was a folder once
    image.SetRecord(23, FileRecord(0, 22, u"lost.txt"));
    image.SetRecord(24, FileRecord(2, 5, u"old folder"));  // deleted folder, still reachable
    image.SetRecord(25, FileRecord(0, 24, u"inside old"));
    auto l = Load(image.Build());
    ASSERT_TRUE(l->loaded);
    FileItem* root = l->volume.RootItem();
    FileItem* gone = ChildNamed(ChildNamed(root, "live"), "gone.txt");
    ASSERT_NE(gone, nullptr);
    EXPECT_TRUE(gone->IsDeleted());
    EXPECT_EQ(ChildNamed(root, "reused.txt")->childCount, 0u);
    EXPECT_EQ(ChildNamed(root, "lost.txt"), nullptr);
    FileItem* old = ChildNamed(root, "old folder");
    ASSERT_NE(old, nullptr);
    EXPECT_TRUE(old->IsDeleted() && old->IsDirectory());
    EXPECT_NE(ChildNamed(old, "inside old"), nullptr);
}

TEST_F(NtfsVolumeTest, SurvivesParentCycles) {
    NtfsImage image;
    image.mftRuns = {{4, 8}};
    // Folder 20 sits under the root and also (a second name) under 21,
    // which sits under 20; folder 22 names itself as its parent.
    image.SetRecord(20, MakeRecord(kDir, {StandardInformation(), FileNameAttribute(5, u"A"),
                                          FileNameAttribute(21, u"A again")}));
    image.SetRecord(21, FileRecord(kDir, 20, u"B"));
    image.SetRecord(22, MakeRecord(kDir, {StandardInformation(), FileNameAttribute(22, u"self"),
                                          FileNameAttribute(5, u"C")}));
    image.SetRecord(23, FileRecord(kInUse, 22, u"in self"));
    auto l = Load(image.Build());
    ASSERT_TRUE(l->loaded);
    FileItem* a = ChildNamed(l->volume.RootItem(), "A");
    ASSERT_NE(a, nullptr);
    FileItem* b = ChildNamed(a, "B");
    ASSERT_NE(b, nullptr);
    FileItem* again = ChildNamed(b, "A again");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->childCount, 0u);
    FileItem* c = ChildNamed(l->volume.RootItem(), "C");
    ASSERT_NE(c, nullptr);
    EXPECT_NE(ChildNamed(c, "in self"), nullptr);
}

TEST_F(NtfsVolumeTest, FailsWithoutRootChildrenOrTotalSectors) {
    {
        NtfsImage image;
        // Neither the root nor the MFT names the root folder as its parent.
        image.SetRecord(5, FileRecord(kDir, 3, u"."));
        image.SetRecord(0, FileRecord(kInUse, 3, u"$MFT", NonResidentData(EncodeRuns(image.mftRuns), 16384)));
        auto l = Load(image.Build());
        EXPECT_TRUE(l->prepared);
        EXPECT_FALSE(l->loaded);
        EXPECT_EQ(l->volume.RootItem()->childCount, 0u);
        EXPECT_TRUE(l->rc.notifier.Texts().empty());
    }
    {
        Bytes bytes = NtfsImage().Build();
        std::fill(bytes.begin() + 0x28, bytes.begin() + 0x30, 0);
        auto l = Load(bytes);
        EXPECT_FALSE(l->prepared);
        EXPECT_TRUE(l->rc.log.Lines().empty());
    }
    {
        Bytes bytes = NtfsImage().Build();
        PutLe16(&bytes[4 * 4096 + 0x14], 0x10);
        auto l = Load(bytes);
        EXPECT_FALSE(l->prepared);
        EXPECT_EQ(l->rc.log.Lines(),
                  std::vector<std::string>{"取出第一个属性的偏移位置出错,位于 32 扇区,分析文件系统失败!"});
    }
    {
        // Seven sectors give no byte of bitmap.
        Bytes bytes = NtfsImage().Build();
        bytes[0x28] = 7;
        bytes[0x29] = 0;
        auto l = Load(bytes);
        EXPECT_FALSE(l->prepared);
        EXPECT_EQ(l->rc.notifier.Texts(), std::vector<std::string>{"分配簇使用位图失败!"});
    }
}

TEST_F(NtfsVolumeTest, BoundsAnMftThatClaimsBillionsOfRecords) {
    NtfsImage image;
    image.mftRuns = {{4, 0xFFFFFFF0u}};
    image.SetRecord(6, FileRecord(kInUse, 5, u"still here"));
    auto l = Load(image.Build());
    EXPECT_TRUE(l->prepared);
    EXPECT_LE(l->volume.Tree().BitmapBytes(), 4096u / 8);
    EXPECT_TRUE(l->loaded);
    EXPECT_NE(ChildNamed(l->volume.RootItem(), "still here"), nullptr);
}

TEST_F(NtfsVolumeTest, SizesFollowTheClustersTheDataNeeds) {
    NtfsImage image;
    const Bytes small = Pattern(100, 2);
    const Bytes page = Pattern(4096, 3);
    image.SetRecord(6, FileRecord(kInUse, 5, u"small", ResidentData(small)));
    image.SetRecord(7, FileRecord(kInUse, 5, u"page", NonResidentData(EncodeRuns({{100, 3}}), 4096)));
    image.SetRecord(8, FileRecord(kDir, 5, u"folder"));
    image.SetRecord(9, FileRecord(kInUse, 5, u"far", NonResidentData(EncodeRuns({{0xFFFFFF00u, 2}}), 5000)));
    image.data.emplace_back(100 * 4096, page);
    auto l = Load(image.Build());
    ASSERT_TRUE(l->loaded);
    NtfsVolume& v = l->volume;
    FileItem* root = v.RootItem();
    uint64_t all = 0, avail = 0;

    FileItem* s = ChildNamed(root, "small");
    ASSERT_TRUE(v.GetItemSizes(s, all, avail));
    EXPECT_EQ(all, 4096u);
    EXPECT_EQ(avail, 100u);
    std::vector<uint8_t> whole;
    ASSERT_TRUE(v.ReadWholeItem(s, whole, all, avail));
    EXPECT_EQ(Bytes(whole.begin(), whole.begin() + 100), small);
    Bytes tail(10, 0xEE);
    EXPECT_TRUE(v.ReadItemRange(s, tail.data(), 95, 10, nullptr));
    EXPECT_EQ(Bytes(tail.begin(), tail.begin() + 5), Bytes(small.begin() + 95, small.end()));

    FileItem* p = ChildNamed(root, "page");
    ClusterRunList runs;
    ASSERT_TRUE(v.GetItemRuns(p, runs));
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{100, 3}}));
    ASSERT_TRUE(v.GetItemSizes(p, runs, all, avail));
    EXPECT_EQ(all, 8192u);
    EXPECT_EQ(avail, 4096u);
    ASSERT_TRUE(v.ReadWholeItem(p, whole, all, avail));
    EXPECT_EQ(Bytes(whole.begin(), whole.begin() + 4096), page);
    ClusterRunList sectors;
    EXPECT_TRUE(v.ConvertRunsToSectors(p, runs, sectors));
    EXPECT_EQ(sectors.Runs(), (std::vector<ClusterRun>{{800, 24}}));

    FileItem* folder = ChildNamed(root, "folder");
    ASSERT_TRUE(v.GetItemSizes(folder, all, avail));
    EXPECT_EQ(avail, all);
    EXPECT_EQ(all, 4096u);
    runs.Clear();
    ASSERT_TRUE(v.GetItemRuns(folder, runs));
    sectors.Clear();
    v.ConvertRunsToSectors(folder, runs, sectors);
    // Its record's two sectors, not the cluster that holds three more records.
    EXPECT_EQ(sectors.Runs(), (std::vector<ClusterRun>{{v.RecordToSector(8, false), 2}}));

    // Runs that point outside the volume fail the read, nothing else.
    FileItem* far = ChildNamed(root, "far");
    Bytes buffer(5000);
    EXPECT_FALSE(v.ReadItemRange(far, buffer.data(), 0, 5000, nullptr));
}

TEST_F(NtfsVolumeTest, KeepsInRecordDataToTheBytesTheRecordHolds) {
    NtfsImage image;
    image.sectorsPerCluster = 1;
    image.mftRuns = {{32, 32}};
    // Resident $DATA whose length fields claim more than a record holds:
    // 2000 bytes, and 4 GiB (a copy must not write gigabytes of zeros).
    for (const auto& [number, claim] : std::vector<std::pair<uint32_t, uint32_t>>{{6, 2000}, {8, 0xFFFFFFFFu}}) {
        Bytes data = ResidentData(Pattern(100, 6));
        PutLe32(&data[0x10], claim);
        image.SetRecord(number, FileRecord(kInUse, 5, number == 6 ? u"claims" : u"claims 4 GiB", data));
    }
    image.SetRecord(7, FileRecord(kInUse, 5, u"next"));
    auto l = Load(image.Build());
    ASSERT_TRUE(l->loaded);
    NtfsVolume& v = l->volume;
    for (const char* name : {"claims", "claims 4 GiB"}) {
        SCOPED_TRACE(name);
        FileItem* item = ChildNamed(v.RootItem(), name);
        ASSERT_NE(item, nullptr);
        // The value up to its attribute's (8-byte aligned) end.
        EXPECT_EQ(item->size, 104u);
        ClusterRunList runs;
        ASSERT_TRUE(v.GetItemRuns(item, runs));
        uint64_t all = 0, avail = 0;
        EXPECT_TRUE(v.GetItemSizes(item, runs, all, avail));
        EXPECT_EQ(all, 512u);  // the clusters the size needs
        EXPECT_TRUE(v.GetItemSizes(item, all, avail));
        EXPECT_EQ(avail, 104u);

        Bytes got(2000, 0xEE);
        ASSERT_TRUE(v.ReadItemRange(item, got.data(), 0, 2000, nullptr));
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 100), Pattern(100, 6));
        // Beyond the value: zeros, not the rest of the record or the next one.
        EXPECT_EQ(std::count(got.begin() + 104, got.end(), 0), 2000 - 104);
    }

    Bytes got(1);
    ClusterRunList runs;
    uint64_t all = 0, avail = 0, first = 0;
    EXPECT_FALSE(v.ReadItemRange(nullptr, got.data(), 0, 1, nullptr));
    EXPECT_FALSE(v.GetItemRuns(nullptr, runs));
    EXPECT_FALSE(v.GetItemSizes(nullptr, all, avail));
    EXPECT_FALSE(v.GetItemExtent(nullptr, all, first));
}

TEST_F(NtfsVolumeTest, ReadsFragmentedDataAtAnyOffset) {
    NtfsImage image;
    const Bytes content = Pattern(10000, 4);
    image.SetRecord(6, FileRecord(kInUse, 5, u"frag", NonResidentData(EncodeRuns({{200, 1}, {150, 2}}), 10000)));
    image.data.emplace_back(200 * 4096, Bytes(content.begin(), content.begin() + 4096));
    image.data.emplace_back(150 * 4096, Bytes(content.begin() + 4096, content.end()));
    auto l = Load(image.Build());
    ASSERT_TRUE(l->loaded);
    FileItem* frag = ChildNamed(l->volume.RootItem(), "frag");
    for (const auto& [offset, count] : std::vector<std::pair<uint32_t, uint32_t>>{
             {0, 10000}, {4000, 300}, {4095, 2}, {513, 7000}, {9999, 1}, {4096, 4096}}) {
        Bytes got(count);
        ASSERT_TRUE(l->volume.ReadItemRange(frag, got.data(), offset, count, nullptr)) << offset;
        EXPECT_EQ(got, Bytes(content.begin() + offset, content.begin() + offset + count)) << offset;
    }
    Bytes beyond(100);
    EXPECT_FALSE(l->volume.ReadItemRange(frag, beyond.data(), 3 * 4096 - 50, 100, nullptr));
}

TEST_F(NtfsVolumeTest, ReadsFoundItemsBySectorAndReportsFailedReads) {
    NtfsImage image;
    const Bytes content = Pattern(1024, 5);
    image.data.emplace_back(40 * 512, content);
    auto l = Load(image.Build());
    ASSERT_TRUE(l->loaded);
    NtfsVolume& v = l->volume;
    auto runs = std::make_unique<ClusterRunList>();
    runs->Add(40, 2);
    FileItem found = MakeItem("found.bin");
    found.flags = item_flags::kFound | item_flags::kDeleted;
    found.size = 700;
    found.startCluster = 40;
    found.runs = v.Tree().OwnRunList(std::move(runs));
    Bytes got(600);
    ASSERT_TRUE(v.ReadItemRange(&found, got.data(), 100, 600, nullptr));
    EXPECT_EQ(got, Bytes(content.begin() + 100, content.begin() + 700));
    uint64_t all = 0, avail = 0, first = 0;
    ASSERT_TRUE(v.GetItemSizes(&found, all, avail));
    EXPECT_EQ(all, 1024u);
    EXPECT_EQ(avail, 700u);
    ASSERT_TRUE(v.GetItemExtent(&found, all, first));
    EXPECT_EQ(first, 40u);

    found.runs->Clear();
    found.runs->Add(0xFFFFFF00u, 1);
    EXPECT_FALSE(v.ReadItemRange(&found, got.data(), 0, 10, nullptr));
    // The source reports its own read error first (reporting is back on).
    ASSERT_FALSE(l->rc.notifier.Texts().empty());
    EXPECT_EQ(l->rc.notifier.Texts().back(), "获取数据错!");
}

}  // namespace
}  // namespace delvora::test
