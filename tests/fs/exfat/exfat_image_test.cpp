// A volume made by mkfs.exfat and filled through exfat-fuse, read against
// The Sleuth Kit (fls for names and deleted marks, fls -m for sizes, icat
// for contents, live and deleted) and against what the driver reported
// (times); then the same volume damaged or cut about on copies.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/bytes.h"
#include "disk/volume_params.h"
#include "fs/exfat/exfat_test_support.h"
#include "fs/fat/fat_test_images.h"
#include "recovery/found_items.h"
#include "recovery/residual_search.h"
#include "support/recorders.h"

namespace delvora {
namespace {

class ExfatImageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir();
        s_skip = test::MakeExfatToolImage(s_dir->Path());
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_skip.empty()) GTEST_SKIP() << s_skip;
    }
    static std::string Image() { return s_dir->File("exfat.img"); }
    /// A sparse copy to damage, removed with the suite's folder.
    static std::string CopyImage(const std::string& name) {
        const std::string copy = s_dir->File(name);
        EXPECT_EQ(test::RunShell("cp --sparse=always '" + Image() + "' '" + copy + "'"), 0);
        return copy;
    }
    static std::string Icat(const std::string& image, uint64_t inode, const std::string& filter = "") {
        std::string out;
        test::RunShell("icat -f exfat '" + image + "' " + std::to_string(inode) + filter + " 2>/dev/null", &out);
        return out;
    }
    static std::string ReadAll(ExfatVolume& volume, FileItem* item) {
        std::string bytes(static_cast<size_t>(item->size), '\0');
        if (!volume.ReadItemRange(item, reinterpret_cast<uint8_t*>(bytes.data()), 0, static_cast<uint32_t>(item->size),
                                  nullptr))
            return "<read failed>";
        return bytes;
    }

    static test::TempDir* s_dir;
    static std::string s_skip;
    test::RecordingContext m_rec;
};

test::TempDir* ExfatImageTest::s_dir = nullptr;
std::string ExfatImageTest::s_skip;

/// fls's view without the volume's own entries (label, bitmap, up-case).
std::map<std::string, test::FlsItem> FlsFiles(const std::string& image) {
    auto items = test::FlsBody(image, "exfat");
    std::erase_if(items, [](const auto& entry) { return entry.first.find("(Volume Label Entry)") != std::string::npos; });
    return items;
}

TEST_F(ExfatImageTest, NamesSizesAndContentsMatchTheSleuthKit) {
    DELVORA_REQUIRE_TOOL("fls");
    auto loaded = test::LoadExfat(Image(), m_rec.context);
    ASSERT_TRUE(loaded.prepared);
    EXPECT_EQ(loaded.volume->Label(), "Delvora");
    auto ours = test::ItemsByPath(*loaded.volume->RootItem());
    const auto theirs = FlsFiles(Image());
    ASSERT_GT(theirs.size(), 25u);

    std::vector<std::string> ourPaths, theirPaths;
    for (const auto& [path, item] : ours) ourPaths.push_back(path + (item->IsDeleted() ? " (deleted)" : ""));
    for (const auto& [path, item] : theirs) theirPaths.push_back(path + (item.deleted ? " (deleted)" : ""));
    EXPECT_EQ(ourPaths, theirPaths);

    for (const auto& [path, fls] : theirs) {
        FileItem* item = ours[path];
        if (!item || fls.directory) continue;
        SCOPED_TRACE(path);
        EXPECT_EQ(item->size, fls.size);
        EXPECT_EQ(ReadAll(*loaded.volume, item), Icat(Image(), fls.inode));
    }
    EXPECT_TRUE(m_rec.notifier.Texts().empty());
}

