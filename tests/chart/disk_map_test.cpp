// The disk map's model: regions of tool-made volumes against the layout
// fsstat (The Sleuth Kit) reports, first-region-wins, joined marks, the scale
// of a huge volume, and a FAT file's marks against istat's sector list.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "case/open_volume.h"
#include "chart/disk_map.h"
#include "common/bytes.h"
#include "disk/data_source.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

struct Opened {
    std::unique_ptr<DataSource> source;
    std::unique_ptr<Volume> volume;
    ~Opened() { volume.reset(); }
};

/// Opens (and, with loadTree, loads) the volume filling an image file.
std::unique_ptr<Opened> OpenImage(const std::string& image, uint8_t typeId, const CoreContext& context,
                                  bool loadTree = false) {
    auto out = std::make_unique<Opened>();
    out->source = std::make_unique<DataSource>(context);
    out->source->SetKind(SourceKind::Device);
    out->source->SetPath(image);
    if (!out->source->Open()) return nullptr;
    const uint64_t sectors = std::filesystem::file_size(image) / 512;
    out->volume = OpenVolume({out->source.get(), typeId, 0, sectors}, context).volume;
    if (!out->volume) return nullptr;
    NullLog log;
    if (loadTree) LoadTreeGuarded(*out->volume, log);
    return out;
}

/// One "label: A - B" range of fsstat's report, from a position on.
struct Range {
    uint64_t first = 0, last = 0;
    bool found = false;
};
Range FsstatRange(const std::string& text, const std::string& label, size_t from = 0) {
    const size_t at = text.find(label, from);
    if (at == std::string::npos) return {};
    std::istringstream in(text.substr(at + label.size()));
    Range r;
    char dash = 0;
    in >> r.first;
    if (in >> dash && dash == '-') in >> r.last;
    else r.last = r.first;
    r.found = true;
    return r;
}

std::string Shell(const std::string& command) {
    std::string out;
    return RunShell(command + " 2>/dev/null", &out) == 0 ? out : std::string();
}

uint8_t TypeAt(const DiskMap& map, uint64_t sector) { return map.CellType(map.CellOfSector(sector)).value_or(0); }

struct FatCase {
    const char* name;
    const char* mkfs;  // options of mkfs.fat
    uint8_t typeId;
    const char* size;
};

class FatLayout : public ::testing::TestWithParam<FatCase> {};

