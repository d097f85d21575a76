// Volumes built byte by byte for what a record alone does not tell: sector
// and record sizes other than 512/1024, files continued in extension records
// through an attribute list, holes and unwritten bytes, exact times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "common/bytes.h"
#include "ntfs_builder.h"

namespace delvora::test {
namespace {

constexpr uint16_t kInUse = 1;
constexpr uint16_t kDir = 3;

Bytes Pattern(size_t n, uint32_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 151 + seed * 13 + (i >> 8)) & 0xFF);
    return b;
}

Bytes ReadAll(NtfsVolume& v, FileItem* item) {
    std::vector<uint8_t> data;
    uint64_t allocated = 0, valid = 0;
    if (!v.ReadWholeItem(item, data, allocated, valid)) return {};
    data.resize(valid);
    return data;
}

class NtfsLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

struct Geometry {
    uint32_t bytesPerSector;
    uint32_t sectorsPerCluster;
    uint32_t recordBytes;
};

TEST_F(NtfsLayoutTest, LoadsEverySectorAndRecordSize) {
    for (const Geometry g : {Geometry{512, 8, 1024}, Geometry{4096, 1, 4096}, Geometry{512, 1, 4096},
                             Geometry{1024, 4, 1024}, Geometry{2048, 2, 4096}}) {
        SCOPED_TRACE(testing::Message() << g.bytesPerSector << "/" << g.sectorsPerCluster << "/" << g.recordBytes);
        NtfsImage image;
        image.bytesPerSector = g.bytesPerSector;
        image.sectorsPerCluster = g.sectorsPerCluster;
        image.recordBytes = g.recordBytes;
        const uint32_t cluster = image.ClusterBytes();
        image.totalSectors = (2u << 20) / g.bytesPerSector;
        // 64 records in two fragments, at 64 KiB and 1 MiB; data at 1.5 MiB.
        const uint64_t half = 32ull * g.recordBytes / cluster;
        image.mftRuns = {{65536 / cluster, half}, {(1u << 20) / cluster, half}};
        const uint64_t dataCluster = (3u << 19) / cluster;
        const ItemTimes times{kSampleFileTime + 1, kSampleFileTime + 2, kSampleFileTime + 3, kSampleFileTime + 4};
        const Bytes content = Pattern(3 * cluster - 7, 1);
        const Bytes small = Pattern(300, 2);
        const auto record = [&](uint16_t flags, std::vector<Bytes> attributes) {
            return MakeRecord(flags, attributes, g.recordBytes);
        };
        image.SetRecord(40, record(kDir, {StandardInformation(), FileNameAttribute(5, u"outer")}));
        image.SetRecord(41, record(kDir, {StandardInformation(), FileNameAttribute(40, u"inner")}));
        image.SetRecord(42, record(kInUse, {StandardInformation(times), FileNameAttribute(41, u"big.bin"),
                                            NonResidentData(EncodeRuns({{dataCluster, 3}}), content.size())}));
        image.SetRecord(43, record(kInUse, {StandardInformation(), FileNameAttribute(41, u"small.txt"),
                                            ResidentData(small)}));
        image.data.emplace_back(dataCluster * cluster, content);
        auto l = LoadNtfsBytes(image.Build());
        ASSERT_TRUE(l->loaded);
        NtfsVolume& v = l->volume;
        // Never-used records (all zeros) are no error worth a line.
        EXPECT_TRUE(l->rc.log.Lines().empty());
        EXPECT_EQ(v.RecordBytes(), g.recordBytes);
        EXPECT_EQ(v.SectorsPerCluster(), cluster / 512);
        EXPECT_EQ(v.RecordToSector(42, false), (1u << 20) / 512 + 10ull * g.recordBytes / 512);
        FileItem* inner = ChildNamed(ChildNamed(v.RootItem(), "outer"), "inner");
        ASSERT_NE(inner, nullptr);
        FileItem* big = ChildNamed(inner, "big.bin");
        FileItem* text = ChildNamed(inner, "small.txt");
        ASSERT_NE(big, nullptr);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(big->size, content.size());
        EXPECT_EQ(ReadAll(v, big), content);
        EXPECT_EQ(ReadAll(v, text), small);
        ItemTimes got;
        ASSERT_TRUE(v.GetItemTimes(big, got));
        EXPECT_EQ(got.created, times.created);
        EXPECT_EQ(got.modified, times.modified);
        EXPECT_EQ(got.changed, times.changed);
        EXPECT_EQ(got.accessed, times.accessed);
        // The item's record holds its data: runs in record units become its sectors.
        ClusterRunList runs, sectors;
        ASSERT_TRUE(v.GetItemRuns(text, runs));
        ASSERT_TRUE(v.ConvertRunsToSectors(text, runs, sectors));
        ASSERT_EQ(sectors.Size(), 1u);
        EXPECT_EQ(sectors[0].first, v.RecordToSector(43, false));
        EXPECT_GE(sectors[0].count * 512, g.recordBytes);
    }
}