TEST_F(ExfatImageTest, DeletedFilesReadBackWholeAndFragmentedFilesFollowTheirChain) {
    auto loaded = test::LoadExfat(Image(), m_rec.context);
    ASSERT_TRUE(loaded.prepared);
    auto items = test::ItemsByPath(*loaded.volume->RootItem());
    const std::pair<const char*, const char*> cases[] = {
        {"gone.txt", "gone.txt"},            // contiguous, NoFatChain
        {"gone-frag.bin", "gone-frag.bin"},  // its gap is still b3.bin's
        {"old/inner/a.txt", "a.txt"},        // inside a deleted folder
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path);
        FileItem* item = items[path];
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->IsDeleted());
        const auto bytes = test::ReadFileBytes(s_dir->File(std::string("expected/") + expected));
        EXPECT_EQ(ReadAll(*loaded.volume, item), std::string(bytes.begin(), bytes.end()));
        EXPECT_EQ(loaded.volume->CountOverwrittenClusters(item), 0u);
    }
    // The live fragmented file: two runs around a3.bin.
    ClusterRunList runs;
    ASSERT_TRUE(loaded.volume->GetItemRuns(items["frag.bin"], runs));
    EXPECT_EQ(runs.Size(), 2u);
    EXPECT_EQ(runs.TotalCount(), 7u);
    // A deleted file's cluster given to another file counts as overwritten.
    FileItem* gone = items["gone.txt"];
    FileItem* live = items["b3.bin"];
    const uint32_t first = gone->startCluster;
    gone->startCluster = live->startCluster;
    EXPECT_EQ(loaded.volume->CountOverwrittenClusters(gone), 2u);
    gone->startCluster = first;
}

TEST_F(ExfatImageTest, TimesAreTheDriversInUtc) {
    auto loaded = test::LoadExfat(Image(), m_rec.context);
    ASSERT_TRUE(loaded.prepared);
    auto items = test::ItemsByPath(*loaded.volume->RootItem());
    std::ifstream in(s_dir->File("times.txt"));
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        const std::string path = line.substr(0, tab);
        const int64_t seconds = std::stoll(line.substr(tab + 1));
        SCOPED_TRACE(path);
        ItemTimes times;
        ASSERT_NE(items[path], nullptr);
        ASSERT_TRUE(loaded.volume->GetItemTimes(items[path], times));
        // The driver reads whole seconds: the 10-ms part adds less than one.
        EXPECT_EQ(static_cast<int64_t>(times.modified / 10000000) - 11644473600, seconds);
        ++checked;
    }
    EXPECT_EQ(checked, 4);
}

TEST_F(ExfatImageTest, FileOverFourGibibytesKeepsItsSizeAndReadsZerosPastItsValidLength) {
    const std::string image = CopyImage("huge.img");
    uint64_t entry = 0, firstCluster = 0, heapByte = 0, bitmapByte = 0, clusterBytes = 0;
    {
        auto loaded = test::LoadExfat(image, m_rec.context);
        ASSERT_TRUE(loaded.prepared);
        FileItem* huge = test::ItemsByPath(*loaded.volume->RootItem())["huge.bin"];
        ASSERT_NE(huge, nullptr);
        entry = loaded.volume->EntryByte(huge);
        firstCluster = huge->startCluster;
        const ExfatGeometry& g = loaded.volume->Geometry();
        clusterBytes = g.clusterBytes;
        heapByte = g.ClusterSector(firstCluster) * g.bytesPerSector;
        bitmapByte = g.ClusterSector(loaded.volume->BitmapCluster()) * g.bytesPerSector;
    }
    // Grow the file in place: one run (NoFatChain), valid for its first
    // 4,096 bytes, its clusters marked in use.
    const uint64_t size = (uint64_t{1} << 32) + 12345;
    std::vector<uint8_t> set;
    {
        std::ifstream in(image, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(entry));
        set.resize(96);
        in.read(reinterpret_cast<char*>(set.data()), 96);
    }
    set[32 + 1] |= kExfatNoFatChain;
    for (int i = 0; i < 8; ++i) set[32 + 8 + i] = static_cast<uint8_t>(uint64_t{4096} >> (8 * i));
    for (int i = 0; i < 8; ++i) set[32 + 24 + i] = static_cast<uint8_t>(size >> (8 * i));
    const uint16_t sum = ExfatSetChecksum(set, 1 + set[1]);
    set[2] = static_cast<uint8_t>(sum);
    set[3] = static_cast<uint8_t>(sum >> 8);
    ASSERT_TRUE(test::PatchFile(image, entry, set));
    const uint64_t clusters = (size + clusterBytes - 1) / clusterBytes;
    const uint64_t firstBit = firstCluster - 2, lastBit = firstBit + clusters - 1;
    std::vector<uint8_t> ones((lastBit / 8) - (firstBit / 8) + 1, 0xFF);
    ASSERT_TRUE(test::PatchFile(image, bitmapByte + firstBit / 8, ones));

    auto loaded = test::LoadExfat(image, m_rec.context);
    ASSERT_TRUE(loaded.prepared);
    FileItem* huge = test::ItemsByPath(*loaded.volume->RootItem())["huge.bin"];
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(huge->size, size);
    uint64_t allocated = 0, valid = 0;
    ASSERT_TRUE(loaded.volume->GetItemSizes(huge, allocated, valid));
    EXPECT_EQ(allocated, clusters * clusterBytes);
    std::string head(4096, '\0'), tail(12345, 'x');
    ASSERT_TRUE(loaded.volume->ReadItemRange(huge, reinterpret_cast<uint8_t*>(head.data()), 0, 4096, nullptr));
    ASSERT_TRUE(loaded.volume->ReadItemRange(huge, reinterpret_cast<uint8_t*>(tail.data()), uint64_t{1} << 32, 12345,
                                             nullptr));
    EXPECT_EQ(tail, std::string(12345, '\0'));
    // Past the valid length the medium may hold anything: put bytes there.
    ASSERT_TRUE(test::PatchFile(image, heapByte + 4096, std::vector<uint8_t>(16, 0xAB)));
    std::string after(16, 'x');
    ASSERT_TRUE(loaded.volume->ReadItemRange(huge, reinterpret_cast<uint8_t*>(after.data()), 4096, 16, nullptr));
    EXPECT_EQ(after, std::string(16, '\0'));
    if (test::HaveTool("fls")) {
        const auto fls = FlsFiles(image);
        ASSERT_TRUE(fls.count("huge.bin"));
        EXPECT_EQ(fls.at("huge.bin").size, size);
        EXPECT_EQ(head, Icat(image, fls.at("huge.bin").inode, " | head -c 4096"));
    }
}