TEST_P(FatLayout, RegionsMatchFsstat) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("fsstat");
    const FatCase c = GetParam();
    TempDir dir;
    const std::string image = dir.File("v.img");
    ASSERT_EQ(RunShell(std::string("truncate -s ") + c.size + " " + image + " && mkfs.fat " + c.mkfs + " " + image +
                       " >/dev/null 2>&1"),
              0);
    RecordingContext ctx;
    auto opened = OpenImage(image, c.typeId, ctx.context);
    ASSERT_TRUE(opened);
    DiskMap map;
    ASSERT_TRUE(LoadVolumeRegions(*opened->volume, map));
    const std::string fsstat = Shell("fsstat '" + image + "'");
    const Range reserved = FsstatRange(fsstat, "* Reserved: "), fat0 = FsstatRange(fsstat, "* FAT 0: "),
                fat1 = FsstatRange(fsstat, "* FAT 1: "), root = FsstatRange(fsstat, "* Root Directory: "),
                clusters = FsstatRange(fsstat, "* Cluster Area: ");
    ASSERT_TRUE(reserved.found && fat0.found && fat1.found && root.found && clusters.found) << fsstat;
    const std::pair<Range, uint8_t> expected[] = {{reserved, 1}, {fat0, 2}, {fat1, 3}};
    for (const auto& [range, type] : expected) {
        EXPECT_EQ(TypeAt(map, range.first), type) << range.first;
        EXPECT_EQ(TypeAt(map, range.last), type) << range.last;
    }
    EXPECT_EQ(TypeAt(map, root.first), 6);
    EXPECT_EQ(TypeAt(map, clusters.last), 7);
    EXPECT_EQ(TypeAt(map, root.last + 1), 7);
    EXPECT_EQ(map.CellCount(), clusters.last + 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FatLayout,
                         ::testing::Values(FatCase{"Fat16", "-F 16 -r 512 -s 4", 0x06, "24M"},
                                           FatCase{"Fat32", "-F 32 -s 1", 0x0C, "40M"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The described example: 1 reserved sector, FATs of 200 sectors, 512 root
// entries; built byte by byte, the tools choose their own sizes.
TEST(DiskMapModel, Fat16LayoutOfTheDescribedExample) {
    TempDir dir;
    std::vector<uint8_t> boot(512, 0);
    uint8_t* b = boot.data();
    b[0] = 0xEB, b[1] = 0x3C, b[2] = 0x90;
    PutLe16(b + 11, 512);
    b[13] = 1;
    PutLe16(b + 14, 1);
    b[16] = 2;
    PutLe16(b + 17, 512);
    PutLe16(b + 19, 40433);  // 433 + 40,000 one-sector clusters
    b[21] = 0xF8;
    PutLe16(b + 22, 200);
    b[38] = 0x29;
    std::memcpy(b + 54, "FAT16   ", 8);
    b[510] = 0x55, b[511] = 0xAA;
    const std::string image = dir.File("fat16.img");
    ASSERT_TRUE(WriteFileBytes(image, boot));
    ASSERT_TRUE(PatchFile(image, 512, {0xF8, 0xFF, 0xFF, 0xFF}));
    std::filesystem::resize_file(image, 40433ull * 512);
    RecordingContext ctx;
    auto opened = OpenImage(image, 0x06, ctx.context);
    ASSERT_TRUE(opened);
    DiskMap map;
    ASSERT_TRUE(LoadVolumeRegions(*opened->volume, map));
    const std::pair<uint64_t, uint8_t> probes[] = {{0, 1},   {1, 2},   {200, 2}, {201, 3},   {400, 3},
                                                   {401, 6}, {432, 6}, {433, 7}, {40432, 7}};
    for (const auto& [sector, type] : probes) EXPECT_EQ(TypeAt(map, sector), type) << sector;
}

TEST(DiskMapModel, NtfsBootAreaEndsWhereTheMftBegins) {
    DELVORA_REQUIRE_TOOL("mkntfs");
    DELVORA_REQUIRE_TOOL("fsstat");
    TempDir dir;
    const std::string image = dir.File("ntfs.img");
    ASSERT_EQ(RunShell("truncate -s 16M " + image + " && mkntfs -q -F -f " + image + " >/dev/null 2>&1"), 0);
    RecordingContext ctx;
    auto opened = OpenImage(image, 0x07, ctx.context);
    ASSERT_TRUE(opened);
    DiskMap map;
    ASSERT_TRUE(LoadVolumeRegions(*opened->volume, map));
    const std::string fsstat = Shell("fsstat '" + image + "'");
    const Range mft = FsstatRange(fsstat, "First Cluster of MFT: "), cluster = FsstatRange(fsstat, "Cluster Size: "),
                sectors = FsstatRange(fsstat, "Total Sector Range: ");
    ASSERT_TRUE(mft.found && cluster.found && sectors.found) << fsstat;
    const uint64_t mftSector = mft.first * cluster.first / 512;
    EXPECT_EQ(TypeAt(map, mftSector - 1), 12);
    EXPECT_EQ(TypeAt(map, mftSector), 18);
    EXPECT_EQ(TypeAt(map, sectors.last), 7);
}

struct ExtCase {
    const char* name;
    const char* options;  // of mke2fs
    const char* size;
};

class ExtLayout : public ::testing::TestWithParam<ExtCase> {};

// Every group's superblock copy, descriptors, bitmaps and inode table where
// fsstat puts them (in blocks), flex_bg packing included.
TEST_P(ExtLayout, GroupStructuresMatchFsstat) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("fsstat");
    const ExtCase c = GetParam();
    TempDir dir;
    const std::string image = dir.File("ext.img");
    ASSERT_EQ(RunShell(std::string("mke2fs -q -F ") + c.options + " " + image + " " + c.size + " >/dev/null 2>&1"), 0);
    RecordingContext ctx;
    auto opened = OpenImage(image, 0x83, ctx.context);
    ASSERT_TRUE(opened);
    DiskMap map;
    ASSERT_TRUE(LoadVolumeRegions(*opened->volume, map));
    const std::string fsstat = Shell("fsstat '" + image + "'");
    const Range blockSize = FsstatRange(fsstat, "Block Size: ");
    ASSERT_TRUE(blockSize.found) << fsstat;
    const uint64_t s = blockSize.first / 512;
    int groups = 0;
    for (size_t at = fsstat.find("\nGroup: "); at != std::string::npos; at = fsstat.find("\nGroup: ", at + 1)) {
        ++groups;
        const size_t end = fsstat.find("\nGroup: ", at + 1);
        const std::string group = fsstat.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const std::pair<const char*, uint8_t> structures[] = {{"Super Block: ", 19},
                                                              {"Group Descriptor Table: ", 20},
                                                              {"Data bitmap: ", 21},
                                                              {"Inode bitmap: ", 22},
                                                              {"Inode Table: ", 23}};
        for (const auto& [label, type] : structures) {
            const Range r = FsstatRange(group, label);
            if (!r.found) continue;
            // Block 0 of a volume with large blocks holds the boot sectors
            // before the superblock at byte 1024.
            const uint64_t first = r.first == 0 ? 2 : r.first * s;
            EXPECT_EQ(TypeAt(map, first), type) << label << group;
            EXPECT_EQ(TypeAt(map, r.first == 0 ? 3 : r.last * s + s - 1), type) << label << group;
        }
    }
    EXPECT_GT(groups, 0) << fsstat;
    EXPECT_EQ(TypeAt(map, 0), 12);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ExtLayout,
                         ::testing::Values(ExtCase{"Ext2_1k", "-t ext2 -b 1024", "40M"},
                                           ExtCase{"Ext2_4k", "-t ext2 -b 4096", "8M"},
                                           ExtCase{"Ext4_flex", "-t ext4 -b 1024 -O ^has_journal", "24M"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DiskMapModel, RegionsMarksAndCells) {
    DiskMap map;
    // Overlapping ends as the NTFS list has them: the earlier region keeps
    // the shared sector.
    map.AddRegion(12, 0, 31);
    map.AddRegion(18, 31, 39);
    map.AddRegion(7, 39, 99);
    map.AddRegion(3, 50, 40);  // reversed: ignored
    EXPECT_EQ(map.CellCount(), 100u);
    const std::pair<uint64_t, uint8_t> probes[] = {{31, 12}, {32, 18}, {39, 18}, {40, 7}, {99, 7}};
    for (const auto& [sector, type] : probes) EXPECT_EQ(map.CellType(sector), type) << sector;
    EXPECT_FALSE(map.CellType(100));

    struct MarkCase {
        std::vector<MapMark> added;
        std::vector<MapMark> marks;
    };
    const MarkCase cases[] = {
        {{{10, 19}, {20, 29}}, {{10, 29}}},
        {{{10, 19}, {21, 29}}, {{10, 19}, {21, 29}}},
        {{{20, 29}, {10, 19}}, {{20, 29}, {10, 19}}},  // only a mark ending just before joins
        {{{10, 19}, {30, 39}, {20, 29}, {40, 49}}, {{10, 29}, {30, 49}}},  // marks never join each other
    };
    for (const auto& c : cases) {
        map.ClearMarks();
        for (const MapMark& m : c.added) map.AddMark(m.first, m.last);
        EXPECT_EQ(map.Marks(), c.marks);
    }
    EXPECT_TRUE(map.CellMarked(35));
    EXPECT_FALSE(map.CellMarked(9));

    EXPECT_TRUE(map.SetCurrentCell(99));
    EXPECT_FALSE(map.SetCurrentCell(100));
    EXPECT_EQ(map.CurrentCell(), 99u);
}

// Two billion sectors: the cells stay within the budget and sectors, marks
// and types map through the same scale.
TEST(DiskMapModel, AHugeVolumeIsScaledToTheBudget) {
    DiskMap map;
    map.SetCellBudget(1000);
    map.AddRegion(12, 0, 62);
    map.AddRegion(18, 63, 2'000'000'000);
    map.AddRegion(7, 0, 2'000'000'000);
    EXPECT_LE(map.CellCount(), 1000u);
    EXPECT_EQ(map.SectorsPerCell(), 2'000'001u);
    EXPECT_EQ(map.CellType(0), 12);  // the first of its sectors decides
    EXPECT_EQ(map.CellType(map.CellCount() - 1), 18);
    map.AddMark(1'000'000'000, 1'000'000'000);
    EXPECT_TRUE(map.CellMarked(map.CellOfSector(1'000'000'000)));
    EXPECT_FALSE(map.CellMarked(map.CellOfSector(1'000'000'000) + 1));
    EXPECT_FALSE(map.SetCurrentCell(1000));
}

// A file's mark covers its clusters' sectors exactly as istat lists them.
TEST(DiskMapModel, FatFileMarksAreItsClustersSectors) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    DELVORA_REQUIRE_TOOL("istat");
    TempDir dir;
    const std::string image = dir.File("v.img");
    ASSERT_EQ(RunShell("truncate -s 24M " + image + " && mkfs.fat -F 16 -s 4 " + image +
                       " >/dev/null && head -c 10000 /dev/urandom > " + dir.File("a.bin") +
                       " && MTOOLS_SKIP_CHECK=1 mcopy -i " + image + " " + dir.File("a.bin") + " ::/A.BIN"),
              0);
    RecordingContext ctx;
    auto opened = OpenImage(image, 0x06, ctx.context, true);
    ASSERT_TRUE(opened);
    Volume& volume = *opened->volume;
    FileItem* file = nullptr;
    for (uint32_t i = 0; i < volume.RootItem()->childCount; ++i)
        if (std::string(volume.RootItem()->children[i].name) == "A.BIN") file = &volume.RootItem()->children[i];
    ASSERT_TRUE(file);
    DiskMap map;
    ASSERT_TRUE(LoadVolumeRegions(volume, map));
    ASSERT_TRUE(MarkItemSectors(volume, file, map));
    // istat lists the sectors of the file's clusters, eight to a line.
    const std::string istat = Shell("istat '" + image + "' $(fls '" + image + "' | awk '/A.BIN/ {print $2}' | tr -d :)");
    std::vector<MapMark> theirs;
    std::istringstream in(istat.substr(istat.find("Sectors:") + 8));
    for (uint64_t sector; in >> sector;) {
        if (!theirs.empty() && theirs.back().last + 1 == sector) theirs.back().last = sector;
        else theirs.push_back({sector, sector});
    }
    EXPECT_EQ(map.Marks(), theirs) << istat;
    EXPECT_EQ(map.CurrentSector(), theirs.at(0).first);
}

}  // namespace
}  // namespace delvora::test
