// Tool-made FAT volumes of each kind and sector size against The Sleuth Kit:
// the same paths and deleted items (fls), sizes and times (fls -m), contents
// (icat), first sectors (istat) and layout (fsstat).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "common/bytes.h"
#include "fs/fat/fat_test_images.h"
#include "support/recorders.h"

namespace delvora {
namespace {

struct DiffCase {
    int fatBits;
    uint32_t sectorSize;
    bool small;  // the 32 MiB FAT32 volume with fewer than 65,525 clusters
};

std::string CaseName(const ::testing::TestParamInfo<DiffCase>& info) {
    return "Fat" + std::to_string(info.param.fatBits) + "_" + std::to_string(info.param.sectorSize) +
           (info.param.small ? "_small" : "");
}

/// Every item below the root by '/'-separated path.
std::map<std::string, FileItem*> Items(FileItem& root) {
    std::map<std::string, FileItem*> out;
    std::vector<std::pair<FileItem*, std::string>> stack{{&root, ""}};
    // The test images are a few levels deep; each record is pushed once.
    while (!stack.empty()) {
        auto [folder, prefix] = stack.back();
        stack.pop_back();
        for (uint32_t i = 0; i < folder->childCount; ++i) {
            FileItem& child = folder->children[i];
            out[prefix + child.name] = &child;
            stack.emplace_back(&child, prefix + child.name + "/");
        }
    }
    return out;
}

/// Unix seconds of a tick count (whole seconds, as fls prints them; creation
/// times carry their 10-ms part past the second).
int64_t Seconds(uint64_t ticks) { return ticks ? static_cast<int64_t>(ticks / 10000000) - 11644473600 : 0; }

std::string Shell(const std::string& command) {
    std::string output;
    return test::RunShell(command + " 2>/dev/null", &output) == 0 ? output : std::string();
}

/// The first number on the line after "Sectors:" in istat's report.
uint64_t FirstSector(const std::string& istat) {
    const size_t at = istat.find("Sectors:\n");
    return at == std::string::npos ? UINT64_MAX : std::stoull(istat.substr(at + 9));
}

/// "A - B" after a label in fsstat's report, as a region.
DiskRegion FsstatRange(const std::string& fsstat, const std::string& label, uint8_t kind) {
    const size_t at = fsstat.find(label);
    if (at == std::string::npos) return {};
    std::istringstream in(fsstat.substr(at + label.size()));
    uint64_t first = 0, last = 0;
    char dash = 0;
    in >> first >> dash >> last;
    return {first, last, kind};
}

/// Gives the short entries of the root's first sector a creation time with
/// 10-ms units past a second (mtools writes 0 there); answers how many.
int SetCreateHundredths(const std::string& image) {
    std::ifstream in(image, std::ios::binary);
    std::vector<uint8_t> boot(512);
    in.read(reinterpret_cast<char*>(boot.data()), 512);
    const uint32_t bps = Le16(boot, 11), fatSize = Le16(boot, 22) ? Le16(boot, 22) : Le32(boot, 36);
    uint64_t root = uint64_t{Le16(boot, 14)} + uint64_t{boot[16]} * fatSize;  // FAT32: cluster 2 is here
    root *= bps;
    std::vector<uint8_t> sector(512);
    in.seekg(static_cast<std::streamoff>(root));
    in.read(reinterpret_cast<char*>(sector.data()), 512);
    int patched = 0;
    for (size_t i = 0; i < 16; ++i) {
        const uint8_t b0 = sector[i * 32], attr = sector[i * 32 + 11];
        if (b0 == 0 || attr == 0x0F || (attr & 0x08)) continue;
        if (!test::PatchFile(image, root + i * 32 + 13, {static_cast<uint8_t>(101 + 9 * (i % 10))})) return -1;
        ++patched;
    }
    return patched;
}

class FatAgainstSleuthkit : public ::testing::TestWithParam<DiffCase> {
protected:
    void SetUp() override {
        for (const char* tool : {"mkfs.fat", "mcopy", "fls", "icat", "istat", "fsstat"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
        // FAT times are local: both sides read them in a zone eight hours
        // from UTC, so a conversion that ignores the zone shows.
        if (const char* tz = std::getenv("TZ")) oldTz = tz;
        setenv("TZ", "XST-8", 1);
        tzset();
    }
    void TearDown() override {
        if (oldTz) setenv("TZ", oldTz->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> oldTz;
    test::TempDir dir;
    test::RecordingContext ctx;
};

TEST_P(FatAgainstSleuthkit, SameTreeSizesTimesContentsAndSectors) {
    const DiffCase c = GetParam();
    const std::string image =
        c.small ? test::MakeSmallFat32Image(dir.Path()) : test::MakeToolImage(dir.Path(), c.fatBits, c.sectorSize);
    ASSERT_FALSE(image.empty());
    ASSERT_GT(SetCreateHundredths(image), 0);
    // The Sleuth Kit goes by the cluster count and needs to be told FAT32.
    const std::string type = c.small ? " -f fat32" : "";
    const auto theirs = test::FlsBody(image, c.small ? "fat32" : "");
    ASSERT_FALSE(theirs.empty());

    // A FAT16 partition type: the boot sector decides, not the type.
    auto loaded = test::LoadFat(image, 2, ctx.context);
    ASSERT_TRUE(loaded.prepared) << testing::PrintToString(ctx.notifier.Texts());
    FatVolume& volume = *loaded.volume;
    EXPECT_EQ(volume.Description(), "FAT" + std::to_string(c.fatBits));
    EXPECT_EQ(volume.BytesPerSector(), c.sectorSize);

    auto ours = Items(*volume.RootItem());
    std::map<std::string, bool> ourFlags, theirFlags;
    for (const auto& [path, item] : ours) ourFlags[path] = item->IsDeleted();
    for (const auto& [path, item] : theirs) theirFlags[path] = item.deleted;
    ASSERT_EQ(ourFlags, theirFlags);
    EXPECT_TRUE(ourFlags.count("docs/中文长文件名测试文档.txt"));

    for (const auto& [path, their] : theirs) {
        FileItem* item = ours.at(path);
        EXPECT_EQ(item->IsDirectory(), their.directory) << path;
        ItemTimes times;
        EXPECT_TRUE(volume.GetItemTimes(item, times)) << path;
        EXPECT_EQ(Seconds(times.created), their.created) << path;
        EXPECT_EQ(Seconds(times.modified), their.modified) << path;
        EXPECT_EQ(Seconds(times.accessed), their.accessed) << path;
        if (their.directory) continue;
        EXPECT_EQ(item->size, their.size) << path;
        std::vector<uint8_t> data(item->size);
        ASSERT_TRUE(item->size == 0 || volume.ReadItemRange(item, data.data(), 0, static_cast<uint32_t>(item->size),
                                                            nullptr))
            << path;
        const std::string icat = Shell("icat" + type + " '" + image + "' " + std::to_string(their.inode));
        EXPECT_EQ(std::string(data.begin(), data.end()), icat) << path;
        if (item->size == 0 || item->IsDeleted()) continue;
        uint64_t allocated = 0, firstSector = 0;
        ASSERT_TRUE(volume.GetItemExtent(item, allocated, firstSector));
        EXPECT_EQ(firstSector, FirstSector(Shell("istat" + type + " '" + image + "' " + std::to_string(their.inode))))
            << path;
        EXPECT_EQ(allocated % c.sectorSize, 0u);
    }

    const std::string fsstat = Shell("fsstat" + type + " '" + image + "'");
    std::vector<DiskRegion> regions;
    ASSERT_TRUE(volume.ListRegions(regions));
    EXPECT_NE(std::find(regions.begin(), regions.end(), FsstatRange(fsstat, "* FAT 0: ", 2)), regions.end())
        << fsstat;
    EXPECT_NE(std::find(regions.begin(), regions.end(), FsstatRange(fsstat, "* Cluster Area: ", 7)), regions.end())
        << fsstat;
    EXPECT_NE(std::find(regions.begin(), regions.end(), FsstatRange(fsstat, "* Root Directory: ", 6)), regions.end())
        << fsstat;
    EXPECT_TRUE(ctx.notifier.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(KindsAndSectorSizes, FatAgainstSleuthkit,
                         ::testing::Values(DiffCase{12, 512, false}, DiffCase{16, 512, false},
                                           DiffCase{32, 512, false}, DiffCase{16, 1024, false},
                                           DiffCase{32, 1024, false}, DiffCase{12, 2048, false},
                                           DiffCase{16, 2048, false}, DiffCase{32, 2048, false},
                                           DiffCase{12, 4096, false}, DiffCase{16, 4096, false},
                                           DiffCase{32, 4096, false}, DiffCase{32, 512, true}),
                         CaseName);

// The command line on the bare small FAT32 image: recognised as FAT32 and
// listed whole.
TEST(SmallFat32, CommandLineListsWhatFlsLists) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    DELVORA_REQUIRE_TOOL("fls");
    test::TempDir dir;
    const std::string image = test::MakeSmallFat32Image(dir.Path());
    ASSERT_FALSE(image.empty());
    std::string out;
    // RunShell folds stderr into the output; the group keeps it apart.
    ASSERT_EQ(test::RunShell("{ " + std::string(DELVORA_CLI_PATH) + " ls '" + image + "' 2>/dev/null; }", &out), 0)
        << out;
    std::set<std::string> ours, theirs;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);  // headings
    while (std::getline(lines, line)) {
        std::string path = line.substr(line.rfind('\t') + 2);
        for (char& ch : path)
            if (ch == '\\') ch = '/';
        ours.insert(path);
    }
    for (const auto& [path, item] : test::FlsBody(image, "fat32")) theirs.insert(path);
    EXPECT_EQ(ours, theirs);
}

}  // namespace
}  // namespace delvora