TEST_F(ExfatImageTest, DamagedMainBootRegionIsReadFromTheBackup) {
    const std::string image = CopyImage("boot.img");
    const auto sector = [&](uint64_t offset, std::vector<uint8_t> bytes) { ASSERT_TRUE(test::PatchFile(image, offset, bytes)); };
    struct Damage {
        const char* what;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    const Damage damages[] = {
        {"boot sector zeroed", 0, std::vector<uint8_t>(512, 0)},
        {"extended boot sector changed", 512 + 100, {0x5A}},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        ASSERT_EQ(test::RunShell("cp --sparse=always '" + Image() + "' '" + image + "'"), 0);
        sector(damage.offset, damage.bytes);
        test::RecordingContext rec;
        auto loaded = test::LoadExfat(image, rec.context);
        ASSERT_TRUE(loaded.prepared);
        EXPECT_TRUE(loaded.volume->UsedBackupBoot());
        EXPECT_TRUE(rec.log.Contains("已使用备份引导区"));
        auto items = test::ItemsByPath(*loaded.volume->RootItem());
        ASSERT_NE(items["docs/sub/deep/note.txt"], nullptr);
        EXPECT_EQ(items["docs/sub/deep/note.txt"]->size, 70000u);
    }
}

TEST_F(ExfatImageTest, ResidualSearchBringsBackAFolderWhoseEntryWasZeroed) {
    const std::string image = CopyImage("residual.img");
    uint64_t entry = 0;
    {
        auto loaded = test::LoadExfat(image, m_rec.context);
        ASSERT_TRUE(loaded.prepared);
        entry = loaded.volume->EntryByte(test::ItemsByPath(*loaded.volume->RootItem())["lost"]);
        ASSERT_NE(entry, 0u);
    }
    // "lost" takes a file entry, a stream entry and one name entry.
    ASSERT_TRUE(test::PatchFile(image, entry, std::vector<uint8_t>(3 * kExfatEntryBytes, 0)));
    auto loaded = test::LoadExfat(image, m_rec.context);
    ASSERT_TRUE(loaded.prepared);
    EXPECT_EQ(test::ItemsByPath(*loaded.volume->RootItem()).count("lost"), 0u);
    ASSERT_TRUE(RunResidualSearch(*loaded.volume));

    // One lost folder holds y.txt and kept, with kept's own folder nested
    // inside it by its first cluster.
    auto found = test::ItemsByPath(*loaded.volume->RecycleItem());
    std::string folder;
    for (const auto& [path, item] : found)
        if (path.size() > 6 && path.compare(path.size() - 6, 6, "/y.txt") == 0) folder = path.substr(0, path.size() - 6);
    ASSERT_FALSE(folder.empty());
    FileItem* y = found[folder + "/y.txt"];
    FileItem* x = found[folder + "/kept/x.txt"];
    ASSERT_NE(x, nullptr);
    const auto expect = [](const std::string& name, size_t length) {
        std::string out;
        for (int k = 0; out.size() < length; ++k) {
            char record[64];
            std::snprintf(record, sizeof(record), "%s:%08d|", name.c_str(), k);
            out += record;
        }
        out.resize(length);
        return out;
    };
    EXPECT_EQ(ReadAll(*loaded.volume, y), expect("y.txt", 700));
    EXPECT_EQ(ReadAll(*loaded.volume, x), expect("x.txt", 9000));
    EXPECT_EQ(test::ItemsByPath(*loaded.volume->RecycleItem()).count("kept"), 0u);

    // Split at a sector inside the lost folder's cluster, and just after it:
    // the parts find the same sets, the folder once.
    const test::FoundItems whole = test::Flatten(*loaded.volume->RecycleItem());
    ASSERT_EQ(whole.tops.size(), 1u);
    const ExfatGeometry& g = loaded.volume->Geometry();
    const uint64_t head = g.ClusterSector(*whole.tops.begin()) * (g.bytesPerSector / 512);
    for (const uint64_t cut : {head + 1, head + (uint64_t{g.clusterBytes} / 512)}) {
        SCOPED_TRACE(cut);
        std::multiset<std::string> items;
        std::multiset<uint32_t> tops;
        for (const ResidualPart part : {ResidualPart{0, cut}, ResidualPart{cut, UINT64_MAX}}) {
            ASSERT_TRUE(RunResidualSearch(*loaded.volume, part));
            const test::FoundItems found = test::Flatten(*loaded.volume->RecycleItem());
            items.insert(found.items.begin(), found.items.end());
            tops.insert(found.tops.begin(), found.tops.end());
        }
        EXPECT_EQ(items, whole.items);
        EXPECT_EQ(tops.count(*whole.tops.begin()), 1u);
    }
}

TEST_F(ExfatImageTest, VirtualVolumeLoadsFromTypedValuesWhenBothBootRegionsAreGone) {
    const std::string image = CopyImage("virtual.img");
    std::vector<uint8_t> head(kPreReadBytes);
    {
        std::ifstream in(image, std::ios::binary);
        in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    }
    VolumeParamBlocks blocks;
    FillParamBlocks(head, blocks);
    std::vector<std::string> values;
    for (const ParamRow& row : ParamRows(VirtualType::Exfat, blocks)) values.push_back(row.value);
    ASSERT_EQ(ReadBackRows(VirtualType::Exfat, values, blocks), "");
    ASSERT_TRUE(test::PatchFile(image, 0, std::vector<uint8_t>(24 * 512, 0)));

    const auto without = test::LoadExfat(image, m_rec.context);
    EXPECT_FALSE(without.prepared);
    test::LoadedExfat loaded;
    loaded.source = std::make_unique<DataSource>(m_rec.context);
    loaded.source->SetKind(SourceKind::Device);
    loaded.source->SetPath(image);
    ASSERT_TRUE(loaded.source->Open());
    loaded.source->SetNtfs_BPB(blocks.ntfs);
    loaded.volume = std::make_unique<ExfatVolume>();
    loaded.volume->SetDataSource(loaded.source.get());
    loaded.volume->SetContext(m_rec.context);
    ASSERT_TRUE(loaded.volume->Prepare());
    loaded.volume->LoadTree();
    auto items = test::ItemsByPath(*loaded.volume->RootItem());
    ASSERT_NE(items["lost/kept/x.txt"], nullptr);
    EXPECT_EQ(items["lost/kept/x.txt"]->size, 9000u);
    // A value outside the format is refused with the row's message.
    values[0] = "13";
    EXPECT_EQ(ReadBackRows(VirtualType::Exfat, values, blocks), "每扇区字节数位移错!");
}

}  // namespace
}  // namespace delvora