// Base record 30 keeps its times, the list and the data's first piece; the
// name and the second piece are in record 31, the third piece and a second
// name in record 32. Record 33 says it belongs to 30 but the list does not
// name it; the list names 34, which now belongs to another file.
NtfsImage ListedFile(uint16_t flags, bool listOutside, const Bytes& content) {
    NtfsImage image;
    image.mftRuns = {{4, 16}};  // 64 records
    const std::vector<ListEntry> list{{0x10, 30}, {0x20, 30}, {0x30, 31}, {0x80, 30, 0}, {0x80, 31, 2},
                                      {0x30, 32}, {0x80, 32, 3}, {0x80, 34, 9}};
    const ItemTimes times{kSampleFileTime + 11, kSampleFileTime + 22, kSampleFileTime + 33, kSampleFileTime + 44};
    Bytes listAttribute = ResidentAttributeList(list);
    if (listOutside) {
        const Bytes bytes = AttributeListBytes(list);
        listAttribute = NonResidentData(EncodeRuns({{300, 1}}), bytes.size());
        PutLe32(&listAttribute[0], 0x20);
        image.data.emplace_back(300 * 4096, bytes);
    }
    const uint64_t size = content.size();
    image.SetRecord(30, MakeRecord(flags, {StandardInformation(times), listAttribute,
                                           NonResidentData(EncodeRuns({{100, 2}}), size)}));
    image.SetRecord(31, MakeRecord(flags, {FileNameAttribute(5, u"listed.bin"),
                                           NonResidentData(EncodeRuns({{200, 1}}), 0, 2)},
                                   1024, true, 30));
    image.SetRecord(32, MakeRecord(flags, {FileNameAttribute(20, u"second name"),
                                           NonResidentData(EncodeRuns({{150, 2}}), 0, 3)},
                                   1024, true, 30));
    image.SetRecord(33, MakeRecord(flags, {FileNameAttribute(5, u"stray"), NonResidentData(EncodeRuns({{160, 1}}), 0, 5)},
                                   1024, true, 30));
    image.SetRecord(34, MakeRecord(kInUse, {NonResidentData(EncodeRuns({{170, 1}}), 0, 9)}, 1024, true, 35));
    image.SetRecord(20, MakeRecord(kDir, {StandardInformation(), FileNameAttribute(5, u"folder")}));
    image.data.emplace_back(100 * 4096, Bytes(content.begin(), content.begin() + 8192));
    image.data.emplace_back(200 * 4096, Bytes(content.begin() + 8192, content.begin() + 12288));
    image.data.emplace_back(150 * 4096, Bytes(content.begin() + 12288, content.end()));
    return image;
}

TEST_F(NtfsLayoutTest, FollowsAnAttributeListAcrossExtensionRecords) {
    const Bytes content = Pattern(5 * 4096 - 100, 3);
    for (const auto& [flags, listOutside] : std::vector<std::pair<uint16_t, bool>>{
             {kInUse, false}, {kInUse, true}, {0, false}}) {
        SCOPED_TRACE(testing::Message() << "flags " << flags << (listOutside ? ", list outside" : ""));
        auto l = LoadNtfsBytes(ListedFile(flags, listOutside, content).Build());
        ASSERT_TRUE(l->loaded);
        NtfsVolume& v = l->volume;
        FileItem* root = v.RootItem();
        FileItem* file = ChildNamed(root, "listed.bin");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->startCluster, 30u);
        EXPECT_EQ(file->IsDeleted(), flags == 0);
        EXPECT_EQ(file->size, content.size());
        EXPECT_EQ(file->writeDate, (41 << 9) | (6 << 5) | 1);
        EXPECT_EQ(ReadAll(v, file), content);
        FileItem* link = ChildNamed(ChildNamed(root, "folder"), "second name");
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->startCluster, 30u);
        EXPECT_EQ(ReadAll(v, link), content);
        // Extension records are no items, and one the list does not name adds nothing.
        EXPECT_EQ(ChildNamed(root, "stray"), nullptr);
        EXPECT_EQ(root->childCount, 3u);  // $MFT, folder, listed.bin

        ClusterRunList runs;
        ASSERT_TRUE(v.GetItemRuns(file, runs));
        EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{100, 2}, {200, 1}, {150, 2}}));
        ItemTimes times;
        ASSERT_TRUE(v.GetItemTimes(file, times));
        EXPECT_EQ(times.created, kSampleFileTime + 11);
        EXPECT_EQ(times.accessed, kSampleFileTime + 33);
        EXPECT_EQ(times.changed, kSampleFileTime + 44);
        // Read in pieces with the runs fetched once, as a copy does.
        Bytes piece(5000);
        ASSERT_TRUE(v.ReadItemRange(file, piece.data(), 8000, 5000, &runs));
        EXPECT_EQ(piece, Bytes(content.begin() + 8000, content.begin() + 13000));
    }
}

TEST_F(NtfsLayoutTest, ReadsHolesAndUnwrittenBytesAsZeros) {
    NtfsImage image;
    const Bytes a = Pattern(4096, 4), b = Pattern(4096, 5), disk = Pattern(3 * 4096, 6);
    image.data.emplace_back(100 * 4096, a);
    image.data.emplace_back(101 * 4096, b);
    image.data.emplace_back(110 * 4096, disk);
    // Starts with a hole, has another inside.
    image.SetRecord(6, MakeRecord(kInUse, {StandardInformation(), FileNameAttribute(5, u"holes"),
                                           NonResidentData(EncodeRuns({{kHole, 2}, {100, 1}, {kHole, 1}, {101, 1}}),
                                                           5 * 4096 - 10)}));
    // Nothing but a hole.
    image.SetRecord(7, MakeRecord(kInUse, {StandardInformation(), FileNameAttribute(5, u"empty"),
                                           NonResidentData(EncodeRuns({{kHole, 3}}), 3 * 4096)}));
    // 12000 bytes allocated on disk, 5000 of them ever written.
    image.SetRecord(8, MakeRecord(kInUse, {StandardInformation(), FileNameAttribute(5, u"unwritten"),
                                           NonResidentData(EncodeRuns({{110, 3}}), 12000, 0, 5000)}));
    auto l = LoadNtfsBytes(image.Build());
    ASSERT_TRUE(l->loaded);
    NtfsVolume& v = l->volume;

    Bytes holes(2 * 4096, 0);
    holes.insert(holes.end(), a.begin(), a.end());
    holes.insert(holes.end(), 4096, 0);
    holes.insert(holes.end(), b.begin(), b.end() - 10);
    EXPECT_EQ(ReadAll(v, ChildNamed(v.RootItem(), "holes")), holes);
    EXPECT_EQ(ReadAll(v, ChildNamed(v.RootItem(), "empty")), Bytes(3 * 4096, 0));
    Bytes unwritten(disk.begin(), disk.begin() + 5000);
    unwritten.resize(12000, 0);
    FileItem* item = ChildNamed(v.RootItem(), "unwritten");
    EXPECT_EQ(ReadAll(v, item), unwritten);
    // The slack after the size is the disk's, as a view of the cluster shows it.
    Bytes slack(100);
    ASSERT_TRUE(v.ReadItemRange(item, slack.data(), 11950, 100, nullptr));
    EXPECT_EQ(Bytes(slack.begin() + 50, slack.end()), Bytes(disk.begin() + 12000, disk.begin() + 12050));
    EXPECT_EQ(Bytes(slack.begin(), slack.begin() + 50), Bytes(50, 0));

    // A hole has no sectors.
    ClusterRunList runs, sectors;
    ASSERT_TRUE(v.GetItemRuns(ChildNamed(v.RootItem(), "holes"), runs));
    ASSERT_TRUE(v.ConvertRunsToSectors(ChildNamed(v.RootItem(), "holes"), runs, sectors));
    EXPECT_EQ(sectors.Runs(), (std::vector<ClusterRun>{{800, 8}, {808, 8}}));
}

TEST_F(NtfsLayoutTest, TimesOnlyForRecordsThatHaveThem) {
    NtfsImage image;
    image.SetRecord(5, MakeRecord(kDir, {StandardInformation(kSampleFileTime + 5), FileNameAttribute(5, u".")}));
    image.SetRecord(6, MakeRecord(kInUse, {FileNameAttribute(5, u"no times")}));
    auto l = LoadNtfsBytes(image.Build());
    ASSERT_TRUE(l->loaded);
    NtfsVolume& v = l->volume;
    ItemTimes times;
    ASSERT_TRUE(v.GetItemTimes(v.RootItem(), times));
    EXPECT_EQ(times.modified, kSampleFileTime + 5);
    FileItem* bare = ChildNamed(v.RootItem(), "no times");
    ASSERT_NE(bare, nullptr);
    EXPECT_FALSE(v.GetItemTimes(bare, times));
    // Without $STANDARD_INFORMATION the name's copy gives the listed times.
    EXPECT_EQ(bare->writeDate, (41 << 9) | (6 << 5) | 1);
    FileItem found = MakeItem("found");
    found.flags = item_flags::kFound;
    EXPECT_FALSE(v.GetItemTimes(&found, times));
    EXPECT_FALSE(v.GetItemTimes(v.RecycleItem(), times));
}

}  // namespace
}  // namespace delvora::test
